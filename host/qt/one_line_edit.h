#pragma once

#include <QLineEdit>
#include <QString>
#include <string>

namespace nv407::host {

// A one-line box of the window: a text box of the screen, a search's text, the extended
// description's concept. Whatever the user puts in it (typed, pasted, dropped, put back by
// undo) is kept as the script host's boxes keep it (KeptOfEdit): without control characters,
// then as much as fits the box's maximum in characters. A text the program puts in is shown
// whole: QLineEdit's own limit, which counts UTF-16 units and would cut it, is lifted.
class OneLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit OneLineEdit(const QString& text = {}, QWidget* parent = nullptr);

 signals:
  // Each text the box comes to hold, once. textChanged also reports, after the text kept,
  // the one the user's edit made before the rules replaced it.
  void TextHeld(const QString& text);

 protected:
  // The most characters the user may leave in the box; 0 for no limit.
  virtual int MaxCharacters() const { return 0; }
  // What the box makes of the text kept (upper case, say), in as many bytes.
  virtual std::string Shaped(std::string text) const { return text; }

 private:
  void KeepRules(const QString& edited);
  void Held(const QString& changed);

  QString held_;  // the text before the edit being made
};

}  // namespace nv407::host
