#include "host/qt/qt_control_factory.h"

#include "host/qt/control_widgets.h"

namespace nv407::host {

QtControlFactory::QtControlFactory(Database& database, Dialogs& dialogs)
    : database_(database), dialogs_(dialogs), headless_(database, dialogs) {}

QtControlFactory::~QtControlFactory() {
  for (auto& [form, canvas] : canvases_)
    if (canvas && canvas->parent() == nullptr) delete canvas;
}

ScreenCanvas& QtControlFactory::Canvas(const Form& form) {
  QPointer<ScreenCanvas>& canvas = canvases_[&form];
  if (!canvas) canvas = new ScreenCanvas(form, headless_.Focus(form), dialogs_, database_);
  return *canvas;
}

template <typename Headless, typename View, typename Interface>
std::unique_ptr<Interface> QtControlFactory::Make(std::unique_ptr<Interface> control,
                                                  const Form& owner) {
  auto& headless = static_cast<Headless&>(*control);
  ScreenCanvas& canvas = Canvas(owner);
  if constexpr (std::is_base_of_v<QWidget, View>) {
    canvas.Add(*new View(headless, canvas));  // a child of the canvas
  } else {
    canvas.Add(std::make_unique<View>(headless, canvas));
  }
  return control;
}

std::unique_ptr<TextBox> QtControlFactory::CreateTextBox(const ControlLayout& layout, Form& owner) {
  return Make<HeadlessTextBox, QtTextBox>(headless_.CreateTextBox(layout, owner), owner);
}

std::unique_ptr<DateField> QtControlFactory::CreateDateField(const ControlLayout& layout,
                                                             Form& owner) {
  return Make<HeadlessDateField, QtDateField>(headless_.CreateDateField(layout, owner), owner);
}

std::unique_ptr<ComboBox> QtControlFactory::CreateComboBox(const ControlLayout& layout,
                                                           Form& owner) {
  return Make<HeadlessComboBox, QtComboBox>(headless_.CreateComboBox(layout, owner), owner);
}

std::unique_ptr<FlatButton> QtControlFactory::CreateFlatButton(const ControlLayout& layout,
                                                               Form& owner) {
  return Make<HeadlessFlatButton, QtFlatButton>(headless_.CreateFlatButton(layout, owner), owner);
}

std::unique_ptr<Label> QtControlFactory::CreateLabel(const ControlLayout& layout, Form& owner) {
  return Make<HeadlessLabel, QtLabel>(headless_.CreateLabel(layout, owner), owner);
}

std::unique_ptr<Toolbar> QtControlFactory::CreateToolbar(const ControlLayout& layout, Form& owner) {
  return Make<HeadlessToolbar, QtToolbar>(headless_.CreateToolbar(layout, owner), owner);
}

std::unique_ptr<ListView> QtControlFactory::CreateListView(const ControlLayout& layout,
                                                           Form& owner) {
  return Make<HeadlessListView, QtListView>(headless_.CreateListView(layout, owner), owner);
}

std::unique_ptr<ColorScheme> QtControlFactory::CreateColorScheme(const ControlLayout& layout,
                                                                 Form& owner) {
  return Make<HeadlessColorScheme, QtColorScheme>(headless_.CreateColorScheme(layout, owner),
                                                  owner);
}

}  // namespace nv407::host
