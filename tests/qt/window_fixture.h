// The screen in its desktop window over a test database, for the Qt test programs.
#pragma once

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
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
  void Alt(Qt::Key key) { Key(key, Qt::AltModifier); }
  // The text put on the clipboard and pasted into the focused widget with Ctrl+V.
  void Paste(const QString& text) {
    QApplication::clipboard()->setText(text);
    Key(Qt::Key_V, Qt::ControlModifier);
  }
  // Text typed with keys named in braces between it: "1/2/2023{Backspace}{Shift+Left}4".
  // The mouse works the focused field's text at a cursor position: "{Click 4}",
  // "{DoubleClick 4}", "{Drag 2-4}" (pressed at 2, let go at 4).
  void Play(const QString& keys) {
    static const QRegularExpression parts("\\{([^}]+)\\}|[^{]+");
    static const QRegularExpression mouse("^(Click|DoubleClick|Drag) (\\d+)(?:-(\\d+))?$");
    for (const QRegularExpressionMatch& part : parts.globalMatch(keys)) {
      if (part.captured(1).isEmpty()) {
        Type(part.captured(0));
        continue;
      }
      if (const QRegularExpressionMatch use = mouse.match(part.captured(1)); use.hasMatch()) {
        Mouse(use.captured(1), use.captured(2).toInt(),
              use.captured(3).isEmpty() ? use.captured(2).toInt() : use.captured(3).toInt());
        continue;
      }
      const QKeyCombination key = QKeySequence(part.captured(1))[0];
      Key(key.key(), key.keyboardModifiers());
    }
  }
  // Each text typed into the focused field and left with Enter.
  void Enter(std::initializer_list<QString> texts) {
    for (const QString& text : texts) {
      Type(text);
      Key(Qt::Key_Return);
    }
  }
  // The point of the focused field's text where a click puts the cursor at `position`.
  static QPoint TextPoint(QLineEdit& line, int position) {
    const int y = line.height() / 2;
    int first = -1;
    int last = -1;
    for (int x = 0; x < line.width(); ++x) {
      if (line.cursorPositionAt(QPoint(x, y)) != position) continue;
      if (first < 0) first = x;
      last = x;
    }
    if (first < 0) throw Error("No point of the text puts the cursor there");
    return QPoint((first + last) / 2, y);
  }
  void Mouse(const QString& use, int from, int to) {
    QWidget* focused = QApplication::focusWidget();
    QLineEdit* line = qobject_cast<QLineEdit*>(focused);
    if (line == nullptr && focused != nullptr) line = focused->findChild<QLineEdit*>();
    if (line == nullptr) throw Error("The focused widget has no text to click");
    const QPoint at = TextPoint(*line, from);
    if (use == "Click") {
      QTest::mouseClick(line, Qt::LeftButton, Qt::NoModifier, at);
    } else if (use == "DoubleClick") {
      QTest::mouseDClick(line, Qt::LeftButton, Qt::NoModifier, at);
    } else {
      QTest::mousePress(line, Qt::LeftButton, Qt::NoModifier, at);
      const QPoint end = TextPoint(*line, to);
      QMouseEvent move(QEvent::MouseMove, end, line->mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
      QApplication::sendEvent(line, &move);
      QTest::mouseRelease(line, Qt::LeftButton, Qt::NoModifier, end);
    }
    QCoreApplication::processEvents();
  }
  void Click(QWidget& widget) { QTest::mouseClick(&widget, Qt::LeftButton); }
  void Click(const std::string& name) { Click(Widget(name)); }
  void Press(host::ToolbarCommand command) { Click(Command(command)); }
  bool Capturing() { return Command(host::ToolbarCommand::kAceptar).isEnabled(); }
  // A folio typed over what the folio box holds and confirmed with Enter.
  void Load(const QString& folio) {
    Click("txtFolio");
    Key(Qt::Key_A, Qt::ControlModifier);
    Enter({folio});
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

// A program as built, run to its end.
struct ProgramRun {
  int exit_code = -1;  // also when it crashed or never finished
  QStringList lines;   // standard output, a line each
  QString errors;
};
inline ProgramRun RunProgram(
    const QString& program, const QStringList& arguments, const QByteArray& input = {},
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    const QString& output_file = {}) {
  QProcess process;
  process.setProcessEnvironment(environment);
  if (!output_file.isEmpty()) process.setStandardOutputFile(output_file);
  process.start(program, arguments);
  process.write(input);
  process.closeWriteChannel();
  ProgramRun run;
  if (!process.waitForFinished(60000)) {
    run.errors = "did not finish";
    return run;
  }
  if (process.exitStatus() == QProcess::NormalExit) run.exit_code = process.exitCode();
  run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  run.errors = QString::fromUtf8(process.readAllStandardError());
  return run;
}

}  // namespace nv407::testing
