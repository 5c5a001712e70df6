#pragma once

#include <QPointer>
#include <map>
#include <memory>

#include "component/controls.h"
#include "host/db/database.h"
#include "host/headless/control_factory.h"
#include "host/qt/screen_canvas.h"
#include "host/services/dialogs.h"

namespace nv407::host {

// The desktop control set. Each control is a headless control (which keeps the state
// and the rules, and is what the screen talks to) with a widget on the form's canvas
// that shows it and hands it the user's input.
class QtControlFactory final : public ControlFactory {
 public:
  QtControlFactory(Database& database, Dialogs& dialogs);
  ~QtControlFactory() override;

  std::unique_ptr<TextBox> CreateTextBox(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<DateField> CreateDateField(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<ComboBox> CreateComboBox(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<FlatButton> CreateFlatButton(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<Label> CreateLabel(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<Toolbar> CreateToolbar(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<ListView> CreateListView(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<ColorScheme> CreateColorScheme(const ControlLayout& layout, Form& owner) override;

  // The surface of a form whose controls this factory made (made with its first control).
  // It has no parent until a window takes it; until then the factory owns it.
  ScreenCanvas& Canvas(const Form& form);
  FocusTracker& Focus(const Form& form) const { return headless_.Focus(form); }

 private:
  template <typename Headless, typename View, typename Interface>
  std::unique_ptr<Interface> Make(std::unique_ptr<Interface> control, const Form& owner);

  Database& database_;
  Dialogs& dialogs_;
  HeadlessControlFactory headless_;
  std::map<const Form*, QPointer<ScreenCanvas>> canvases_;
};

}  // namespace nv407::host
