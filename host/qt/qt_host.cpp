#include "host/qt/qt_host.h"

#include <QCloseEvent>
#include <QMetaObject>

#include "component/host_services.h"
#include "host/headless/error_presentation.h"
#include "host/qt/look.h"
#include "screen/layout.h"

namespace nv407::host {

std::string WindowTitle(const std::string& module) {
  return module.empty() ? "Zembrel" : "Zembrel - " + module;
}

HostMainWindow::HostMainWindow(Dialogs& dialogs) : dialogs_(dialogs) {
  setObjectName("Padre");
  setWindowTitle(ToQString(WindowTitle("")));
}

void HostMainWindow::closeEvent(QCloseEvent* event) {
  if (closing_ || !busy_ || !busy_()) {
    event->accept();
    return;
  }
  // Closing in the middle of a capture would lose what was typed.
  MessageRequest question;
  question.text = "Hay una captura sin guardar. ¿Cerrar la ventana y descartarla?";
  question.style = message_style::kYesNoQuestion;
  question.title = "Zembrel";
  question.module = "NV407";
  if (dialogs_.ShowMessage(question) == message_answer::kYes)
    event->accept();
  else
    event->ignore();
}

QtHost::QtHost(Database& database, SessionSettings session, Dialogs& dialogs,
               std::string plugin_path)
    : QtHost(database, std::move(session), dialogs, nullptr, std::move(plugin_path)) {}

QtHost::QtHost(Database& database, SessionSettings session, Dialogs& dialogs,
               PantallaFactory factory)
    : QtHost(database, std::move(session), dialogs, std::move(factory), std::string()) {}

QtHost::QtHost(Database& database, SessionSettings session, Dialogs& dialogs,
               PantallaFactory factory, std::string plugin_path)
    : database_(database),
      dialogs_(dialogs),
      controls_(database, dialogs),
      library_(database, dialogs, controls_, std::move(session)),
      component_(std::move(factory), std::move(plugin_path)),
      window_(std::make_unique<HostMainWindow>(dialogs)) {}

QtHost::~QtHost() {
  window_.reset();
  component_.Release();
}

void QtHost::Open(const std::string& parameters, const Variant& transaccion) {
  if (screen_ != nullptr) throw Error("The screen is already open");
  Pantalla& pantalla = component_.Get(library_);
  Screen* screen = pantalla.GetPantalla();
  if (screen == nullptr) throw Error("The component could not make its screen");
  screen_ = screen;

  const ScreenLayout& layout = frmNV407Layout();
  ScreenCanvas& surface = controls_.Canvas(*screen_);
  surface.setFont(ToQFont(layout.font));
  surface.FinishLayout(layout.client_width, layout.client_height, layout.background);
  window_->setCentralWidget(&surface);
  window_->setWindowTitle(ToQString(WindowTitle(pantalla.Modulo().ToText())));
  window_->setFixedSize(surface.size());

  Toolbar* toolbar = nullptr;
  for (Control* control : screen_->Controls())
    if (auto* found = dynamic_cast<Toolbar*>(control)) toolbar = found;
  window_->SetBusyCheck([toolbar] { return toolbar != nullptr && toolbar->Busy(); });

  padre_ = std::make_shared<HeadlessWindow>();
  padre_->SetParametros(parameters);
  padre_->SetTransaccion(transaccion);
  QPointer<HostMainWindow> window = window_.get();
  padre_->OnUnload([window] {
    if (!window) return;
    window->AllowClose();
    // Salir runs inside a click on the window; it closes once that click is done.
    QMetaObject::invokeMethod(
        window, [window] { window->close(); }, Qt::QueuedConnection);
  });
  screen_->SetPadre(padre_);
  RunPresentingErrors(dialogs_, screen_->WindowHandle(), [this] { screen_->Load(); });
  RunPresentingErrors(dialogs_, screen_->WindowHandle(), [this] { screen_->Activate(); });
}

Screen& QtHost::screen() const {
  if (screen_ == nullptr) throw Error("The screen has not been opened");
  return *screen_;
}

ScreenCanvas& QtHost::canvas() {
  return controls_.Canvas(screen());
}

QWidget& QtHost::Widget(std::string_view name, int index) {
  QWidget* widget = canvas().WidgetOf(name, index);
  if (widget == nullptr) throw Error("The screen has no widget named " + std::string(name));
  return *widget;
}

}  // namespace nv407::host
