// The IsNull rewriting for SQLite, on any text.
#include "fuzz/fuzz_support.h"
#include "host/db/sqlite_dialect.h"

namespace nv407::fuzz {
namespace {

using host::sqlite::TranslateToSqlite;

bool IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || u >= 0x80;
}

bool IsNullWord(std::string_view text) {
  static constexpr std::string_view kWord = "isnull";
  if (text.size() != kWord.size()) return false;
  for (std::size_t i = 0; i < kWord.size(); ++i)
    if ((text[i] | 0x20) != kWord[i]) return false;
  return true;
}

// Where the two differ, the original holds the whole word IsNull (any case) before blanks
// and a parenthesis, and the rewrite holds IfNull; everything else is byte for byte the same.
void CheckOnlyCallsChange(std::string_view sql, std::string_view out) {
  Check(out.size() == sql.size(), "the rewrite keeps the length", Shown(sql));
  for (std::size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] == out[i]) continue;
    // 'I' may already be 'I': a call's first differing byte is its first or second one.
    const std::size_t at = i > 0 && out.substr(i - 1, 6) == "IfNull" ? i - 1 : i;
    Check(out.substr(at, 6) == "IfNull" && IsNullWord(sql.substr(at, 6)),
          "only IsNull becomes IfNull", Shown(sql) + "\n" + Shown(out));
    Check(at == 0 || !IsNameChar(sql[at - 1]), "only the whole word IsNull is rewritten",
          Shown(sql));
    const std::size_t paren = sql.find_first_not_of(" \t\n\v\f\r", at + 6);
    Check(paren != std::string_view::npos && sql[paren] == '(',
          "only a call of IsNull is rewritten", Shown(sql));
    i = at + 5;
  }
}

// The text between `open` and `close`, each `close` in it doubled (a quote in a literal).
std::string Quoted(std::string_view open, std::string_view text, char close) {
  std::string out(open);
  for (const char c : text) {
    out += c;
    if (c == close) out += c;
  }
  return out += close;
}

// The text between `open` and `close`, every `close` taken out of it (a comment).
std::string Enclosed(std::string_view open, std::string_view text, std::string_view close) {
  std::string inside(text);
  for (std::size_t at; (at = inside.find(close)) != std::string::npos;)
    inside.erase(at, close.size());
  std::string out(open);
  out += inside;
  return out += close;
}

// Whatever a literal, a quoted name or a comment holds stays as it is, and what follows one
// is rewritten as it would be alone.
void CheckQuotedRunsStay(std::string_view sql) {
  const std::string runs[] = {
      Quoted("'", sql, '\''),  Quoted("\"", sql, '"'),    Quoted("`", sql, '`'),
      Enclosed("[", sql, "]"), Enclosed("/*", sql, "*/"), Enclosed("--", sql, "\n"),
  };
  const std::string rest = TranslateToSqlite(sql);
  for (const std::string& run : runs) {
    Check(TranslateToSqlite(run) == run, "quoted text and comments stay as they are", Shown(run));
    std::string followed = run;
    followed += ' ';
    Check(TranslateToSqlite(followed + std::string(sql)) == followed + rest,
          "what follows a quoted run is rewritten as it would be alone", Shown(run));
  }
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407::fuzz;
  const std::string_view sql = Text(data, size);
  const std::string out = TranslateToSqlite(sql);
  CheckOnlyCallsChange(sql, out);
  Check(TranslateToSqlite(out) == out, "the rewrite is idempotent", Shown(sql));
  CheckQuotedRunsStay(sql);
  return 0;
}
