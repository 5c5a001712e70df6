#include "host/qt/screen_canvas.h"

#include <QApplication>
#include <QMetaObject>
#include <algorithm>

#include "host/headless/error_presentation.h"
#include "host/qt/look.h"

namespace nv407::host {

bool EnterMovesOn(const ControlLayout& layout, const std::string& text, bool refused_key) {
  if (!layout.Flag("tabonenter")) return false;
  if (text.empty() && !layout.Flag("tabonentervacio")) return false;
  return !(refused_key && layout.Flag("tabonentercancel"));
}

ScreenCanvas::ScreenCanvas(const Form& form, FocusTracker& focus, Dialogs& dialogs,
                           Database& database)
    : form_(form), focus_(focus), dialogs_(dialogs), database_(database) {
  setObjectName("frmNV407");
  setAutoFillBackground(true);
  QPointer<ScreenCanvas> self(this);
  focus_.Observe([self] {
    if (self) self->FollowFocus();
  });
}

void ScreenCanvas::Add(ControlView& view) {
  views_.push_back(&view);
  by_control_[&view.control()] = &view;
  if (QWidget* widget = view.widget()) {
    const ControlLayout& layout = view.control().Layout();
    widget->setObjectName(ToQString(
        layout.index >= 0 ? layout.name + "(" + std::to_string(layout.index) + ")" : layout.name));
    widget->setGeometry(ToPixels(layout.position));
    widget->setVisible(layout.visible);
  }
  view.Sync();
}

void ScreenCanvas::Add(std::unique_ptr<ControlView> view) {
  Add(*view);
  owned_.push_back(std::move(view));
}

void ScreenCanvas::FinishLayout(int width_twips, int height_twips, const Colour& background) {
  setFixedSize(ToPixels(width_twips), ToPixels(height_twips));
  background_ = background;
  SetTabOrder();
  ApplyScheme(scheme_);
}

void ScreenCanvas::ApplyScheme(const ControlLayout& scheme) {
  scheme_ = scheme;
  if (!scheme_.look.back) scheme_.look.back = background_;
  if (scheme_.look.back) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(*scheme_.look.back, colours));
    setPalette(colours);
  }
  for (ControlView* view : views_) view->ApplyLook(scheme_);
}

ControlView* ScreenCanvas::ViewOf(const Control* control) const {
  auto it = by_control_.find(control);
  return it == by_control_.end() ? nullptr : it->second;
}

QWidget* ScreenCanvas::WidgetOf(std::string_view name, int index) const {
  for (ControlView* view : views_) {
    const ControlLayout& layout = view->control().Layout();
    if (layout.name == name && layout.index == index) return view->widget();
  }
  return nullptr;
}

bool ScreenCanvas::Run(const std::function<void()>& action) {
  return RunPresentingErrors(dialogs_, form_.WindowHandle(), action);
}

void ScreenCanvas::Advance(ControlView& from) {
  Run([&] {
    if (focus_.Focused() != &from.control()) from.control().SetFocus();
    // A changed field moves on by itself once it accepted its text; an unchanged one is
    // left as the Tab key leaves it.
    if (from.HasPendingEdit())
      from.CommitEdit();
    else
      focus_.Tab();
  });
}

bool ScreenCanvas::KeyboardMove(ControlView& from, bool next) {
  if (!CanTakeFocus(from.control())) return false;
  next ? Advance(from) : Retreat(from);
  return true;
}

void ScreenCanvas::Retreat(ControlView& from) {
  Run([&] {
    Control& left = from.control();
    if (focus_.Focused() != &left) left.SetFocus();
    if (from.HasPendingEdit()) from.CommitEdit();
    if (from.HoldsRefusedKey() && focus_.Focused() == &left) return;
    const std::vector<Control*> order = focus_.TabOrder();
    if (order.empty()) return;
    auto before = std::find_if(order.rbegin(), order.rend(), [&](const Control* control) {
      return control->Layout().tab_index < left.Layout().tab_index;
    });
    (before == order.rend() ? order.back() : *before)->SetFocus();
  });
}

void ScreenCanvas::EnterPressed(ControlView& from, const std::string& text) {
  if (EnterMovesOn(from.control().Layout(), text,
                   from.HoldsRefusedKey() && !from.HasPendingEdit())) {
    Advance(from);
    return;
  }
  // Enter still confirms what was typed, and the focus stays in the field.
  if (!from.HasPendingEdit()) return;
  Run([&] {
    from.CommitEdit();
    if (CanTakeFocus(from.control()) && !from.control().Layout().Flag("locked"))
      from.control().SetFocus();
  });
}

void ScreenCanvas::CommitPendingEdits() {
  for (ControlView* view : views_)
    if (view->HasPendingEdit()) Run([view] { view->CommitEdit(); });
}

void ScreenCanvas::CommitLater(ControlView& from) {
  QPointer<QWidget> source = from.widget();
  QPointer<QWidget> target = QApplication::focusWidget();
  QMetaObject::invokeMethod(
      this,
      [this, source, target] {
        ControlView* view = nullptr;
        for (ControlView* candidate : views_)
          if (source && candidate->widget() == source) view = candidate;
        if (view == nullptr || !view->HasPendingEdit()) return;
        Run([&] {
          view->CommitEdit();
          if (view->HoldsRefusedKey()) return;  // the field keeps the focus to be corrected
          for (ControlView* clicked : views_) {
            if (target && clicked->widget() == target && CanTakeFocus(clicked->control()))
              clicked->control().SetFocus();
          }
        });
      },
      Qt::QueuedConnection);
}

void ScreenCanvas::WidgetFocused(ControlView& view) {
  if (focus_.Focused() == &view.control() || !CanTakeFocus(view.control())) return;
  Run([&] { view.control().SetFocus(); });
}

bool ScreenCanvas::focusNextPrevChild(bool next) {
  // Tab from a widget that is not a control's (none today) starts at the first stop.
  if (ControlView* view = ViewOf(focus_.Focused())) return KeyboardMove(*view, next);
  return QWidget::focusNextPrevChild(next);
}

void ScreenCanvas::FollowFocus() {
  ControlView* view = ViewOf(focus_.Focused());
  if (view == nullptr || view->widget() == nullptr) return;
  QWidget* widget = view->widget();
  if (!widget->hasFocus()) widget->setFocus(Qt::TabFocusReason);
}

void ScreenCanvas::SetTabOrder() {
  std::vector<ControlView*> stops;
  for (ControlView* view : views_) {
    const ControlLayout& layout = view->control().Layout();
    QWidget* widget = view->widget();
    if (widget == nullptr) continue;
    if (layout.tab_stop && layout.tab_index >= 0 && !layout.Flag("locked")) {
      widget->setFocusPolicy(Qt::StrongFocus);
      stops.push_back(view);
    } else if (widget->focusPolicy() != Qt::NoFocus) {
      widget->setFocusPolicy(Qt::ClickFocus);
    }
  }
  std::stable_sort(stops.begin(), stops.end(), [](ControlView* a, ControlView* b) {
    return a->control().Layout().tab_index < b->control().Layout().tab_index;
  });
  for (std::size_t i = 1; i < stops.size(); ++i)
    QWidget::setTabOrder(stops[i - 1]->widget(), stops[i]->widget());
}

}  // namespace nv407::host
