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

// Whether sql[from, to) sets the column to the value: the column's name, not part of a longer
// name, then = and the value, not followed by more of a name or number, in any letter case and
// spacing.
bool Sets(std::string_view sql, std::size_t from, std::size_t to, std::string_view column,
          std::string_view value) {
  for (std::size_t i = from; i + column.size() <= to; ++i) {
    if (i > 0 && IsWordChar(sql[i - 1])) continue;
    Reader state(sql.substr(0, to));
    state.at = i;
    if (!state.Word(column)) continue;
    state.Blanks();
    if (state.at >= to || sql[state.at] != '=') continue;
    ++state.at;
    state.Blanks();
    if (state.Word(value) &&
        (state.at >= to || !(IsWordChar(sql[state.at]) || sql[state.at] == '.')))
      return true;
  }
  return false;
}

// An UPDATE of one table's rows of one folio: UPDATE <table> SET ... WHERE Ps_Folio =
// '<folio>'. Where its assignments lie, and where its folio's literal does (its quotes
// excluded, its apostrophes still doubled).
struct FolioUpdate {
  std::size_t set_from, set_to;
  std::size_t folio_from, folio_to;
  std::string Folio(std::string_view sql) const {
    return Unquoted(std::string(sql.substr(folio_from, folio_to - folio_from)));
  }
};

bool IsPolicyTable(const std::string& table) {
  const KnownTable* known = FindKnownTable(table);
  return known != nullptr && known->name == schema::kPolizaServicio;
}

// Read by hand rather than by a regular expression: this runs on every statement of every
// transaction, and the expression cost more than the statement itself.
std::optional<FolioUpdate> UpdateOfOneFolio(std::string_view sql, std::string_view table) {
  Reader ahead(sql);
  ahead.Blanks();
  if (!ahead.Word("UPDATE") || !ahead.Blanks() || !ahead.Word(table) || !ahead.Blanks() ||
      !ahead.Word("SET") || !ahead.Blank())
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
  return FolioUpdate{ahead.at, back.end, open + 1, end};
}

}  // namespace

std::optional<std::string> CancelledFolio(std::string_view sql) {
  const std::optional<FolioUpdate> update = UpdateOfOneFolio(sql, schema::kPolizaServicio);
  if (!update || !Sets(sql, update->set_from, update->set_to, "Es_Cve_Estado", "'CA'"))
    return std::nullopt;
  return update->Folio(sql);
}

std::optional<std::string> ResetCountersFolio(std::string_view sql) {
  const std::optional<FolioUpdate> update = UpdateOfOneFolio(sql, "Poliza_Servicio_Tipo_Servicio");
  if (!update) return std::nullopt;
  for (std::string_view counter : {"Pst_Tiempo_Utilizado", "Pst_Evento_Utilizado"})
    if (Sets(sql, update->set_from, update->set_to, counter, "0")) return update->Folio(sql);
  return std::nullopt;
}

ReplacementChain::ReplacementChain(Database& database, const SessionSettings& settings)
    : database_(database), records_(database), settings_(settings) {}

void ReplacementChain::TransactionBegun() {
  open_ = true;
  cancelled_.reset();
  issued_.reset();
  reset_.reset();
}

void ReplacementChain::StatementRan(const std::string& sql) {
  if (!open_) return;
  if (auto folio = CancelledFolio(sql)) cancelled_ = std::move(folio);
  if (auto folio = ResetCountersFolio(sql)) reset_ = std::move(folio);
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
  reset_.reset();
}

std::string ReplacementChain::Policy() const {
  for (const auto* folio : {&issued_, &cancelled_, &reset_})
    if (*folio) return **folio;
  return {};
}

}  // namespace nv407::host
