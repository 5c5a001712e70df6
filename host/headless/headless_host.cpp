#include "host/headless/headless_host.h"

#include "host/headless/error_presentation.h"

namespace nv407::host {

HeadlessHost::HeadlessHost(Database& database, SessionSettings session)
    : HeadlessHost(database, std::move(session), nullptr, ComponentLibrary::DefaultPath()) {}

HeadlessHost::HeadlessHost(Database& database, SessionSettings session, std::string plugin_path)
    : HeadlessHost(database, std::move(session), nullptr, std::move(plugin_path)) {}

HeadlessHost::HeadlessHost(Database& database, SessionSettings session, PantallaFactory factory)
    : HeadlessHost(database, std::move(session), std::move(factory), std::string()) {}

HeadlessHost::HeadlessHost(Database& database, SessionSettings session, PantallaFactory factory,
                           std::string plugin_path)
    : database_(database),
      controls_(database, dialogs_),
      library_(database, dialogs_, controls_, std::move(session)),
      component_(std::move(factory), std::move(plugin_path)) {
  library_.ReadScreenListsWith(
      [this](std::string_view name) { return ShownListItems(screen_, name); });
  dialogs_.Observe([this](const DialogCall& call) {
    std::visit([this](const auto& typed) { events_.emplace_back(typed); }, call);
  });
}

HeadlessHost::~HeadlessHost() = default;

Pantalla& HeadlessHost::LoadComponent() {
  return component_.Get(library_);
}

void HeadlessHost::Open(const std::string& parameters, const Variant& transaccion) {
  if (IsOpen()) throw Error("The screen is already open");
  // A closed window's screen went with it: the component starts anew, its screen at its
  // design-time state, so that nothing typed in the closed one comes back.
  if (Closed()) {
    const Form* closed = screen_;
    screen_ = nullptr;
    component_.Release();
    controls_.Forget(closed);
  }
  Screen* screen = LoadComponent().GetPantalla();
  if (screen == nullptr) throw Error("The component could not make its screen");
  screen_ = screen;

  auto window = std::make_shared<HeadlessWindow>();
  window->SetParametros(parameters);
  window->SetTransaccion(transaccion);
  window->OnUnload([this] { events_.emplace_back(WindowClosed{}); });
  window_ = window;
  screen_->SetPadre(window);
  Present([this] { screen_->Load(); });
  Present([this] { screen_->Activate(); });
}

void HeadlessHost::Activate() {
  RequireOpen();
  Present([this] { screen_->Activate(); });
}

bool HeadlessHost::IsOpen() const {
  return window_ && !window_->Closed();
}

bool HeadlessHost::Closed() const {
  return window_ && window_->Closed();
}

void HeadlessHost::Type(std::string_view control, const std::string& text) {
  RequireOpen();
  Get<HeadlessTextBox>(control).UserType(text);
}

void HeadlessHost::PickDate(std::string_view control, const Date& date) {
  RequireOpen();
  Get<HeadlessDateField>(control).UserPick(date);
}

void HeadlessHost::Choose(std::string_view control, const std::string& text) {
  RequireOpen();
  Get<HeadlessComboBox>(control).UserChoose(text);
}

void HeadlessHost::Click(std::string_view control) {
  RequireOpen();
  Get<HeadlessFlatButton>(control).UserClick();
}

void HeadlessHost::Press(std::string_view command) {
  RequireOpen();
  toolbar().UserPress(command);
}

void HeadlessHost::Tab() {
  RequireOpen();
  focus().Tab();
}

HeadlessToolbar& HeadlessHost::toolbar() const {
  if (HeadlessToolbar* found = FindToolbar(screen())) return *found;
  throw Error("The screen has no toolbar");
}

HeadlessToolbar* FindToolbar(const Form& screen) {
  for (Control* control : screen.Controls())
    if (auto* toolbar = dynamic_cast<HeadlessToolbar*>(control)) return toolbar;
  return nullptr;
}

const ListItems* ShownListItems(const Form* screen, std::string_view name) {
  if (screen == nullptr) return nullptr;
  const auto* list = dynamic_cast<const HeadlessListView*>(screen->FindControl(name));
  return list == nullptr ? nullptr : &list->Items();
}

FocusTracker& HeadlessHost::focus() const {
  return controls_.Focus(screen());
}

ScreenSnapshot HeadlessHost::Snapshot() const {
  return TakeSnapshot(screen(), focus(), Closed());
}

std::vector<HostEvent> HeadlessHost::TakeEvents() {
  std::vector<HostEvent> events;
  events.swap(events_);
  return events;
}

Screen& HeadlessHost::screen() const {
  if (screen_ == nullptr) throw Error("The screen has not been opened");
  return *screen_;
}

HeadlessWindow& HeadlessHost::window() const {
  if (!window_) throw Error("The screen has not been opened");
  return *window_;
}

void HeadlessHost::RequireOpen() const {
  if (screen_ == nullptr) throw Error("The screen has not been opened");
  if (Closed()) throw Error("The screen has been closed");
}

bool HeadlessHost::Present(const std::function<void()>& step) {
  return RunPresentingErrors(dialogs_, screen_->WindowHandle(), step);
}

}  // namespace nv407::host
