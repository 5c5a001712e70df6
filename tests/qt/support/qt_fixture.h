#pragma once

#include <QApplication>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/headless/scripted_dialogs.h"
#include "host/qt/qt_host.h"
#include "support/test_database.h"

namespace nv407::testing {

// The screen in its desktop window over a test database, the component loaded from its
// shared library as the program loads it. The dialogs record what they were shown and
// answer from a queue (a question nobody answered gets its default button, No).
class ScreenWindow {
 public:
  explicit ScreenWindow(TestDatabase& db, const std::string& parameters = "",
                        const std::string& user = kOperatorWithPermissions);
  ~ScreenWindow();

  host::QtHost& host() { return *host_; }
  host::ScriptedDialogs& dialogs() { return dialogs_; }
  QWidget& Widget(const std::string& name, int index = -1) { return host_->Widget(name, index); }

  // The keyboard, into whichever widget has the focus.
  void Type(const QString& text);
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // The control that has the focus, by its name, when Qt and the screen agree on it;
  // "Qt: X, screen: Y" when they do not.
  std::string Focus() const;

  // What a text box, combo box or date field shows.
  QString Shown(const std::string& name);
  std::vector<host::MessageCall> Messages() const { return dialogs_.Messages(); }

 private:
  host::ScriptedDialogs dialogs_;
  std::unique_ptr<host::QtHost> host_;
};

// Runs `act` on the next modal dialog of type T once it is on the screen (a modal
// dialog blocks the test's own call until it closes).
template <typename T>
void WhenShown(std::function<void(T&)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(*dialog);
  });
  timer->start();
}

}  // namespace nv407::testing
