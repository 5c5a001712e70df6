#include "host/services/replacement_chain.h"

#include <regex>

#include "data/schema.h"
#include "host/services/folio.h"

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

bool IsPolicyTable(const std::string& table) {
  const KnownTable* known = FindKnownTable(table);
  return known != nullptr && known->name == schema::kPolizaServicio;
}

}  // namespace

std::optional<std::string> CancelledFolio(std::string_view sql) {
  // Most statements are not updates: they are passed over before the expression runs.
  const auto first = sql.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos || Upper(sql.substr(first, 6)) != "UPDATE")
    return std::nullopt;
  static const std::regex cancellation(
      R"(^\s*UPDATE\s+Poliza_Servicio\s+SET\s[\s\S]*\bEs_Cve_Estado\s*=\s*'CA'[\s\S]*\sWHERE\s+Ps_Folio\s*=\s*'((?:[^']|'')*)'\s*$)",
      std::regex::icase);
  std::match_results<std::string_view::const_iterator> match;
  if (!std::regex_match(sql.begin(), sql.end(), match, cancellation)) return std::nullopt;
  return Unquoted(match.str(1));
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
