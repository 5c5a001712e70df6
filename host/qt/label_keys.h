#pragma once

#include <QString>
#include <vector>

namespace nv407::host {

// The Alt letters of the field labels: one letter of each caption, never one of `taken`
// (the toolbar's) nor another label's. Every caption gets one when the letters allow it;
// each prefers the first letter of a word, and earlier captions have the first choice.
// A caption left without a free letter gets none ('\0').
std::vector<QChar> ChooseLabelKeys(const std::vector<QString>& captions, const QString& taken);

// The caption with its letter marked for Qt ("F&echa:"); the caption as it is for none.
QString WithKey(const QString& caption, QChar key);

}  // namespace nv407::host
