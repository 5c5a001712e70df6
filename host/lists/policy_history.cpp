#include "host/lists/policy_history.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>

#include "data/schema.h"
#include "host/db/chain_notes.h"

namespace nv407::host {
namespace {

// The folios a policy's chain notes point to, that way, the latest first.
std::vector<std::string> Pointed(Database& database, const std::string& folio,
                                 ChainNote::Points points) {
  std::vector<std::string> found;
  std::unique_ptr<Recordset> notes = database.HostQuery(
      "SELECT note AS v FROM record_log WHERE table_name = ? AND record_key = ? ORDER BY id DESC",
      {std::string(schema::kPolizaServicio), folio});
  for (; !notes->Eof(); notes->MoveNext()) {
    const Variant note = notes->Fields("v").Value();
    if (note.IsNull()) continue;
    const std::optional<ChainNote> link = ReadChainNote(note.ToText());
    if (link && link->points == points) found.push_back(link->folio);
  }
  notes->Close();
  return found;
}

bool Holds(Database& database, const std::string& sql, std::vector<StatementValue> values) {
  std::unique_ptr<Recordset> row = database.HostQuery(sql, std::move(values));
  const bool holds = !row->Eof();
  row->Close();
  return holds;
}

// Whether an edit replaced `before` by `after`. A note alone proves nothing (any program that
// writes the record log can write one): the old policy is cancelled and each names the other.
bool Replaced(Database& database, const std::string& before, const std::string& after) {
  const auto carries = [&](const std::string& folio, const std::string& note) {
    return Holds(database,
                 "SELECT 1 AS v FROM record_log WHERE table_name = ? AND record_key = ? AND "
                 "note = ?",
                 {std::string(schema::kPolizaServicio), folio, note});
  };
  return Holds(database,
               "SELECT 1 AS v FROM Poliza_Servicio WHERE Ps_Folio = ? AND Es_Cve_Estado = 'CA'",
               {before}) &&
         carries(before, ReplacedByNote(after)) && carries(after, ReplacesNote(before));
}

// The policy a policy's chain ties it to, that way: the latest note that its counterpart
// confirms counts.
std::optional<std::string> Neighbour(Database& database, const std::string& folio,
                                     ChainNote::Points points) {
  for (const std::string& other : Pointed(database, folio, points)) {
    if (points == ChainNote::Points::kToSuccessor ? Replaced(database, folio, other)
                                                  : Replaced(database, other, folio))
      return other;
  }
  return std::nullopt;
}

bool Exists(Database& database, const std::string& folio) {
  return Holds(database, "SELECT 1 AS v FROM Poliza_Servicio WHERE Ps_Folio = ?", {folio});
}

}  // namespace

std::vector<ChainLink> ReplacementChainOf(Database& database, const std::string& folio) {
  if (!Exists(database, folio)) return {};
  std::set<std::string> seen = {folio};
  std::vector<std::string> folios = {folio};
  for (auto before = Neighbour(database, folio, ChainNote::Points::kToPredecessor);
       before && seen.insert(*before).second;
       before = Neighbour(database, *before, ChainNote::Points::kToPredecessor))
    folios.insert(folios.begin(), *before);
  for (auto after = Neighbour(database, folio, ChainNote::Points::kToSuccessor);
       after && seen.insert(*after).second;
       after = Neighbour(database, *after, ChainNote::Points::kToSuccessor))
    folios.push_back(*after);

  std::vector<ChainLink> chain;
  for (std::size_t i = 0; i < folios.size(); ++i) {
    chain.push_back({folios[i], i > 0 ? folios[i - 1] : std::string(),
                     i + 1 < folios.size() ? folios[i + 1] : std::string()});
  }
  return chain;
}

}  // namespace nv407::host
