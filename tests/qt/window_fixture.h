// The screen in its desktop window over a test database, for the Qt test programs.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <string>

#include "component/error.h"
#include "host/headless/scripted_dialogs.h"
#include "host/qt/control_widgets.h"
#include "host/qt/qt_host.h"
#include "support/test_database.h"

namespace nv407::testing {

// The component is loaded from its shared library, as the program loads it. The dialogs
// record what they were shown and answer from a queue (a question nobody answered gets its
// default button, No).
struct ScreenWindow {
  explicit ScreenWindow(TestDatabase& db, const std::string& user = kOperatorWithPermissions)
      : ScreenWindow(db.db(), host::SessionSettings{user, db.clock()}) {}
  ScreenWindow(host::Database& database, host::SessionSettings session)
      : desktop(std::make_unique<host::QtHost>(database, std::move(session), dialogs)) {
    desktop->Open();
    desktop->window().show();
    desktop->window().activateWindow();
    if (!QTest::qWaitForWindowActive(&desktop->window()))
      throw Error("The window never became active");
  }

  QWidget& Widget(const std::string& name) { return desktop->Widget(name); }
  host::QtToolbar& Toolbar() { return desktop->WidgetAs<host::QtToolbar>("Controles"); }
  QToolButton& Command(host::ToolbarCommand command) { return *Toolbar().Button(command); }
  // The keyboard, into whichever widget has the focus.
  void Type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    QCoreApplication::processEvents();
  }
  // A folio typed over what the folio box holds and confirmed with Enter.
  void Load(const QString& folio) {
    QTest::mouseClick(&Widget("txtFolio"), Qt::LeftButton);
    Key(Qt::Key_A, Qt::ControlModifier);
    Type(folio);
    Key(Qt::Key_Return);
  }
  // The focused control when Qt and the screen agree on it, else "Qt: X, screen: Y".
  std::string Focus() const {
    const std::string screen = desktop->canvas().focus().FocusedName();
    const QWidget* focused = QApplication::focusWidget();
    const std::string shown = focused == nullptr ? "" : focused->objectName().toStdString();
    return shown == screen ? screen : "Qt: " + shown + ", screen: " + screen;
  }
  // What the text boxes, combo boxes and date fields show.
  QStringList Shown(std::initializer_list<const char*> names) {
    QStringList texts;
    for (const char* name : names) {
      QWidget& widget = Widget(name);
      if (auto* line = qobject_cast<QLineEdit*>(&widget)) texts << line->text();
      if (auto* combo = qobject_cast<QComboBox*>(&widget)) texts << combo->currentText();
      if (auto* date = qobject_cast<QDateEdit*>(&widget)) texts << date->text().trimmed();
    }
    return texts;
  }
  QString Status() { return desktop->window().statusBar()->currentMessage(); }

  host::ScriptedDialogs dialogs;
  std::unique_ptr<host::QtHost> desktop;
};

}  // namespace nv407::testing
