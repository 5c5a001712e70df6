#include "host/headless/text_rules.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "component/error.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Words of a select list at bracket depth 0, quotes kept whole.
std::vector<std::string> TopLevelWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  int depth = 0;
  char quote = 0;
  for (char c : text) {
    if (quote != 0) {
      word += c;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') quote = c;
    if (c == '[') quote = ']';
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0 && IsAsciiSpace(c)) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else if (depth == 0 && c == ',') {
      if (!word.empty()) words.push_back(std::move(word));
      words.emplace_back(",");
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string Unquoted(std::string name) {
  if (name.size() >= 2 && ((name.front() == '[' && name.back() == ']') ||
                           (name.front() == '"' && name.back() == '"'))) {
    return name.substr(1, name.size() - 2);
  }
  return name;
}

// "table.column" -> "column", dots inside quotes or brackets left alone.
std::string LastNamePart(const std::string& name) {
  std::size_t start = 0;
  char quote = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"') {
      quote = '"';
    } else if (c == '[') {
      quote = ']';
    } else if (c == '.') {
      start = i + 1;
    }
  }
  return name.substr(start);
}

std::string DoubledApostrophes(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

}  // namespace

std::string OneLineOf(std::string_view text) {
  std::string kept = ControlsMarked(text, "");
  for (const std::string_view separator : {"\u2028", "\u2029"})
    for (std::size_t at; (at = kept.find(separator)) != std::string::npos;)
      kept.erase(at, separator.size());
  return kept;
}

std::string WithoutNul(std::string_view text) {
  std::string kept(text);
  if (text.find('\0') == std::string_view::npos) return kept;
  std::erase(kept, '\0');
  return kept;
}

KeptEdit KeptOfEdit(std::string_view before, std::string_view after, std::size_t cursor, int max) {
  cursor = std::min(cursor, after.size());
  // What follows the cursor is what followed the edit; what both texts begin with, up to
  // the cursor, preceded it.
  const std::size_t tail = after.size() - cursor;
  const std::size_t most = std::min(cursor, before.size() >= tail ? before.size() - tail : 0);
  std::size_t head = 0;
  while (head < most && before[head] == after[head]) ++head;
  while (head > 0 && head < after.size() && IsContinuationByte(after[head])) --head;
  const std::string_view kept_before = after.substr(0, head), kept_after = after.substr(cursor);
  // Dropped before the cut: a line break that is not kept takes no room.
  std::string inserted = OneLineOf(after.substr(head, cursor - head));
  if (max > 0) {
    const int room = max - CharacterCount(kept_before) - CharacterCount(kept_after);
    inserted = FirstCharacters(inserted, std::max(room, 0));
  }
  return {std::string(kept_before) + inserted + std::string(kept_after), head + inserted.size()};
}

std::string KeptOfTyped(std::string_view text, int max) {
  return KeptOfEdit({}, text, text.size(), max).text;
}

std::pair<std::string, std::size_t> KeyPlaces(std::string_view sql) {
  std::string bound;
  std::size_t places = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    if (sql.substr(i, 3) == "'?'") {
      bound += '?';
      ++places;
      i += 2;
    } else if (sql[i] == '?') {
      return {};
    } else {
      bound += sql[i];
    }
  }
  if (places == 0) return {};
  return {bound, places};
}

std::string LookupStatement(std::string_view sql, std::string_view key) {
  const std::string quoted_key = DoubledApostrophes(key);
  std::string out;
  out.reserve(sql.size() + quoted_key.size());
  for (std::size_t from = 0; from <= sql.size();) {
    const std::size_t mark = std::min(sql.find('?', from), sql.size());
    out.append(sql.substr(from, mark - from));
    if (mark == sql.size()) break;
    out += quoted_key;
    from = mark + 1;
  }
  return out;
}

std::string FirstColumnName(std::string_view select) {
  const std::vector<std::string> words = TopLevelWords(select);
  std::size_t i = 0;
  if (i < words.size() && SameWord(words[i], "select")) ++i;
  if (i < words.size() && (SameWord(words[i], "distinct") || SameWord(words[i], "all"))) ++i;
  if (i + 1 < words.size() && SameWord(words[i], "top")) i += 2;
  std::vector<std::string> item;
  for (; i < words.size() && words[i] != "," && !SameWord(words[i], "from"); ++i)
    item.push_back(words[i]);
  if (item.size() >= 3 && SameWord(item[item.size() - 2], "as")) return Unquoted(item.back());
  if (item.size() == 1) {
    std::string column = LastNamePart(item.front());
    if (column != "*") return Unquoted(column);
  }
  throw Error("The look-up statement does not name its first column: " + std::string(select));
}

}  // namespace nv407::host
