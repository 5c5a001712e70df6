#include "host/qt/label_keys.h"

#include <functional>
#include <map>
#include <set>

namespace nv407::host {
namespace {

bool Usable(QChar c) {
  return c.toUpper() >= QChar('A') && c.toUpper() <= QChar('Z');
}

// The caption's usable letters, upper case, in order of preference: word starts first.
QString Candidates(const QString& caption) {
  QString starts, others;
  for (int i = 0; i < caption.size(); ++i) {
    const QChar c = caption[i].toUpper();
    if (!Usable(c) || starts.contains(c) || others.contains(c)) continue;
    (i == 0 || !caption[i - 1].isLetter() ? starts : others) += c;
  }
  return starts + others;
}

}  // namespace

std::vector<QChar> ChooseLabelKeys(const std::vector<QString>& captions, const QString& taken) {
  std::vector<QString> candidates;
  for (const QString& caption : captions) candidates.push_back(Candidates(caption));
  // Which caption holds each letter. A caption takes its most preferred free letter; when
  // none is free, one that another caption can give up for a letter of its own (an
  // augmenting path), so that as many captions as letters allow get one.
  const QString unusable = taken.toUpper();
  std::map<QChar, std::size_t> holder;
  std::set<QChar> seen;
  std::function<bool(std::size_t)> give = [&](std::size_t i) {
    for (QChar c : candidates[i]) {
      if (unusable.contains(c) || holder.contains(c)) continue;
      holder[c] = i;
      return true;
    }
    for (QChar c : candidates[i]) {
      if (unusable.contains(c) || !seen.insert(c).second) continue;
      if (give(holder.at(c))) {
        holder[c] = i;
        return true;
      }
    }
    return false;
  };
  for (std::size_t i = 0; i < captions.size(); ++i) {
    seen.clear();
    give(i);
  }
  std::vector<QChar> keys(captions.size(), QChar());
  for (const auto& [letter, i] : holder) keys[i] = letter;
  return keys;
}

QString WithKey(const QString& caption, QChar key) {
  int at = -1;
  for (int i = 0; !key.isNull() && i < caption.size(); ++i) {
    if (caption[i].toUpper() != key) continue;
    if (at < 0) at = i;
    if (i == 0 || !caption[i - 1].isLetter()) {  // a word's first letter, as chosen
      at = i;
      break;
    }
  }
  if (at < 0) return caption;
  QString marked = caption;
  return marked.insert(at, '&');
}

}  // namespace nv407::host
