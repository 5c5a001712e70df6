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

std::vector<Control*> FocusTracker::TabOrder() const {
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
  std::vector<Control*> order;
  order.reserve(stops_.size());
  for (Control* control : stops_)
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

void FocusTracker::MoveToNext() {
  const std::vector<Control*> order = TabOrder();
  if (order.empty()) return Set(nullptr);
  if (focused_ == nullptr) return Set(order.front());
  const int from = focused_->Layout().tab_index;
  auto next = std::find_if(order.begin(), order.end(), [&](const Control* control) {
    return control->Layout().tab_index > from;
  });
  Set(next == order.end() ? order.front() : *next);
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
