#include "host/qt/qt_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMetaObject>
#include <QSettings>
#include <QStatusBar>

#include "component/host_services.h"
#include "host/headless/error_presentation.h"
#include "host/qt/look.h"
#include "host/qt/questions.h"
#include "screen/layout.h"

namespace nv407::host {
namespace {

SessionSettings Observed(SessionSettings session, ActivityObserver& observer) {
  session.activity = &observer;
  return session;
}

}  // namespace

std::string WindowTitle(const std::string& module) {
  return module.empty() ? "Zembrel" : "Zembrel - " + module;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QString(":/icons/polizas-%1.png").arg(size), QSize(size, size));
  return icon;
}

HostMainWindow::HostMainWindow(Dialogs& dialogs) : dialogs_(dialogs) {
  setObjectName("Padre");
  setWindowTitle(ToQString(WindowTitle("")));
  setWindowIcon(ApplicationIcon());
  user_ = new QLabel(this);
  database_ = new QLabel(this);
  read_only_ = new QLabel("Solo consulta: la base de datos no admite cambios", this);
  read_only_->setObjectName("readOnly");
  read_only_->setStyleSheet(
      "QLabel { background-color: #fff3cd; color: #6b4a00; border: 1px solid #e0b84f;"
      " padding: 0 6px; font-weight: bold; }");
  read_only_->hide();
  unproven_ = new QLabel(kNoSignInStatus, this);
  unproven_->setObjectName("noSignIn");
  unproven_->setToolTip(
      "El operador se dio al abrir el programa, sin contraseña: esta base de datos no pide "
      "inicio de sesión");
  unproven_->setStyleSheet(
      "QLabel { background-color: #e8eef3; color: #2c4a63; border: 1px solid #9fb4c6;"
      " padding: 0 6px; }");
  unproven_->hide();
  for (QLabel* section : {user_, database_})
    section->setStyleSheet("QLabel { padding: 0 8px; border-left: 1px solid #c2ccd4; }");
  statusBar()->addPermanentWidget(read_only_);
  statusBar()->addPermanentWidget(unproven_);
  statusBar()->addPermanentWidget(user_);
  statusBar()->addPermanentWidget(database_);
}

void HostMainWindow::ShowStatus(const QString& text) {
  statusBar()->showMessage(text);
}

void HostMainWindow::ShowSession(const QString& user, SignInMode sign_in, bool read_only) {
  user_->setText("Operador: " + user);
  unproven_->setVisible(sign_in == SignInMode::kNamed);
  read_only_->setVisible(read_only);
}

void HostMainWindow::ShowDatabase(const QString& path, bool demo) {
  database_->setText((demo ? "Base de datos de demostración: " : "Base de datos: ") +
                     QFileInfo(path).fileName());
  database_->setToolTip(path);
}

void HostMainWindow::ShowLockWait(bool waiting) {
  if (waiting) {
    before_wait_ = statusBar()->currentMessage();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ShowStatus(kLockWaitStatus);
  } else {
    QApplication::restoreOverrideCursor();
    ShowStatus(before_wait_);
  }
  // Drawn now: the statement that waits holds the event loop up until it is done.
  statusBar()->repaint();
}

void HostMainWindow::RememberGeometry(const QString& settings_file) {
  settings_file_ = settings_file;
  restoreGeometry(
      QSettings(settings_file_, QSettings::IniFormat).value("ventana/geometria").toByteArray());
}

void HostMainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_ && unsaved_ && unsaved_() &&
      !AskYesNo(dialogs_, 0, ToStdString(windowTitle()), kCloseQuestion)) {
    event->ignore();
    return;
  }
  if (!settings_file_.isEmpty())
    QSettings(settings_file_, QSettings::IniFormat).setValue("ventana/geometria", saveGeometry());
  event->accept();
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
      status_([this](const std::string& text) { window_->ShowStatus(ToQString(text)); }),
      controls_(database, dialogs),
      library_(database, dialogs, controls_, Observed(std::move(session), status_)),
      component_(std::move(factory), std::move(plugin_path)),
      window_(std::make_unique<HostMainWindow>(dialogs)) {
  database_.SetLockWaitObserver([this](bool waiting) { window_->ShowLockWait(waiting); });
}

QtHost::~QtHost() {
  database_.SetLockWaitObserver({});
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
  window_->ShowSession(ToQString(library_.Settings().user_code), library_.Settings().sign_in,
                       database_.ReadOnly());
  window_->adjustSize();
  QObject::connect(&surface, &ScreenCanvas::StatusChanged, window_.get(),
                   &HostMainWindow::ShowStatus);

  HeadlessToolbar* toolbar = nullptr;
  for (Control* control : screen_->Controls())
    if (auto* found = dynamic_cast<HeadlessToolbar*>(control)) toolbar = found;
  window_->SetUnsavedCheck(
      [toolbar] { return toolbar != nullptr && toolbar->HasUnsavedChanges(); });

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

void QtHost::Activate() {
  Screen& shown = screen();
  if (Closed()) throw Error("The screen has been closed");
  RunPresentingErrors(dialogs_, shown.WindowHandle(), [&shown] { shown.Activate(); });
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
