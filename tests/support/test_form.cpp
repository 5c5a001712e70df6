#include "support/test_form.h"

namespace nv407::testing {

namespace {

std::unique_ptr<Control> Create(ControlFactory& factory, const ControlLayout& row, Form& form) {
  switch (row.kind) {
    case ControlKind::kTextBox:
      return factory.CreateTextBox(row, form);
    case ControlKind::kDateField:
      return factory.CreateDateField(row, form);
    case ControlKind::kComboBox:
      return factory.CreateComboBox(row, form);
    case ControlKind::kFlatButton:
      return factory.CreateFlatButton(row, form);
    case ControlKind::kLabel:
      return factory.CreateLabel(row, form);
    case ControlKind::kToolbar:
      return factory.CreateToolbar(row, form);
    case ControlKind::kListView:
      return factory.CreateListView(row, form);
    case ControlKind::kColorScheme:
      return factory.CreateColorScheme(row, form);
  }
  return nullptr;
}

}  // namespace

TestForm::TestForm(ControlFactory& factory, const std::vector<ControlLayout>& rows) {
  for (const ControlLayout& row : rows) controls_.push_back(Create(factory, row, *this));
}

std::vector<Control*> TestForm::Controls() const {
  std::vector<Control*> controls;
  for (const auto& control : controls_) controls.push_back(control.get());
  return controls;
}

Control* TestForm::FindControl(std::string_view name, int index) const {
  for (const auto& control : controls_)
    if (control->Name() == name && control->Layout().index == index) return control.get();
  return nullptr;
}

ControlLayout Row(ControlKind kind, std::string name, int tab_index,
                  std::vector<std::pair<std::string, std::string>> settings, bool enabled) {
  ControlLayout row;
  row.kind = kind;
  row.name = std::move(name);
  row.tab_index = tab_index;
  row.tab_stop = tab_index >= 0;
  row.enabled = enabled;
  for (auto& [key, value] : settings) row.settings[key] = std::move(value);
  return row;
}

}  // namespace nv407::testing
