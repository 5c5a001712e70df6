#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "host/programs/script_actions.h"
#include "host/programs/script_output.h"
#include "host/qt/played_dialogs.h"
#include "host/qt/qt_host.h"

class QWidget;

namespace nv407::host {

// `polizas --play`: plays a polizas-script script on the real window, each action as the
// user's keyboard and mouse would do it (QTest's synthesized input): a typed value is
// clicked into, selected, typed and left with Tab; a date is picked in the calendar
// pop-up (F4), an item in the combo box's list (F4); a command or a button is clicked;
// the finder is opened with F2 in the folio field, and Renovar is Ctrl+R.
// It writes what polizas-script writes (a snapshot at each "show", the dialogs' calls,
// the window's closing) and, as they come, the status bar's messages as
// {"event":"status","text":...}. With a folder for shots, each "show" and each dialog
// on the screen is saved there as a PNG (01.png, 02.png, ...), a dialog over its window.
class WindowPlayer {
 public:
  WindowPlayer(QtHost& host, PlayedDialogs& dialogs, std::ostream& out,
               std::optional<std::string> shots);
  ~WindowPlayer();
  WindowPlayer(const WindowPlayer&) = delete;
  WindowPlayer& operator=(const WindowPlayer&) = delete;

  // Plays the script line by line. 0 when it ran to its end; 2 at the first line that
  // cannot be read or acted on, or whose events or shots cannot be written, which `errors`
  // names.
  int Play(std::istream& script, std::ostream& errors);

 private:
  void Perform(const script::Action& action);
  void Type(const script::TypeAction& action);
  void PickDate(const script::DateAction& action);
  void Choose(const script::ChooseAction& action);
  void Press(const script::ToolbarAction& action);
  void Click(const script::ClickAction& action);
  void Find(const script::FindAction& action);
  // In the finder's own event loop: the filter, the text, the event and its shot, the pick.
  void UseFinder(const script::FindAction& action);
  void Renew();
  void TakeBackActivation();
  void Show();
  void Settle();
  void Write(const script::Json& line);
  void Shoot(QWidget* dialog);

  QtHost& host_;
  PlayedDialogs& dialogs_;
  std::ostream& out_;
  std::optional<std::string> shots_;
  int shot_count_ = 0;
  bool closed_told_ = false;
  std::string lost_;  // why output or a shot was lost, from the first write that failed
  std::optional<std::string> finder_refusal_;
  QMetaObject::Connection status_;
};

}  // namespace nv407::host
