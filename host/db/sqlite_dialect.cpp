#include "host/db/sqlite_dialect.h"

#include "host/db/text.h"

namespace nv407::host::sqlite {
namespace {

bool IsNameChar(char c) {
  return IsAsciiAlnum(c) || c == '_' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// The end (one past) of the quoted run that starts at `start` with `open`, where `close`
// ends it and a doubled `close` stands for itself; the text's end if it never closes.
std::size_t SkipQuoted(std::string_view sql, std::size_t start, char close) {
  std::size_t i = start + 1;
  while (i < sql.size()) {
    if (sql[i] == close) {
      if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return sql.size();
}

// Whether a call of IsNull starts at i (a whole word, then blanks, then a parenthesis).
bool IsNullCallAt(std::string_view sql, std::size_t i) {
  static constexpr std::string_view kWord = "isnull";
  if (i + kWord.size() > sql.size()) return false;
  if (i > 0 && IsNameChar(sql[i - 1])) return false;
  for (std::size_t k = 0; k < kWord.size(); ++k) {
    if (AsciiLower(sql[i + k]) != kWord[k]) return false;
  }
  std::size_t j = i + kWord.size();
  while (j < sql.size() && IsAsciiSpace(sql[j])) ++j;
  return j < sql.size() && sql[j] == '(';
}

}  // namespace

std::string TranslateToSqlite(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    std::size_t end = i;
    switch (c) {
      case '\'':
      case '"':
      case '`':
        end = SkipQuoted(sql, i, c);
        break;
      case '[':
        end = SkipQuoted(sql, i, ']');
        break;
      case '-':
        if (sql.substr(i, 2) == "--") {
          end = sql.find('\n', i);
          end = end == std::string_view::npos ? sql.size() : end;
        }
        break;
      case '/':
        if (sql.substr(i, 2) == "/*") {
          end = sql.find("*/", i + 2);
          end = end == std::string_view::npos ? sql.size() : end + 2;
        }
        break;
      default:
        if (IsNullCallAt(sql, i)) {
          out += "IfNull";
          i += 6;
          continue;
        }
    }
    if (end > i) {
      out.append(sql.substr(i, end - i));
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace nv407::host::sqlite
