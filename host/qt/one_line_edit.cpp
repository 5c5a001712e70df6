#include "host/qt/one_line_edit.h"

#include <limits>
#include <utility>

#include "host/headless/text_rules.h"
#include "host/qt/look.h"

namespace nv407::host {

OneLineEdit::OneLineEdit(const QString& text, QWidget* parent) : QLineEdit(parent) {
  setMaxLength(std::numeric_limits<int>::max());
  // textChanged comes after textEdited: TextHeld tells of an edit's text once the rules ran.
  connect(this, &QLineEdit::textEdited, this, &OneLineEdit::KeepRules);
  connect(this, &QLineEdit::textChanged, this, &OneLineEdit::Held);
  setText(text);
}

void OneLineEdit::Held(const QString& changed) {
  // A text the rules have replaced since is no longer held.
  if (changed != text() || changed == held_) return;
  held_ = changed;
  emit TextHeld(held_);
}

void OneLineEdit::KeepRules(const QString& edited) {
  const std::string after = ToStdString(edited);
  KeptEdit kept = KeptOfEdit(ToStdString(held_), after,
                             ToStdString(edited.left(cursorPosition())).size(), MaxCharacters());
  kept.text = Shaped(std::move(kept.text));
  if (kept.text == after) return;
  setText(ToQString(kept.text));
  setCursorPosition(static_cast<int>(ToQString(kept.text.substr(0, kept.cursor)).size()));
}

}  // namespace nv407::host
