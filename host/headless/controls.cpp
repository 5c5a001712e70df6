#include "host/headless/controls.h"

#include "component/error.h"
#include "host/headless/error_presentation.h"

namespace nv407::host {
namespace {

// A value as the combo compares it; nothing for Empty and Null, which choose no item.
std::optional<std::string> ComparableText(const Variant& value) {
  if (value.IsEmpty() || value.IsNull()) return std::nullopt;
  return value.ToText();
}

}  // namespace

bool TakesDataEntry(const ControlLayout& layout) {
  return layout.tag == "1" && layout.kind != ControlKind::kListView;
}

bool ActsOnLiveRecord(const ControlLayout& layout) {
  return layout.name == "cmdInicializa";
}

bool FormContext::IsRecordKeyField(const Control& control) const {
  return !record_table.empty() && control.Kind() == ControlKind::kTextBox &&
         control.Layout().Setting("idconsulta") == record_table;
}

void FormContext::SetLiveRecordShown(bool shown) {
  if (live_record_shown == shown) return;
  live_record_shown = shown;
  for (const GatedControl& entry : live_record_controls) {
    if (!shown) focus.ControlDisabled(*entry.control);
    entry.user->Notify();
  }
}

void FormContext::SetDataEntryOpen(bool open) {
  if (data_entry_open == open) return;
  data_entry_open = open;
  data_entered = false;
  for (const GatedControl& entry : data_entry_controls) {
    if (!open) focus.ControlDisabled(*entry.control);
    entry.user->Notify();
  }
}

std::string_view ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kTextBox:
      return "text box";
    case ControlKind::kDateField:
      return "date field";
    case ControlKind::kComboBox:
      return "combo box";
    case ControlKind::kFlatButton:
      return "button";
    case ControlKind::kLabel:
      return "label";
    case ControlKind::kToolbar:
      return "toolbar";
    case ControlKind::kListView:
      return "list view";
    case ControlKind::kColorScheme:
      return "colour scheme";
  }
  return "control";
}

template <typename Interface>
void HeadlessControl<Interface>::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (!Enabled()) context_.focus.ControlDisabled(*this);
  Notify();
}

template <typename Interface>
HeadlessControl<Interface>::~HeadlessControl() {
  auto mine = [this](const FormContext::GatedControl& entry) { return entry.user == this; };
  std::erase_if(context_.data_entry_controls, mine);
  std::erase_if(context_.live_record_controls, mine);
}

template <typename Interface>
void HeadlessControl<Interface>::RequireEnabled() const {
  if (!Enabled()) throw Error(this->Name() + " is disabled");
}

template <typename Interface>
bool HeadlessControl<Interface>::RunEvents(const std::function<void()>& events) {
  return RunPresentingErrors(context_.dialogs, context_.form.WindowHandle(), events);
}

template class HeadlessControl<TextBox>;
template class HeadlessControl<DateField>;
template class HeadlessControl<ComboBox>;
template class HeadlessControl<FlatButton>;
template class HeadlessControl<Label>;
template class HeadlessControl<ColorScheme>;
template class HeadlessControl<ListView>;
template class HeadlessControl<Toolbar>;

void HeadlessDateField::SetValue(const Variant& value) {
  const bool clears = value.IsEmpty() || value.IsNull() || value == Variant(std::string());
  value_ = clears ? Variant() : Variant(value.ToDate());
  Notify();
}

void HeadlessDateField::UserPick(const Date& date) {
  RequireEnabled();
  TakeFocus();
  // The day already shown, picked again, changes nothing, as in a calendar: the field keeps
  // its time of day (the server's, when the screen put it there).
  if (!value_.IsEmpty() && value_.ToDate().DateOnly() == date.DateOnly()) return;
  Context().NoteDataEntered();
  value_ = date;
  Notify();
}

void HeadlessComboBox::Clear() {
  items_.clear();
  selected_.reset();
  Notify();
}

void HeadlessComboBox::AddItem(const std::string& text, const Variant& value) {
  items_.emplace_back(text, value);
  Notify();
}

std::string HeadlessComboBox::Text() const {
  return selected_ ? items_[*selected_].first : std::string();
}

Variant HeadlessComboBox::SelectedValue() const {
  return selected_ ? items_[*selected_].second : Variant();
}

void HeadlessComboBox::SetSelectedValue(const Variant& value) {
  const std::optional<std::string> wanted = ComparableText(value);
  selected_.reset();
  for (int i = 0; wanted && i < ItemCount(); ++i) {
    if (ComparableText(items_[i].second) == wanted) {
      selected_ = i;
      break;
    }
  }
  Notify();
}

std::string HeadlessComboBox::ItemText(int index) const {
  if (index < 0 || index >= ItemCount()) throw Error("Invalid property value");
  return items_[index].first;
}

void HeadlessComboBox::UserChoose(const std::string& text) {
  RequireEnabled();
  for (int i = 0; i < ItemCount(); ++i) {
    if (items_[i].first == text) {
      TakeFocus();
      if (selected_ != i) Context().NoteDataEntered();
      selected_ = i;
      Notify();
      return;
    }
  }
  throw Error(Name() + " has no item \"" + text + "\"");
}

void HeadlessFlatButton::UserClick() {
  RequireEnabled();
  TakeFocus();
  Context().NoteDataEntered();  // what the button opens may change the capture
  RunEvents([this] { RaiseClick(); });
}

void HeadlessColorScheme::Apply() {
  ++apply_count_;
  Notify();
}

HeadlessListView::HeadlessListView(const ControlLayout& layout, FormContext& context)
    : HeadlessControl(layout, context) {
  items_.OnChange([this] { Notify(); });
}

void HeadlessListView::FitColumns() {
  ++fit_count_;
  Notify();
}

}  // namespace nv407::host
