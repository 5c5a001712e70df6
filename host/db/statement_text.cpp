#include "host/db/statement_text.h"

#include "component/error.h"

namespace nv407::host {

std::string QuotedText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string WithValuesInPlace(std::string_view sql, const std::vector<StatementValue>& values) {
  std::string out;
  out.reserve(sql.size() + 16 * values.size());
  std::size_t next = 0;
  char quote = 0;  // the quote of the literal or name being read
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled quote closes and opens again: the same text
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '?') {
      if (next == values.size()) throw Error("more places than values in: " + std::string(sql));
      const StatementValue& value = values[next++];
      if (const auto* text = std::get_if<std::string>(&value))
        out += QuotedText(*text);
      else
        out += std::to_string(std::get<std::int64_t>(value));
      continue;
    }
    out += c;
  }
  if (next != values.size()) throw Error("more values than places in: " + std::string(sql));
  return out;
}

}  // namespace nv407::host
