#include "host/qt/screen_canvas.h"

#include <QApplication>
#include <QMetaObject>
#include <algorithm>

#include "host/headless/error_presentation.h"
#include "host/headless/field_labels.h"
#include "host/headless/headless_host.h"
#include "host/qt/control_widgets.h"
#include "host/qt/label_keys.h"
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
  design_ = QSize(ToPixels(width_twips), ToPixels(height_twips));
  setMinimumSize(design_);
  resize(design_);
  background_ = background;
  SetTabOrder();
  LinkLabels();
  ApplyScheme(scheme_);
}

void ScreenCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceWidgets();
}

void ScreenCanvas::PlaceWidgets() {
  const int left = std::max(0, (width() - design_.width()) / 2);
  for (ControlView* view : views_) {
    QWidget* widget = view->widget();
    if (widget == nullptr) continue;
    QRect place = ToPixels(view->control().Layout().position);
    if (place.left() == 0 && place.width() == design_.width())
      place.setWidth(width());
    else
      place.translate(left, 0);
    widget->setGeometry(place);
  }
}

// Each input field's label takes it to the field with Alt and a letter of its own.
void ScreenCanvas::LinkLabels() {
  QString taken;
  const std::vector<const ControlLayout*> rows = LayoutRows(form_);
  std::vector<std::pair<QtLabel*, QWidget*>> links;
  std::vector<QString> captions;
  for (ControlView* view : views_) {
    if (auto* toolbar = dynamic_cast<QtToolbar*>(view)) taken += toolbar->Keys();
    const ControlLayout& layout = view->control().Layout();
    const ControlKind kind = layout.kind;
    const bool field = kind == ControlKind::kTextBox || kind == ControlKind::kDateField ||
                       kind == ControlKind::kComboBox;
    // A field that starts off outside the data-entry group never takes input.
    const bool takes_input = layout.enabled || layout.tag == "1";
    if (!field || !layout.tab_stop || layout.Flag("locked") || !takes_input) continue;
    const ControlLayout* row = LabelRowOf(rows, layout);
    if (row == nullptr) continue;
    auto* label = dynamic_cast<QtLabel*>(ViewOf(form_.FindControl(row->name, row->index)));
    if (label == nullptr) continue;
    links.emplace_back(label, view->widget());
    captions.push_back(ToQString(label->Caption()));
  }
  const std::vector<QChar> keys = ChooseLabelKeys(captions, taken);
  for (std::size_t i = 0; i < links.size(); ++i) links[i].first->Link(*links[i].second, keys[i]);
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

ControlView* ScreenCanvas::ViewOfWidget(const QWidget* widget) const {
  for (ControlView* view : views_)
    if (widget != nullptr && view->widget() == widget) return view;
  return nullptr;
}

bool ScreenCanvas::RevertFocusedEdit() {
  ControlView* view = ViewOfWidget(QApplication::focusWidget());
  if (view == nullptr || !view->HasPendingEdit()) return false;
  view->RevertEdit();
  return true;
}

void ScreenCanvas::RevertPendingEdits() {
  for (ControlView* view : views_)
    if (view->HasPendingEdit()) view->RevertEdit();
}

void ScreenCanvas::ShowStatus(const std::string& text) {
  emit StatusChanged(ToQString(text));
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

bool ScreenCanvas::HasPendingEdits() const {
  return std::any_of(views_.begin(), views_.end(),
                     [](const ControlView* view) { return view->HasPendingEdit(); });
}

bool ScreenCanvas::CommitPendingEdits() {
  return HandOverEdits(false);
}

bool ScreenCanvas::CommitPendingEditsOnShownRecord() {
  return HandOverEdits(true);
}

bool ScreenCanvas::HandOverEdits(bool keep_record) {
  const HeadlessToolbar* toolbar = keep_record ? FindToolbar(form_) : nullptr;
  auto shown = [toolbar] { return toolbar ? toolbar->ShownRecordKey() : std::nullopt; };
  for (ControlView* view : views_) {
    if (!view->HasPendingEdit()) continue;
    const std::optional<std::string> before = shown();
    if (!Run([view] { view->CommitEdit(); })) return false;
    if (shown() == before) continue;
    if (CanTakeFocus(view->control()) && !view->control().Layout().Flag("locked"))
      view->control().SetFocus();
    return false;
  }
  return true;
}

void ScreenCanvas::CommitLater(ControlView& from) {
  QPointer<QWidget> source = from.widget();
  QPointer<QWidget> target = QApplication::focusWidget();
  QMetaObject::invokeMethod(
      this,
      [this, source, target] {
        ControlView* view = ViewOfWidget(source);
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
