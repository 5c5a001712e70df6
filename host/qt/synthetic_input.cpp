#include "host/qt/synthetic_input.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextBoundaryFinder>

namespace nv407::host {

void TypeKeys(QWidget& widget, const QString& text) {
  // One key press per character as the user sees it: a letter with its accents, an emoji
  // sequence or a flag is committed whole, as an input method commits it.
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
  const bool several_lines = qobject_cast<QPlainTextEdit*>(&widget) != nullptr;
  for (qsizetype start = 0; start < text.size();) {
    qsizetype end = characters.toNextBoundary();
    if (end <= start) end = text.size();
    const QString typed = text.mid(start, end - start);
    start = end;
    // A line break is one Enter (CR LF is one character as the user sees it), in a text of
    // several lines a break of any kind; a one-line box takes a lone CR as nothing, as its
    // rule drops it.
    static const QStringList kOtherLineBreaks = {"\r", QString(QChar(0x85)),
                                                 QString(QChar::LineSeparator),
                                                 QString(QChar::ParagraphSeparator)};
    const bool other_break = kOtherLineBreaks.contains(typed);
    if (typed == "\n" || typed == "\r\n" || (other_break && several_lines)) {
      QTest::keyClick(&widget, Qt::Key_Return);
      continue;
    }
    if (typed == "\r") continue;
    const QChar upper = typed[0].toUpper();
    const Qt::Key key = typed.size() == 1 && upper.unicode() < 0x80
                            ? static_cast<Qt::Key>(upper.unicode())
                            : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Press, &widget, key, typed, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, &widget, key, typed, Qt::NoModifier);
  }
}

}  // namespace nv407::host
