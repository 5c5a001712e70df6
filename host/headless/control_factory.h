#pragma once

#include <map>
#include <memory>

#include "component/controls.h"
#include "host/db/database.h"
#include "host/headless/controls.h"
#include "host/services/dialogs.h"

namespace nv407::host {

// The headless control set: every control keeps its state in memory and takes what a
// user does through its User* members. Key fields look up through the host's side of
// the database; an error leaving a handler that a user action started is shown through
// the dialogs.
class HeadlessControlFactory final : public ControlFactory {
 public:
  HeadlessControlFactory(Database& database, Dialogs& dialogs)
      : database_(database), dialogs_(dialogs) {}

  std::unique_ptr<TextBox> CreateTextBox(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<DateField> CreateDateField(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<ComboBox> CreateComboBox(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<FlatButton> CreateFlatButton(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<Label> CreateLabel(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<Toolbar> CreateToolbar(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<ListView> CreateListView(const ControlLayout& layout, Form& owner) override;
  std::unique_ptr<ColorScheme> CreateColorScheme(const ControlLayout& layout, Form& owner) override;

  // The focus of a form whose controls this factory made (made on first use).
  FocusTracker& Focus(const Form& form) const { return Context(form).focus; }
  // What the controls of one form share; made with its first control.
  FormContext& Context(const Form& form) const;
  // Drops what the controls of a form now destroyed shared.
  void Forget(const Form* form) { forms_.erase(form); }

 private:
  Database& database_;
  Dialogs& dialogs_;
  mutable std::map<const Form*, std::unique_ptr<FormContext>> forms_;  // made on first use
};

}  // namespace nv407::host
