#include "host/qt/alt_letters.h"

#include <QAbstractSpinBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace nv407::host {
namespace {

bool TypesText(const QObject* widget) {
  return qobject_cast<const QLineEdit*>(widget) != nullptr ||
         qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
         qobject_cast<const QTextEdit*>(widget) != nullptr ||
         qobject_cast<const QAbstractSpinBox*>(widget) != nullptr;
}

// Sees a key press once the window's shortcuts have let it through: Alt+A reaches a text
// box only when nothing on the window answers to it.
class AltLetterStop final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !TypesText(watched))
      return QObject::eventFilter(watched, event);
    const auto* key = static_cast<const QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers();
    const bool alt_alone =
        modifiers.testFlag(Qt::AltModifier) && !modifiers.testFlag(Qt::ControlModifier);
    return alt_alone && !key->text().isEmpty() && key->text().front().isPrint();
  }
};

}  // namespace

void TypeNoAltLetters(QCoreApplication& application) {
  application.installEventFilter(new AltLetterStop(&application));
}

}  // namespace nv407::host
