#include "host/services/used_counters_check.h"

#include <map>

#include "component/error.h"
#include "data/statements.h"
#include "host/db/dialect.h"
#include "host/services/host_records.h"
#include "host/services/replacement_chain.h"

namespace nv407::host {
namespace {

constexpr std::string_view kServicesList = "lvServicios";
constexpr int kUsedColumn = 4;

// Each service's used amount as text, by the key of its row in the list.
using UsedByKey = std::map<std::string, std::string>;

UsedByKey Shown(const ListItems& items) {
  UsedByKey used;
  for (const ListItem& item : items.All()) used[item.Key()] = item.SubItem(kUsedColumn);
  return used;
}

// The policy's header, locked until the reset ends. A service row being added holds a share
// of it (its foreign key): the services are read once that row's transaction has ended, and
// none is added until the reset's has.
void LockPolicy(Database& database, const std::string& folio) {
  const DialectTraits& traits = Traits(database.Dialect());
  const std::string sql = "SELECT Ps_Folio FROM Poliza_Servicio" +
                          std::string(traits.lock_rows_hint) + " WHERE Ps_Folio = ?" +
                          traits.lock_rows_of("Poliza_Servicio");
  if (database.HostQuery(sql, {folio})->Eof()) throw Error(RemovedPolicyMessage(folio));
}

// As the load lists them: a service without a key, or whose type is gone from the catalogue,
// is not listed.
UsedByKey Stored(Database& database, const std::string& folio) {
  const DialectTraits& traits = Traits(database.Dialect());
  const std::string sql =
      "SELECT Tipo_Servicio.Ts_Cve_Tipo_Servicio AS Ts_Cve_Tipo_Servicio, " +
      std::string(statements::kUsedAmount) +
      " AS Pst_Cantidad_Utilizada FROM Poliza_Servicio_Tipo_Servicio" +
      std::string(traits.lock_rows_hint) +
      " INNER JOIN Tipo_Servicio ON Poliza_Servicio_Tipo_Servicio.Ts_Cve_Tipo_Servicio = "
      "Tipo_Servicio.Ts_Cve_Tipo_Servicio WHERE Poliza_Servicio_Tipo_Servicio.Ps_Folio = ?" +
      traits.lock_rows_of("Poliza_Servicio_Tipo_Servicio");
  UsedByKey used;
  for (auto result = database.HostQuery(sql, {folio}); !result->Eof(); result->MoveNext()) {
    const std::string code = result->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
    if (code.empty()) continue;
    used["K" + code] = result->Fields("Pst_Cantidad_Utilizada").Value().ToText();
  }
  return used;
}

}  // namespace

void UsedCountersCheck::BeforeStatement(const std::string& sql) {
  if (!lists_) return;
  const std::optional<std::string> folio = ResetCountersFolio(sql);
  if (!folio) return;
  const ListItems* shown = lists_(kServicesList);
  if (shown == nullptr) return;
  LockPolicy(database_, *folio);
  if (Stored(database_, *folio) != Shown(*shown)) {
    throw Error("Los servicios utilizados de la póliza " + *folio +
                " cambiaron desde que se cargó; cárguela de nuevo");
  }
}

}  // namespace nv407::host
