#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <string_view>

#include "component/form.h"
#include "component/pantalla.h"
#include "host/db/database.h"
#include "host/headless/component_library.h"
#include "host/headless/headless_host.h"
#include "host/headless/headless_window.h"
#include "host/qt/qt_control_factory.h"
#include "host/services/reference_host.h"

namespace nv407::host {

// The host's window around the screen. Closing it from the title bar is the same as
// pressing Salir when the screen allows it; while a capture is open it asks first.
class HostMainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit HostMainWindow(Dialogs& dialogs);
  void AllowClose() { closing_ = true; }
  void SetBusyCheck(std::function<bool()> busy) { busy_ = std::move(busy); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Dialogs& dialogs_;
  std::function<bool()> busy_;
  bool closing_ = false;
};

// The desktop host: the composition root of `polizas` and of the desktop tests. It makes
// the desktop control set and the reference host library over one database and the given
// dialogs, loads the component, and opens its screen in a main window whose `Padre`
// answers "Transaccion" and "iParametros" and closes the window on Salir. An error leaving
// the screen's loading or activation is shown as the host's error message.
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

  Database& database_;
  Dialogs& dialogs_;
  QtControlFactory controls_;
  ReferenceHost library_;
  ComponentSource component_;
  std::unique_ptr<HostMainWindow> window_;  // deleted first: its widgets show the controls
  Screen* screen_ = nullptr;
  std::shared_ptr<HeadlessWindow> padre_;
};

// "Zembrel - SERVICIOS": the application, then the component's module.
std::string WindowTitle(const std::string& module);

}  // namespace nv407::host
