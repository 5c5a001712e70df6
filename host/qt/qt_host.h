#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "component/form.h"
#include "component/pantalla.h"
#include "host/db/database.h"
#include "host/headless/component_library.h"
#include "host/headless/headless_host.h"
#include "host/headless/headless_window.h"
#include "host/lists/policy_usage.h"
#include "host/qt/qt_control_factory.h"
#include "host/qt/status_report.h"
#include "host/services/reference_host.h"

namespace nv407::host {

class ShorteningLabel;

// The host's window around the screen. Closing it from the title bar is the same as
// pressing Salir when the screen allows it; with unsaved work it asks first. Its status
// bar says what just happened, and holds the operator, the database, a note when the
// operator was named without signing in, and for a database that cannot be written, a
// note that the window is for looking only.
class HostMainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit HostMainWindow(Dialogs& dialogs);
  void AllowClose() { closing_ = true; }
  // Whether the screen holds work that closing would lose.
  void SetUnsavedCheck(std::function<bool()> unsaved) { unsaved_ = std::move(unsaved); }
  void ShowStatus(const QString& text);
  // `why_read_only`: why the database takes no changes, "" where it does.
  void ShowSession(const QString& user, SignInMode sign_in, const QString& why_read_only);
  // The demo database is named as such, so nobody takes it for the office's data.
  void ShowDatabase(const QString& path, bool demo);
  // The shown policy at a glance (its most used service, its end), each line in the colour
  // of its grade; nothing clears it. It gives its room to a message while one is shown.
  void ShowGlance(const std::vector<GlanceLine>& lines);
  QString Glance() const;
  // The host's menu "Póliza": the policy finder (Ctrl+B) and Renovar (Ctrl+R).
  QAction* FindAction() const { return find_; }
  QAction* RenewAction() const { return renew_; }
  // A statement waits for another session's lock: a busy cursor and a line that says so,
  // drawn at once, since the wait holds the event loop up.
  void ShowLockWait(bool waiting);
  // Takes back the size and place the window had when it was last closed, and keeps them
  // when it closes.
  void RememberGeometry(const QString& settings_file);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void KeepStatusBarWhole();
  void PlaceGlance();

  Dialogs& dialogs_;
  std::function<bool()> unsaved_;
  bool closing_ = false;
  QString settings_file_;  // where the size is kept; empty: not kept
  QLabel* glance_;
  QLabel* user_;
  ShorteningLabel* database_;
  QAction* find_;
  QAction* renew_;
  QLabel* read_only_;
  QLabel* unproven_;
  QString before_wait_;
};

// The desktop host: the composition root of `polizas` and of the desktop tests. It makes
// the desktop control set and the reference host library over one database and the given
// dialogs, loads the component, and opens its screen in a main window whose `Padre`
// answers "Transaccion" and "iParametros" and closes the window on Salir. An error leaving
// the screen's loading or activation is shown as the host's error message. What the
// services see the screen save, cancel or reset, a refused key and a wait for another
// session's lock go to the window's status bar.
class QtHost {
 public:
  // Loads the component from its shared library at run time.
  QtHost(Database& database, SessionSettings session, Dialogs& dialogs,
         std::string plugin_path = ComponentLibrary::DefaultPath());
  // Makes the component in process.
  QtHost(Database& database, SessionSettings session, Dialogs& dialogs, PantallaFactory factory);
  ~QtHost();
  QtHost(const QtHost&) = delete;
  QtHost& operator=(const QtHost&) = delete;

  // Gets the screen, puts it into the window, sets its Padre, loads and activates it.
  // The window is not shown: the caller shows it.
  void Open(const std::string& parameters = "", const Variant& transaccion = Variant("NV407"));
  // The screen's activation again, as when the window becomes active after another of the
  // host's windows was (switching applications does not count).
  void Activate();
  // The policy finder on the folio field (F2 there, or the menu): a picked folio is typed
  // into the field and Enter pressed, as the user would.
  void FindPolicy();
  // Renovar: the shown live policy's renewal, captured and left for the operator's Aceptar.
  void Renew();
  bool Closed() const { return padre_ && padre_->Closed(); }

  HostMainWindow& window() { return *window_; }
  Screen& screen() const;
  ScreenCanvas& canvas();
  // The widget of a control by name (and element, for a control array); raises when there is none.
  QWidget& Widget(std::string_view name, int index = -1);
  template <typename W>
  W& WidgetAs(std::string_view name, int index = -1) {
    auto* widget = qobject_cast<W*>(&Widget(name, index));
    if (widget == nullptr) throw Error(std::string(name) + " is not a widget of that kind");
    return *widget;
  }

 private:
  QtHost(Database& database, SessionSettings session, Dialogs& dialogs, PantallaFactory factory,
         std::string plugin_path);
  // Once the command that changed the screen is done: the glance and the menu follow it.
  void FollowScreenLater();
  void FollowScreen();
  void MarkCancelled(const HeadlessToolbar& toolbar, const std::string& folio);

  Database& database_;
  Dialogs& dialogs_;
  StatusReport status_;  // before the services, which tell it what they see
  QtControlFactory controls_;
  ReferenceHost library_;
  ComponentSource component_;
  std::unique_ptr<HostMainWindow> window_;  // deleted first: its widgets show the controls
  Screen* screen_ = nullptr;
  std::shared_ptr<HeadlessWindow> padre_;
  bool following_ = false;   // a FollowScreen is queued
  std::string shown_folio_;  // the folio shown when the screen was last followed
};

// "Zembrel - SERVICIOS": the application, then the component's module.
std::string WindowTitle(const std::string& module);

// The application's icon, the one the package installs for the desktop (packaging/icons).
QIcon ApplicationIcon();

}  // namespace nv407::host
