#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "host/db/database.h"
#include "host/services/reference_host.h"
#include "host/services/sign_in.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace nv407::host {

// Asks for the operator and its password at start: Enter (or Entrar) tries them, and a
// refusal is shown in the dialog, the password emptied for another try; Esc (or Salir)
// leaves. Accepted once an attempt signs in.
//
// An attempt runs on a thread of its own, the dialog's keys held meanwhile: the dialog is
// drawn all along, saying so while the attempt waits for another program's write (up to the
// database's busy timeout). The dialog grows to show its whole message.
class SignInDialog final : public QDialog {
  Q_OBJECT

 public:
  // Called on the attempt's thread; it must not touch the dialog.
  using Attempt = std::function<SignInResult(const std::string& user, const std::string& password)>;
  // `user`: the operator proposed (the focus then starts in the password).
  SignInDialog(Attempt attempt, const QString& database, const QString& user,
               QWidget* parent = nullptr);
  // The operator signed in, once accepted.
  std::string User() const { return signed_in_; }
  // Said while an attempt waits for another program's write (a LockWaitObserver, called in
  // the dialog's thread).
  void ShowLockWait(bool waiting);
  QLineEdit* UserField() const { return user_; }
  QLineEdit* PasswordField() const { return password_; }
  QLabel* Refusal() const { return refusal_; }

  void reject() override;  // not while an attempt runs: its answer is awaited

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void TrySignIn();
  SignInResult AttemptBesideTheWindow(const std::string& user, const std::string& password);
  void HoldKeys(bool held);
  void FitTheMessages();

  Attempt attempt_;
  QLineEdit* user_;
  QLineEdit* password_;
  QLabel* refusal_;
  QLabel* lock_wait_;
  QDialogButtonBox* buttons_;
  bool attempting_ = false;
  std::string signed_in_;
};

struct DesktopSignOn {
  std::optional<std::string> user;           // --user
  std::optional<std::string> password_file;  // --password-file, with --play
  bool play = false;  // a script plays the window: the password from a file or the
                      // environment, never a dialog
  Clock clock;
  QString database;  // as the window names it
};
// Who works in the window: SignOn's answer, except that where operators sign in and no
// script plays, the sign-in dialog asks. None when the user left it.
std::optional<SessionSettings> SignOnDesktop(Database& database, const DesktopSignOn& request);

}  // namespace nv407::host
