#include "host/qt/synthetic_input.h"

#include <QTest>

namespace nv407::host {

void TypeKeys(QWidget& widget, const QString& text) {
  for (const QChar c : text) {
    if (c == '\r') continue;  // a line break is one Enter
    if (c == '\n') {
      QTest::keyClick(&widget, Qt::Key_Return);
      continue;
    }
    const QChar upper = c.toUpper();
    const Qt::Key key =
        upper.unicode() < 0x80 ? static_cast<Qt::Key>(upper.unicode()) : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Press, &widget, key, QString(c), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, &widget, key, QString(c), Qt::NoModifier);
  }
}

}  // namespace nv407::host
