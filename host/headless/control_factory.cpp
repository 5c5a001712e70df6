#include "host/headless/control_factory.h"

namespace nv407::host {

FormContext& HeadlessControlFactory::Context(const Form& form) const {
  std::unique_ptr<FormContext>& context = forms_[&form];
  if (!context) context = std::make_unique<FormContext>(form, database_, dialogs_);
  return *context;
}

std::unique_ptr<TextBox> HeadlessControlFactory::CreateTextBox(const ControlLayout& layout,
                                                               Form& owner) {
  return std::make_unique<HeadlessTextBox>(layout, Context(owner));
}

std::unique_ptr<DateField> HeadlessControlFactory::CreateDateField(const ControlLayout& layout,
                                                                   Form& owner) {
  return std::make_unique<HeadlessDateField>(layout, Context(owner));
}

std::unique_ptr<ComboBox> HeadlessControlFactory::CreateComboBox(const ControlLayout& layout,
                                                                 Form& owner) {
  return std::make_unique<HeadlessComboBox>(layout, Context(owner));
}

std::unique_ptr<FlatButton> HeadlessControlFactory::CreateFlatButton(const ControlLayout& layout,
                                                                     Form& owner) {
  return std::make_unique<HeadlessFlatButton>(layout, Context(owner));
}

std::unique_ptr<Label> HeadlessControlFactory::CreateLabel(const ControlLayout& layout,
                                                           Form& owner) {
  return std::make_unique<HeadlessLabel>(layout, Context(owner));
}

std::unique_ptr<Toolbar> HeadlessControlFactory::CreateToolbar(const ControlLayout& layout,
                                                               Form& owner) {
  return std::make_unique<HeadlessToolbar>(layout, Context(owner));
}

std::unique_ptr<ListView> HeadlessControlFactory::CreateListView(const ControlLayout& layout,
                                                                 Form& owner) {
  return std::make_unique<HeadlessListView>(layout, Context(owner));
}

std::unique_ptr<ColorScheme> HeadlessControlFactory::CreateColorScheme(const ControlLayout& layout,
                                                                       Form& owner) {
  return std::make_unique<HeadlessColorScheme>(layout, Context(owner));
}

}  // namespace nv407::host
