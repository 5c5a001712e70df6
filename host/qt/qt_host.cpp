#include "host/qt/qt_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMetaObject>
#include <QPainter>
#include <QSettings>
#include <QStatusBar>
#include <QTextDocumentFragment>
#include <optional>

#include "component/host_services.h"
#include "host/headless/error_presentation.h"
#include "host/headless/picked_folio.h"
#include "host/headless/renewal.h"
#include "host/qt/control_widgets.h"
#include "host/qt/look.h"
#include "host/qt/policy_finder.h"
#include "host/qt/questions.h"
#include "screen/layout.h"

namespace nv407::host {
namespace {

SessionSettings Observed(SessionSettings session, ActivityObserver& observer) {
  session.activity = &observer;
  return session;
}

}  // namespace

// A status bar section that gives up room before the others: short of room it shortens the
// name it shows in the middle (a file's name keeps its start and its end) after a label
// kept whole. The whole text is its text, for assistive tools.
class ShorteningLabel final : public QLabel {
 public:
  using QLabel::QLabel;
  void SetText(const QString& label, const QString& name) {
    label_ = label;
    setText(label + name);
  }
  QSize minimumSizeHint() const override {
    QSize hint = QLabel::minimumSizeHint();
    const QMargins margins = contentsMargins();
    hint.setWidth(std::min(hint.width(), margins.left() + margins.right() +
                                             fontMetrics().horizontalAdvance(label_ + "MMMMMM")));
    return hint;
  }
  // Asks for no more than this width (down to its minimum), or for its whole text again.
  void LimitWidth(std::optional<int> width) {
    if (width == limit_) return;
    limit_ = width;
    updateGeometry();
  }
  QSize sizeHint() const override {
    QSize hint = QLabel::sizeHint();
    if (limit_) hint.setWidth(std::max(minimumSizeHint().width(), std::min(hint.width(), *limit_)));
    return hint;
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    QPainter painter(this);
    QRect room = contentsRect();
    // Where a label of its kind starts its text: half an x in from a frame, as QLabel does.
    room.setLeft(room.left() + (indent() >= 0      ? indent()
                                : frameWidth() > 0 ? fontMetrics().horizontalAdvance('x') / 2
                                                   : 0));
    painter.drawText(room, Qt::AlignVCenter | Qt::AlignLeft, label_);
    room.setLeft(room.left() + fontMetrics().horizontalAdvance(label_));
    painter.drawText(
        room, Qt::AlignVCenter | Qt::AlignLeft,
        fontMetrics().elidedText(text().mid(label_.size()), Qt::ElideMiddle, room.width()));
  }

 private:
  QString label_;
  std::optional<int> limit_;
};

std::string WindowTitle(const std::string& module) {
  return module.empty() ? "Zembrel" : "Zembrel - " + module;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64})
    icon.addFile(QString(":/icons/polizas-%1.png").arg(size), QSize(size, size));
  return icon;
}

HostMainWindow::HostMainWindow(Dialogs& dialogs) : dialogs_(dialogs) {
  setObjectName("Padre");
  setWindowTitle(ToQString(WindowTitle("")));
  setWindowIcon(ApplicationIcon());
  user_ = new QLabel(this);
  database_ = new ShorteningLabel(this);
  // Short, as the status bar widens the window for what it holds; the reason in its tooltip.
  read_only_ = new QLabel("Solo consulta", this);
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
  for (QLabel* section : {user_, static_cast<QLabel*>(database_)}) {
    section->setTextFormat(Qt::PlainText);  // a file's name is no markup
    section->setStyleSheet("QLabel { padding: 0 8px; border-left: 1px solid #c2ccd4; }");
  }
  glance_ = new QLabel(this);
  glance_->setObjectName("glance");
  glance_->setTextFormat(Qt::RichText);
  glance_->setStyleSheet("QLabel { padding: 0 8px; }");
  statusBar()->addPermanentWidget(glance_);
  statusBar()->addPermanentWidget(read_only_);
  statusBar()->addPermanentWidget(unproven_);
  statusBar()->addPermanentWidget(user_);
  statusBar()->addPermanentWidget(database_);
  connect(statusBar(), &QStatusBar::messageChanged, this, [this] { PlaceGlance(); });

  // No letter of its own: Alt and a letter belong to the toolbar and the field labels.
  QMenu* menu = menuBar()->addMenu("Póliza");
  find_ = menu->addAction("Buscar póliza…");
  find_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
  renew_ = menu->addAction("Renovar");
  renew_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  find_->setEnabled(false);
  renew_->setEnabled(false);
}

void HostMainWindow::ShowGlance(const std::vector<GlanceLine>& lines) {
  QStringList parts;
  for (const GlanceLine& line : lines) {
    QString text = ToQString(line.text).toHtmlEscaped();
    if (line.grade != Grade::kNormal)
      text = "<b style='color:" + GradeColour(line.grade) + "'>" + text + "</b>";
    parts << text;
  }
  glance_->setText(parts.join(" &middot; "));
  // Never cut: a date that lost its last digit reads as another date.
  glance_->setMinimumWidth(glance_->sizeHint().width());
  PlaceGlance();
}

// A message and the glance beside the other sections do not fit the window's own width: the
// message, newer, is read whole, the database's name shortened as far as it has to be.
void HostMainWindow::PlaceGlance() {
  const QString message = statusBar()->currentMessage();
  glance_->setVisible(!glance_->text().isEmpty() && message.isEmpty());
  if (message.isEmpty()) {
    database_->LimitWidth(std::nullopt);
  } else {
    // The message's margins, the size grip and each section's spacing, generously.
    int taken = statusBar()->fontMetrics().horizontalAdvance(message) + 40;
    for (QLabel* section : {read_only_, unproven_, user_})
      if (!section->isHidden()) taken += section->sizeHint().width() + 8;
    database_->LimitWidth(statusBar()->width() - taken);
  }
  KeepStatusBarWhole();
}

void HostMainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  PlaceGlance();
}

// The main window makes room for its status bar's set minimum only, not for what its
// sections need: without this a long glance would run under the sections beside it.
void HostMainWindow::KeepStatusBarWhole() {
  statusBar()->setMinimumWidth(statusBar()->minimumSizeHint().width());
}

QString HostMainWindow::Glance() const {
  return glance_->isVisible() ? QTextDocumentFragment::fromHtml(glance_->text()).toPlainText()
                              : QString();
}

void HostMainWindow::ShowStatus(const QString& text) {
  statusBar()->showMessage(text);
}

void HostMainWindow::ShowSession(const QString& user, SignInMode sign_in,
                                 const QString& why_read_only) {
  user_->setText("Operador: " + user);
  unproven_->setVisible(sign_in == SignInMode::kNamed);
  read_only_->setVisible(!why_read_only.isEmpty());
  read_only_->setToolTip("La base de datos no admite cambios (" + why_read_only +
                         "): la ventana es solo para consultar");
  KeepStatusBarWhole();
}

void HostMainWindow::ShowDatabase(const QString& path, bool demo) {
  database_->SetText(demo ? "Base de datos de demostración: " : "Base de datos: ",
                     QFileInfo(path).fileName());
  database_->setToolTip(path);
  KeepStatusBarWhole();
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
      status_([this](const std::string& text) {
        window_->ShowStatus(ToQString(text));
        FollowScreenLater();  // a counter reset changes what is used, and nothing else
      }),
      controls_(database, dialogs),
      library_(database, dialogs, controls_, Observed(std::move(session), status_)),
      component_(std::move(factory), std::move(plugin_path)),
      window_(std::make_unique<HostMainWindow>(dialogs)) {
  database_.SetLockWaitObserver([this](bool waiting) { window_->ShowLockWait(waiting); });
  library_.ReadScreenListsWith(
      [this](std::string_view name) { return ShownListItems(screen_, name); });
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
  surface.SetServerDay([this] { return ServerNow(library_.Settings(), database_); });
  surface.FinishLayout(layout.client_width, layout.client_height, layout.background);
  window_->setCentralWidget(&surface);
  window_->setWindowTitle(ToQString(WindowTitle(pantalla.Modulo().ToText())));
  window_->ShowSession(ToQString(library_.Settings().user_code), library_.Settings().sign_in,
                       ToQString(database_.WhyReadOnly()));
  window_->adjustSize();
  QObject::connect(&surface, &ScreenCanvas::StatusChanged, window_.get(),
                   &HostMainWindow::ShowStatus);

  HeadlessToolbar* toolbar = FindToolbar(*screen_);
  // Closing from the title bar asks as Salir does, also about text still being typed.
  auto* toolbar_view = dynamic_cast<QtToolbar*>(surface.ViewOf(toolbar));
  window_->SetUnsavedCheck(
      [toolbar_view] { return toolbar_view != nullptr && toolbar_view->HasUnsavedWork(); });
  if (toolbar != nullptr) toolbar->Observe([this] { FollowScreenLater(); });
  QObject::connect(&surface, &ScreenCanvas::PolicyFinderWanted, window_.get(),
                   [this] { FindPolicy(); });
  QObject::connect(window_->FindAction(), &QAction::triggered, window_.get(),
                   [this] { FindPolicy(); });
  QObject::connect(window_->RenewAction(), &QAction::triggered, window_.get(), [this] { Renew(); });

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

void QtHost::FindPolicy() {
  auto& folio = WidgetAs<QtTextBox>("txtFolio");
  if (!folio.isEnabled() || folio.isReadOnly()) return;
  folio.setFocus();
  // The finder reads the database before it shows: a lost server is told as any command's
  // failure is, and the window goes on.
  std::optional<std::string> picked;
  canvas().Run([&] {
    PolicyFinder finder(database_, ServerNow(library_.Settings(), database_), folio.text(),
                        window_.get());
    if (finder.exec() == QDialog::Accepted) picked = finder.Picked();
  });
  // Not every window manager (nor Qt's offscreen platform) gives the window back its
  // activation when a dialog closes.
  window_->activateWindow();
  if (!picked || !canvas().Run([&] { RequireFolioFieldKeeps(screen(), *picked); })) return;
  // The screen reads a policy when its folio changes: the one shown, picked again, is read
  // again as a user gets it read again, by emptying the field first.
  if (FindControlAs<HeadlessTextBox>(screen(), "txtFolio").Text() == *picked) {
    folio.clear();
    canvas().EnterPressed(folio, "");
  }
  folio.setText(ToQString(*picked));
  canvas().EnterPressed(folio, *picked);
}

void QtHost::Renew() {
  // A folio typed but not entered is entered first, as Enter would: another policy it shows
  // is renewed at the next Renovar, once the operator saw it. One that cannot be renewed had
  // its load's own say.
  canvas().Run([this] {
    if (canvas().CommitPendingEditsOnShownRecord() && CanRenew(screen()))
      host::Renew(screen(), database_);
  });
}

void QtHost::FollowScreenLater() {
  if (following_) return;
  following_ = true;
  QPointer<HostMainWindow> window = window_.get();
  QMetaObject::invokeMethod(
      window_.get(),
      [this, window] {
        if (window) FollowScreen();
      },
      Qt::QueuedConnection);
}

// A live policy shown gets its glance, a cancelled one its mark; the menu offers what the
// screen allows now.
void QtHost::FollowScreen() {
  following_ = false;
  if (screen_ == nullptr) return;
  const auto& folio = FindControlAs<HeadlessTextBox>(*screen_, "txtFolio");
  window_->FindAction()->setEnabled(folio.Enabled() && !Closed());
  window_->RenewAction()->setEnabled(CanRenew(*screen_) && !Closed());
  std::vector<GlanceLine> glance;
  const HeadlessToolbar* toolbar = FindToolbar(*screen_);
  if (toolbar != nullptr && toolbar->ShowsInactiveRecord()) MarkCancelled(*toolbar, folio.Text());
  if (toolbar != nullptr && !toolbar->Busy() && toolbar->ShowsLiveRecord()) {
    try {
      if (const auto usage = ReadPolicyUsage(database_.ForHost(), folio.Text()))
        glance = Glance(*usage, ServerNow(library_.Settings(), database_).DateOnly());
    } catch (const std::exception&) {
      // A glance that cannot be read is left out; the screen shows the policy regardless.
    }
  }
  // A message told of what came before this policy was shown: another folio, found or not,
  // takes the room back. A command that empties the folio (Baja, a save) keeps its message.
  if (!folio.Text().empty() && folio.Text() != shown_folio_) window_->ShowStatus("");
  shown_folio_ = folio.Text();
  window_->ShowGlance(glance);
}

void QtHost::MarkCancelled(const HeadlessToolbar& toolbar, const std::string& folio) {
  auto* view = dynamic_cast<QtToolbar*>(canvas().ViewOf(&toolbar));
  if (view == nullptr) return;
  bool cancelled = false;
  try {
    const auto usage = ReadPolicyUsage(database_.ForHost(), folio);
    cancelled = usage && usage->cancelled;
  } catch (const std::exception&) {
    // Unread, the policy is not called cancelled; the screen shows it regardless.
  }
  view->ShowCancelled(cancelled);
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
