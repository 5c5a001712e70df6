#include "host/services/replacement_chain.h"

#include "data/schema.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

std::string Unquoted(const std::string& literal) {
  std::string text;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    text += literal[i];
    if (literal[i] == '\'') ++i;  // a doubled apostrophe stands for one
  }
  return text;
}

bool IsWordChar(char c) {
  return IsAsciiAlnum(c) || c == '_';
}
bool SameLetters(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (AsciiLower(text[i]) != AsciiLower(word[i])) return false;
  return true;
}

// Reads a statement forward from `at`, or backward from `end` (one past what is left).
struct Reader {
  explicit Reader(std::string_view text) : sql(text), end(text.size()) {}
  std::string_view sql;
  std::size_t at = 0;
  std::size_t end;

  bool Blank() {
    if (at >= sql.size() || !IsAsciiSpace(sql[at])) return false;
    ++at;
    return true;
  }
  bool Blanks() {
    const std::size_t from = at;
    while (at < sql.size() && IsAsciiSpace(sql[at])) ++at;
    return at > from;
  }
  bool Word(std::string_view word) {
    if (!SameLetters(sql.substr(at, word.size()), word)) return false;
    at += word.size();
    return true;
  }
  bool BlankBack() {
    if (end == 0 || !IsAsciiSpace(sql[end - 1])) return false;
    --end;
    return true;
  }
  bool BlanksBack() {
    const std::size_t from = end;
    while (end > 0 && IsAsciiSpace(sql[end - 1])) --end;
    return end < from;
  }
  bool CharBack(char c) {
    if (end == 0 || sql[end - 1] != c) return false;
    --end;
    return true;
  }
  bool WordBack(std::string_view word) {
    if (end < word.size() || !SameLetters(sql.substr(end - word.size(), word.size()), word))
      return false;
    end -= word.size();
    return true;
  }
};

// Whether sql[from, to) sets the state to cancelled: Es_Cve_Estado, not part of a longer
// name, then = 'CA', in any letter case and spacing.
bool SetsCancelled(std::string_view sql, std::size_t from, std::size_t to) {
  constexpr std::string_view kState = "Es_Cve_Estado";
  for (std::size_t i = from; i + kState.size() <= to; ++i) {
    if (i > 0 && IsWordChar(sql[i - 1])) continue;
    Reader state(sql.substr(0, to));
    state.at = i;
    if (!state.Word(kState)) continue;
    state.Blanks();
    if (state.at >= to || sql[state.at] != '=') continue;
    ++state.at;
    state.Blanks();
    if (state.Word("'CA'")) return true;
  }
  return false;
}

bool IsPolicyTable(const std::string& table) {
  const KnownTable* known = FindKnownTable(table);
  return known != nullptr && known->name == schema::kPolizaServicio;
}

}  // namespace

std::optional<std::string> CancelledFolio(std::string_view sql) {
  // Read by hand rather than by a regular expression: this runs on every statement of every
  // transaction, and the expression cost more than the statement itself.
  Reader ahead(sql);
  ahead.Blanks();
  if (!ahead.Word("UPDATE") || !ahead.Blanks() || !ahead.Word(schema::kPolizaServicio) ||
      !ahead.Blanks() || !ahead.Word("SET") || !ahead.Blank())
    return std::nullopt;

  // From the end: WHERE Ps_Folio = '<folio>', the folio's doubled apostrophes included.
  std::size_t end = sql.find_last_not_of(" \t\r\n\f\v");
  if (end == std::string_view::npos || end <= ahead.at || sql[end] != '\'') return std::nullopt;
  std::size_t open = end;
  while (true) {
    if (open == 0) return std::nullopt;
    --open;
    if (sql[open] != '\'') continue;
    if (open > 0 && sql[open - 1] == '\'') {
      --open;
      continue;
    }
    break;
  }
  Reader back(sql.substr(0, open));
  back.BlanksBack();
  if (!back.CharBack('=')) return std::nullopt;
  back.BlanksBack();
  if (!back.WordBack("Ps_Folio") || !back.BlanksBack() || !back.WordBack("WHERE") ||
      !back.BlankBack() || back.end < ahead.at)
    return std::nullopt;

  // Between SET and WHERE: Es_Cve_Estado = 'CA', the name a whole word.
  if (!SetsCancelled(sql, ahead.at, back.end)) return std::nullopt;
  return Unquoted(std::string(sql.substr(open + 1, end - open - 1)));
}

ReplacementChain::ReplacementChain(Database& database, const SessionSettings& settings)
    : database_(database), records_(database), settings_(settings) {}

void ReplacementChain::TransactionBegun() {
  open_ = true;
  cancelled_.reset();
  issued_.reset();
}

void ReplacementChain::StatementRan(const std::string& sql) {
  if (!open_) return;
  if (auto folio = CancelledFolio(sql)) cancelled_ = std::move(folio);
}

void ReplacementChain::FolioIssued(const std::string& table, const std::string& folio) {
  if (open_ && IsPolicyTable(table)) issued_ = folio;
}

void ReplacementChain::BeforeCommit() {
  if (!open_ || !cancelled_ || !issued_ || *cancelled_ == *issued_) return;
  const Date now = ServerNow(settings_, database_);
  const std::pair<const std::string&, std::string> notes[] = {
      {*cancelled_, ReplacedByNote(*issued_)}, {*issued_, ReplacesNote(*cancelled_)}};
  for (const auto& [folio, note] : notes) {
    records_.AppendNote(schema::kPolizaServicio, folio, note, settings_.user_code, now);
    if (settings_.activity) settings_.activity->NoteLogged(schema::kPolizaServicio, folio, note);
  }
}

void ReplacementChain::TransactionEnded() {
  open_ = false;
  cancelled_.reset();
  issued_.reset();
}

}  // namespace nv407::host
