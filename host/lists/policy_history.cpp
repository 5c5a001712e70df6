#include "host/lists/policy_history.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>

#include "data/schema.h"
#include "host/db/chain_notes.h"

namespace nv407::host {
namespace {

// The folio a policy's chain note points to, that way; the latest such note counts.
std::optional<std::string> Neighbour(Database& database, const std::string& folio,
                                     ChainNote::Points points) {
  std::optional<std::string> found;
  std::unique_ptr<Recordset> notes = database.HostQuery(
      "SELECT note AS v FROM record_log WHERE table_name = ? AND record_key = ? ORDER BY id",
      {std::string(schema::kPolizaServicio), folio});
  for (; !notes->Eof(); notes->MoveNext()) {
    const Variant note = notes->Fields("v").Value();
    if (note.IsNull()) continue;
    const std::optional<ChainNote> link = ReadChainNote(note.ToText());
    if (link && link->points == points) found = link->folio;
  }
  notes->Close();
  return found;
}

bool Exists(Database& database, const std::string& folio) {
  std::unique_ptr<Recordset> row =
      database.HostQuery("SELECT 1 AS v FROM Poliza_Servicio WHERE Ps_Folio = ?", {folio});
  const bool exists = !row->Eof();
  row->Close();
  return exists;
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
