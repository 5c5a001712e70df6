#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "component/error.h"
#include "component/form.h"
#include "component/host_services.h"
#include "component/pantalla.h"
#include "host/db/database.h"
#include "host/headless/component_library.h"
#include "host/headless/control_factory.h"
#include "host/headless/controls.h"
#include "host/headless/headless_window.h"
#include "host/headless/scripted_dialogs.h"
#include "host/headless/snapshot.h"
#include "host/services/reference_host.h"

namespace nv407::host {

struct WindowClosed {};

// The host's policy finder listed these rows for the text and quick filter, as it shows
// them; `picked` is the folio entered into the screen, if any.
struct FinderCall {
  std::string text, filter;
  std::vector<std::vector<std::string>> rows;
  std::string picked;
};

// What the host showed or did outside the screen, in the order it happened.
using HostEvent = std::variant<MessageCall, EditorCall, ViewerCall, WindowClosed, FinderCall>;

// A host without a display: the composition root of the scripted programs and the tests.
// It makes the scripted dialogs, the headless control set and the reference host library
// over one database, loads the component, opens its screen and lets a caller act on it
// as a user would, by control name. User actions that the screen refuses (a disabled
// field, a command not available) raise an Error and change nothing; an error leaving
// one of the screen's handlers, its loading or its activation is shown as one message
// ("ERROR", "ERR-ID:0000000") and the screen stays usable.
class HeadlessHost {
 public:
  // Loads the component from its shared library at run time (ComponentLibrary::DefaultPath).
  HeadlessHost(Database& database, SessionSettings session);
  HeadlessHost(Database& database, SessionSettings session, std::string plugin_path);
  // Makes the component in process.
  HeadlessHost(Database& database, SessionSettings session, PantallaFactory factory);
  ~HeadlessHost();
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // The component's Pantalla, loading the component on the first call.
  Pantalla& LoadComponent();
  // Gets the screen, sets its Padre (a new window whose iParametros is `parameters` and
  // whose Transaccion is the screen's menu transaction), loads it and activates it.
  // Raises when the screen is already open or cannot be had.
  void Open(const std::string& parameters = "", const Variant& transaccion = Variant("NV407"));
  // The screen becomes the active window again.
  void Activate();
  bool IsOpen() const;  // opened and not closed since
  bool Closed() const;  // opened, then closed by the screen (Salir)

  // The user acts on the screen. Raise an Error when there is no such control, it is of
  // another kind, the screen is not open, or the control refuses the action.
  void Type(std::string_view control, const std::string& text);
  void PickDate(std::string_view control, const Date& date);
  void Choose(std::string_view control, const std::string& text);
  void Click(std::string_view control);
  void Press(std::string_view command);  // "Nuevo", "Modificar", ..., "Salir"
  void Tab();

  // A control of the open screen by name (and element, for a control array), as the
  // headless control it is; raises for an unknown name or another kind.
  template <typename T>
  T& Get(std::string_view name, int index = -1) const;
  HeadlessToolbar& toolbar() const;
  FocusTracker& focus() const;

  ScreenSnapshot Snapshot() const;
  // Messages, editor and viewer calls, the finder's lists and the window's closing since
  // the last call.
  std::vector<HostEvent> TakeEvents();
  // What a feature of the host's own (the finder) showed, in turn with the rest.
  void Record(HostEvent event) { events_.push_back(std::move(event)); }
  // Runs a step as the user's: an error leaving it is shown as a message and swallowed,
  // and false returned.
  bool Present(const std::function<void()>& step);

  Screen& screen() const;  // raises before the first Open
  // Raises before the first Open and once the screen has closed (Salir): what a user does
  // then has no window to do it in.
  void RequireOpen() const;
  HeadlessWindow& window() const;
  ScriptedDialogs& dialogs() { return dialogs_; }
  HeadlessControlFactory& controls() { return controls_; }
  ReferenceHost& library() { return library_; }
  Database& database() { return database_; }

 private:
  HeadlessHost(Database& database, SessionSettings session, PantallaFactory factory,
               std::string plugin_path);

  Database& database_;
  ScriptedDialogs dialogs_;
  HeadlessControlFactory controls_;
  ReferenceHost library_;
  ComponentSource component_;
  Screen* screen_ = nullptr;
  std::shared_ptr<HeadlessWindow> window_;
  std::vector<HostEvent> events_;
};

// A control of a screen by name (and element), as the headless control it is; raises for an
// unknown name or another kind.
template <typename T>
T& FindControlAs(const Form& screen, std::string_view name, int index = -1) {
  Control* control = screen.FindControl(name, index);
  if (control == nullptr) throw Error("The screen has no control named " + std::string(name));
  auto* typed = dynamic_cast<T*>(control);
  if (typed == nullptr) {
    throw Error(std::string(name) + " is a " + std::string(ControlKindName(control->Kind())) +
                ", not a " + std::string(ControlKindName(T::kKind)));
  }
  return *typed;
}

// The screen's toolbar, whatever its name; nullptr on a form without one.
HeadlessToolbar* FindToolbar(const Form& screen);
// The rows a list of the screen shows, by the list's name; nullptr without a screen or such a
// list.
const ListItems* ShownListItems(const Form* screen, std::string_view name);

template <typename T>
T& HeadlessHost::Get(std::string_view name, int index) const {
  return FindControlAs<T>(screen(), name, index);
}

}  // namespace nv407::host
