#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/control_layout.h"
#include "component/form.h"
#include "host/db/database.h"
#include "host/headless/focus.h"
#include "host/services/dialogs.h"

namespace nv407::host {

class ScreenCanvas;

// The widget of one control. It shows the state of its headless control and hands it
// what the user does; the rules stay with the headless control.
class ControlView {
 public:
  virtual ~ControlView() = default;
  virtual Control& control() const = 0;
  virtual QWidget* widget() = 0;
  // Shows the control's current state.
  virtual void Sync() = 0;
  // The look of the layout row, with the screen's colour scheme where the row sets nothing.
  virtual void ApplyLook(const ControlLayout& scheme) = 0;
  // Text that the user typed and the control has not been given yet.
  virtual bool HasPendingEdit() const { return false; }
  // Hands the pending text over as the user leaving the field would.
  virtual void CommitEdit() {}
  // A key field holding a value that its look-up refused.
  virtual bool HoldsRefusedKey() const { return false; }
  // Takes back the pending text (Esc), showing the control's own again.
  virtual void RevertEdit() {}
};

// The surface of one screen: the widgets at their layout positions, the keyboard's moves
// between them (which the headless focus decides), and the boundary where errors leaving
// a user action are shown instead of escaping.
class ScreenCanvas final : public QWidget {
  Q_OBJECT

 public:
  ScreenCanvas(const Form& form, FocusTracker& focus, Dialogs& dialogs, Database& database);

  void Add(ControlView& view);
  // A control without a widget of its own (the colour scheme), kept with the surface.
  void Add(std::unique_ptr<ControlView> view);
  // After the last control: sizes the surface, sets the tab order, the labels' Alt keys
  // and the looks. The surface is at least the design's size; a larger one keeps the form
  // centred, and a control as wide as the design (the toolbar) spans it.
  void FinishLayout(int width_twips, int height_twips, const Colour& background);
  QSize sizeHint() const override { return design_; }
  // The screen's colour scheme (its layout row) was applied.
  void ApplyScheme(const ControlLayout& scheme);

  ControlView* ViewOf(const Control* control) const;
  QWidget* WidgetOf(std::string_view name, int index = -1) const;
  std::intptr_t Owner() const { return form_.WindowHandle(); }

  // Runs a user action; an error leaving it is shown as the host's error message.
  bool Run(const std::function<void()>& action);
  // The keyboard: Tab, Shift+Tab, and Enter where the field's settings make it move on.
  void Advance(ControlView& from);
  // Tab or Shift+Tab from a widget; false when its control cannot hold the focus any more
  // (Qt asks as it disables the widget that has it), so that Qt lets the focus go.
  bool KeyboardMove(ControlView& from, bool next);
  void Retreat(ControlView& from);
  void EnterPressed(ControlView& from, const std::string& text);
  // Before any command but those that throw the capture away (Cancelar, Salir): the field
  // being typed in hands over its text first. False when a
  // field refused its text (the refusal shown): the command does not run on the old value.
  bool CommitPendingEdits();
  // Before a command on the record shown (Baja, Modificar, Inicializar servicios, Renovar):
  // as CommitPendingEdits, and false as well where a field handed over showed another record
  // (a folio typed but not entered). The operator pressed the command on the record they saw:
  // the one now shown is left to look at, the focus in that field, until pressed again.
  bool CommitPendingEditsOnShownRecord();
  // Some field holds text the user typed and its control has not been given yet.
  bool HasPendingEdits() const;
  // The user clicked elsewhere while typing: the text is handed over once the click is
  // done, and the focus then stays where the user put it.
  void CommitLater(ControlView& from);
  // A widget took the focus from Qt (a click): the headless focus follows.
  void WidgetFocused(ControlView& view);
  // Esc: the field being typed in takes back its text; false when none was being typed in.
  bool RevertFocusedEdit();
  // Every field takes back what was typed in it (the capture is thrown away).
  void RevertPendingEdits();
  // A line for the window's status bar.
  void ShowStatus(const std::string& text);

  // The server's day, which a date field that shows no date lays out to be typed over.
  void SetServerDay(std::function<Date()> day) { server_day_ = std::move(day); }
  Date ServerDay() const { return server_day_(); }

  const Form& form() const { return form_; }
  Dialogs& dialogs() const { return dialogs_; }
  Database& database() const { return database_; }
  FocusTracker& focus() const { return focus_; }

 signals:
  void StatusChanged(const QString& text);
  // F2 in the folio field: the host opens its policy finder.
  void PolicyFinderWanted();

 protected:
  bool focusNextPrevChild(bool next) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FollowFocus();
  void SetTabOrder();
  void PlaceWidgets();
  void LinkLabels();
  ControlView* ViewOfWidget(const QWidget* widget) const;
  bool HandOverEdits(bool keep_record);

  const Form& form_;
  FocusTracker& focus_;
  Dialogs& dialogs_;
  Database& database_;
  std::function<Date()> server_day_;
  std::vector<ControlView*> views_;
  std::vector<std::unique_ptr<ControlView>> owned_;
  std::map<const Control*, ControlView*> by_control_;
  ControlLayout scheme_;
  std::optional<Colour> background_;
  QSize design_;
};

// Enter moves on from a field with `tabonenter`; from an empty one only with
// `tabonentervacio`; from a key field whose look-up refused its value not with
// `tabonentercancel`.
bool EnterMovesOn(const ControlLayout& layout, const std::string& text, bool refused_key);

}  // namespace nv407::host
