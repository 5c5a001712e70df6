#include "host/qt/synthetic_input.h"

#include <QTest>

namespace nv407::host {

void TypeKeys(QWidget& widget, const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == '\r') continue;  // a line break is one Enter
    if (c == '\n') {
      QTest::keyClick(&widget, Qt::Key_Return);
      continue;
    }
    // A character beyond the first 65,536 is one key press of two UTF-16 units.
    const qsizetype units = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString typed = text.mid(i, units);
    i += units - 1;
    const QChar upper = c.toUpper();
    const Qt::Key key =
        upper.unicode() < 0x80 ? static_cast<Qt::Key>(upper.unicode()) : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Press, &widget, key, typed, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, &widget, key, typed, Qt::NoModifier);
  }
}

}  // namespace nv407::host
