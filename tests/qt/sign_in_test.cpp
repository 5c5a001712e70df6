// The desktop's sign-in: the dialog at start, and the window's word when nobody signed in.
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "host/qt/sign_in_dialog.h"
#include "host/qt/spanish.h"
#include "host/services/operator_records.h"
#include "host/services/password.h"
#include "window_fixture.h"

namespace nv407::testing {

class SignInTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(host::UseSpanish(*QCoreApplication::instance())); }

  void enterTriesTheOperatorAndEscLeaves() {
    TestDatabase db;
    host::OperatorRecords(db.db()).SetPassword("CAPTURA", host::HashPassword("clave de Laura"));
    host::PasswordSignIn sign_in(db.db(), db.clock());
    const auto attempt = [&sign_in](const std::string& user, const std::string& password) {
      return sign_in.Attempt(user, password);
    };

    // Proposed an operator, the dialog starts in the password.
    host::SignInDialog dialog(attempt, "demo.db", "CAPTURA");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.PasswordField());
    QTest::keyClicks(dialog.PasswordField(), "clave de laura");
    QTest::keyClick(dialog.PasswordField(), Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.Refusal()->text(), QString("Operador o contraseña incorrectos"));
    QVERIFY(dialog.PasswordField()->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), dialog.PasswordField());
    QTest::keyClicks(dialog.PasswordField(), "clave de Laura");
    QTest::keyClick(dialog.PasswordField(), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.User(), std::string("CAPTURA"));

    // Proposed nobody, it starts in the operator; Esc leaves without trying.
    host::SignInDialog leaving(attempt, "demo.db", "");
    leaving.show();
    QVERIFY(QTest::qWaitForWindowActive(&leaving));
    QCOMPARE(QApplication::focusWidget(), leaving.UserField());
    QTest::keyClick(leaving.UserField(), Qt::Key_Escape);
    QCOMPARE(leaving.result(), int(QDialog::Rejected));
    QCOMPARE(db.Scalar("SELECT COUNT(*) AS v FROM record_log WHERE table_name = 'operator'"),
             std::string("2"));
  }

  // The demo names its operator without a password, and the window says so; a signed-in
  // operator's window does not.
  void theStatusBarSaysWhenNobodySignedIn() {
    TestDatabase db;
    const auto note = [&db](host::SignInMode mode) {
      // One window at a time: the component is loaded once in a process.
      ScreenWindow window(db.db(), host::SessionSettings{"CAPTURA", db.clock(), nullptr, mode});
      auto* label = window.desktop->window().findChild<QLabel*>("noSignIn");
      return label != nullptr && label->isVisible() ? label->text() : QString("(none)");
    };
    QCOMPARE(note(host::SignInMode::kNamed), QString("Sin inicio de sesión"));
    QCOMPARE(note(host::SignInMode::kPassword), QString("(none)"));
    QCOMPARE(note(host::SignInMode::kLogin), QString("(none)"));
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::SignInTest)
#include "sign_in_test.moc"
