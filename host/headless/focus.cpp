#include "host/headless/focus.h"

#include <algorithm>

#include "component/error.h"
#include "host/headless/controls.h"

namespace nv407::host {

bool CanTakeFocus(const Control& control) {
  const ControlKind kind = control.Kind();
  return kind != ControlKind::kLabel && kind != ControlKind::kColorScheme && control.Enabled() &&
         control.Layout().visible;
}

std::string FocusTracker::FocusedName() const {
  return focused_ == nullptr ? std::string() : focused_->Name();
}

void FocusTracker::Focus(Control& control) {
  if (!CanTakeFocus(control)) throw Error("Invalid procedure call");
  Set(&control);
}

const std::vector<Control*>& FocusTracker::Stops() const {
  // Which controls have a tab stop, and their order, is the layout's: found once.
  if (stops_.empty()) {
    for (Control* control : form_.Controls()) {
      const ControlLayout& layout = control->Layout();
      if (layout.tab_stop && layout.tab_index >= 0 && !layout.Flag("locked"))
        stops_.push_back(control);
    }
    std::stable_sort(stops_.begin(), stops_.end(), [](const Control* a, const Control* b) {
      return a->Layout().tab_index < b->Layout().tab_index;
    });
  }
  return stops_;
}

std::vector<Control*> FocusTracker::TabOrder() const {
  std::vector<Control*> order;
  for (Control* control : Stops())
    if (CanTakeFocus(*control)) order.push_back(control);
  return order;
}

void FocusTracker::Tab() {
  if (auto* user_control = dynamic_cast<UserControl*>(focused_)) {
    Control* left = focused_;
    user_control->UserLeave();
    // A handler that moved the focus has decided where it goes.
    if (focused_ != left) return;
  }
  MoveToNext();
}

// The next control in the tab order that can take the focus, round to the first; runs after
// every key field, so without building the order, and from where the focus is.
void FocusTracker::MoveToNext() {
  const std::vector<Control*>& stops = Stops();
  auto next = stops.begin();
  if (focused_ != nullptr) {
    next = std::upper_bound(
        stops.begin(), stops.end(), focused_->Layout().tab_index,
        [](int tab_index, const Control* stop) { return tab_index < stop->Layout().tab_index; });
  }
  const auto can_take_focus = [](const Control* stop) { return CanTakeFocus(*stop); };
  auto found = std::find_if(next, stops.end(), can_take_focus);
  if (found == stops.end()) {
    found = std::find_if(stops.begin(), next, can_take_focus);  // round to the first
    if (found == next) return Set(nullptr);
  }
  Set(*found);
}

void FocusTracker::ControlDisabled(const Control& control) {
  if (focused_ == &control) MoveToNext();
}

void FocusTracker::Set(Control* control) {
  if (focused_ == control) return;
  focused_ = control;
  for (const auto& observer : observers_) observer();
}

}  // namespace nv407::host
