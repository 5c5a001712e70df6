#include "host/qt/sign_in_dialog.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <future>

#include "component/error.h"
#include "host/qt/look.h"
#include "host/qt/qt_host.h"
#include "host/qt/status_report.h"
#include "host/services/operators.h"
#include "host/services/password_input.h"

namespace nv407::host {

SignInDialog::SignInDialog(Attempt attempt, const QString& database, const QString& user,
                           QWidget* parent)
    : QDialog(parent), attempt_(std::move(attempt)) {
  setObjectName("SignInDialog");
  setWindowTitle(ToQString(WindowTitle("Iniciar sesión")));
  user_ = new QLineEdit(user, this);
  user_->setObjectName("user");
  password_ = new QLineEdit(this);
  password_->setObjectName("password");
  password_->setEchoMode(QLineEdit::Password);
  refusal_ = new QLabel(this);
  refusal_->setObjectName("refusal");
  refusal_->setWordWrap(true);
  refusal_->setTextFormat(Qt::PlainText);
  refusal_->setStyleSheet("QLabel { color: #a61b1b; font-weight: bold; }");
  refusal_->hide();
  lock_wait_ = new QLabel(kLockWaitStatus, this);
  lock_wait_->setObjectName("lockWait");
  lock_wait_->setWordWrap(true);
  lock_wait_->hide();

  auto* form = new QFormLayout;
  auto* database_name = new QLabel(database, this);
  database_name->setTextFormat(Qt::PlainText);
  form->addRow("Base de datos:", database_name);
  form->addRow("&Operador:", user_);
  form->addRow("&Contraseña:", password_);
  buttons_ = new QDialogButtonBox(this);
  QPushButton* enter = buttons_->addButton("&Entrar", QDialogButtonBox::AcceptRole);
  buttons_->addButton("&Salir", QDialogButtonBox::RejectRole);
  enter->setDefault(true);
  connect(buttons_, &QDialogButtonBox::accepted, this, &SignInDialog::TrySignIn);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(refusal_);
  layout->addWidget(lock_wait_);
  layout->addWidget(buttons_);
  setMinimumWidth(380);
  (user.isEmpty() ? user_ : password_)->setFocus();
}

void SignInDialog::ShowLockWait(bool waiting) {
  if (waiting) refusal_->hide();  // an earlier attempt's
  lock_wait_->setVisible(waiting);
  if (waiting) {
    setCursor(Qt::WaitCursor);
  } else {
    unsetCursor();
  }
  FitTheMessages();
}

void SignInDialog::reject() {
  if (!attempting_) QDialog::reject();
}

void SignInDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (event->size().width() != event->oldSize().width()) FitTheMessages();
}

// A slot: nothing may leave it, a failing database included.
void SignInDialog::TrySignIn() {
  if (attempting_) return;
  SignInResult result;
  try {
    result = AttemptBesideTheWindow(ToStdString(user_->text()), ToStdString(password_->text()));
  } catch (const std::exception& failure) {
    result.refusal = OneLine(failure.what());
  }
  if (result.signed_in) {
    signed_in_ = result.user;
    accept();
    return;
  }
  refusal_->setText(ToQString(result.refusal));
  refusal_->show();
  FitTheMessages();
  password_->clear();
  (user_->text().isEmpty() ? user_ : password_)->setFocus();
}

// The attempt may wait for another program's write as long as the database's busy timeout:
// the dialog's event loop runs meanwhile, to draw it and say so, with its keys held.
SignInResult SignInDialog::AttemptBesideTheWindow(const std::string& user,
                                                  const std::string& password) {
  HoldKeys(true);
  QEventLoop loop;
  std::future<SignInResult> answer = std::async(std::launch::async, [&] {
    // Posted, however the attempt ends: the loop belongs to the dialog's thread, and may not
    // have started yet.
    struct Quit {
      QEventLoop& loop;
      ~Quit() { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); }
    } quit{loop};
    return attempt_(user, password);
  });
  loop.exec();
  HoldKeys(false);
  return answer.get();
}

void SignInDialog::HoldKeys(bool held) {
  attempting_ = held;
  user_->setEnabled(!held);
  password_->setEnabled(!held);
  buttons_->setEnabled(!held);
}

// A wrapped message's height depends on the width, and Qt gives a window no minimum height
// for such contents: the layout would squeeze the fields to a few pixels to fit it.
void SignInDialog::FitTheMessages() {
  setMinimumHeight(hasHeightForWidth() ? heightForWidth(width())
                                       : layout()->totalMinimumSize().height());
}

std::optional<SessionSettings> SignOnDesktop(Database& database, const DesktopSignOn& request) {
  if (request.play || ReadSessionAccess(database).mode != SignInMode::kPassword) {
    std::optional<std::string> password;
    if (request.play) password = GivenPassword(request.password_file);
    return SignOn(database, {request.user, password, request.clock});
  }
  RequireTheComputersClock(request.clock);
  PasswordSignIn sign_in(database, request.clock);
  SignInDialog dialog(
      [&sign_in](const std::string& user, const std::string& password) {
        return sign_in.Attempt(user, password);
      },
      request.database, ToQString(request.user.value_or("")));
  // Told on the attempt's thread; shown on the dialog's.
  database.SetLockWaitObserver([&dialog](bool waiting) {
    QMetaObject::invokeMethod(
        &dialog, [&dialog, waiting] { dialog.ShowLockWait(waiting); }, Qt::QueuedConnection);
  });
  const struct Unobserved {
    Database& database;
    ~Unobserved() { database.SetLockWaitObserver({}); }
  } unobserved{database};
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return SessionSettings{dialog.User(), request.clock, nullptr, SignInMode::kPassword};
}

}  // namespace nv407::host
