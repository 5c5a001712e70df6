#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class QWidget;

namespace nv407::host {

// Runs `act` on the next modal dialog of type T once it is on the screen: a modal dialog
// holds up the call that opened it until it closes, so what answers it is set up first.
// The timer that watches for it is returned, to be stopped when no dialog came.
template <typename T>
QPointer<QTimer> WhenShown(std::function<void(T&)> act) {
  auto* timer =
      new QTimer(QCoreApplication::instance());  // gone with the application at the latest
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(*dialog);
  });
  timer->start();
  return timer;
}

// Stops watching for a dialog when the scope ends, whether or not the dialog came.
class StopWatching {
 public:
  explicit StopWatching(QPointer<QTimer> timer) : timer_(std::move(timer)) {}
  ~StopWatching() {
    if (!timer_) return;
    timer_->stop();
    timer_->deleteLater();
  }
  StopWatching(const StopWatching&) = delete;
  StopWatching& operator=(const StopWatching&) = delete;

 private:
  QPointer<QTimer> timer_;
};

// Types `text` into the widget key by key, as the keyboard would: letters outside Latin-1
// and line breaks included.
void TypeKeys(QWidget& widget, const QString& text);

}  // namespace nv407::host
