#include "support/test_form.h"

namespace nv407::testing {

TestForm::TestForm(ControlFactory& factory, const std::vector<ControlLayout>& rows) {
  for (const ControlLayout& row : rows) {
    switch (row.kind) {
      case ControlKind::kTextBox:
        controls_.push_back(factory.CreateTextBox(row, *this));
        break;
      case ControlKind::kDateField:
        controls_.push_back(factory.CreateDateField(row, *this));
        break;
      case ControlKind::kComboBox:
        controls_.push_back(factory.CreateComboBox(row, *this));
        break;
      case ControlKind::kFlatButton:
        controls_.push_back(factory.CreateFlatButton(row, *this));
        break;
      case ControlKind::kLabel:
        controls_.push_back(factory.CreateLabel(row, *this));
        break;
      case ControlKind::kToolbar:
        controls_.push_back(factory.CreateToolbar(row, *this));
        break;
      case ControlKind::kListView:
        controls_.push_back(factory.CreateListView(row, *this));
        break;
      case ControlKind::kColorScheme:
        controls_.push_back(factory.CreateColorScheme(row, *this));
        break;
    }
  }
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
