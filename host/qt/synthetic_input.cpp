#include "host/qt/synthetic_input.h"

#include <QTest>
#include <QTextBoundaryFinder>

namespace nv407::host {

void TypeKeys(QWidget& widget, const QString& text) {
  // One key press per character as the user sees it: a letter with its accents, an emoji
  // sequence or a flag is committed whole, as an input method commits it.
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
  for (qsizetype start = 0; start < text.size();) {
    qsizetype end = characters.toNextBoundary();
    if (end <= start) end = text.size();
    const QString typed = text.mid(start, end - start);
    start = end;
    if (typed == "\r") continue;  // a line break is one Enter
    if (typed == "\n" || typed == "\r\n") {
      QTest::keyClick(&widget, Qt::Key_Return);
      continue;
    }
    const QChar upper = typed[0].toUpper();
    const Qt::Key key = typed.size() == 1 && upper.unicode() < 0x80
                            ? static_cast<Qt::Key>(upper.unicode())
                            : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Press, &widget, key, typed, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, &widget, key, typed, Qt::NoModifier);
  }
}

}  // namespace nv407::host
