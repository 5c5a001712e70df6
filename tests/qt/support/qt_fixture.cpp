#include "support/qt_fixture.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTest>

#include "component/error.h"

namespace nv407::testing {

ScreenWindow::ScreenWindow(TestDatabase& db, const std::string& parameters, const std::string& user)
    : host_(std::make_unique<host::QtHost>(db.db(), host::SessionSettings{user, db.clock()},
                                           dialogs_)) {
  host_->Open(parameters);
  host_->window().show();
  host_->window().activateWindow();
  if (!QTest::qWaitForWindowActive(&host_->window())) throw Error("The window never became active");
}

ScreenWindow::~ScreenWindow() = default;

void ScreenWindow::Type(const QString& text) {
  QTest::keyClicks(QApplication::focusWidget(), text);
}

void ScreenWindow::Key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  QCoreApplication::processEvents();
}

std::string ScreenWindow::Focus() const {
  const std::string headless = host_->canvas().focus().FocusedName();
  QWidget* focused = QApplication::focusWidget();
  const std::string shown = focused == nullptr ? "" : focused->objectName().toStdString();
  if (shown != headless) return "Qt: " + shown + ", screen: " + headless;
  return headless;
}

QString ScreenWindow::Shown(const std::string& name) {
  QWidget& widget = Widget(name);
  if (auto* line = qobject_cast<QLineEdit*>(&widget)) return line->text();
  if (auto* combo = qobject_cast<QComboBox*>(&widget)) return combo->currentText();
  if (auto* date = qobject_cast<QDateEdit*>(&widget)) return date->text().trimmed();
  throw Error(name + " shows no text");
}

}  // namespace nv407::testing
