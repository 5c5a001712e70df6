#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "component/date.h"
#include "host/db/database.h"
#include "host/lists/catalogue_search.h"

namespace nv407::host {

// The folio field's look-up id: F2 on the field whose `idconsulta` it is opens the finder.
inline constexpr std::string_view kPolicyQueryId = "POLIZA_SERVICIO";

// What the finder and the reports call a policy's state: cancelled ("CA"); else expired
// once its end date has passed; else in force.
inline constexpr std::string_view kStateInForce = "Vigente";
inline constexpr std::string_view kStateExpired = "Vencida";
inline constexpr std::string_view kStateCancelled = "Cancelada";

// The quick filters of the finder, and the reports' selections.
enum class PolicyFilter {
  kAll,
  kInForce,       // neither cancelled nor expired
  kCancelled,     // "CA"
  kExpiring,      // in force, ending within `days` from today
  kExpired,       // not cancelled, its end date passed
  kNearlyUsedUp,  // not cancelled, some service used to `percent` or beyond
};
struct PolicySelection {
  PolicyFilter filter = PolicyFilter::kAll;
  int days = 30;
  int percent = 80;
  std::optional<std::string> client = {};  // only this client's policies
};

// The columns of the policy list after the folio (its key), as ListOrder numbers them.
enum PolicyColumn : int {
  kPolicyClient = 1,
  kPolicyClientName,
  kPolicyBranch,
  kPolicyType,
  kPolicyStart,
  kPolicyEnd,
  kPolicyState,
  kPolicyUsage,  // the most used service's share of its quantity (1 = all of it), "" for none
};

// The list of policies, as of `today`: the folio, the columns above, the selection's
// conditions. The text finds a policy by its folio as typed ("mty" starts MTY-..., "mty-12"
// is MTY-000012 as the folio field takes it) or by its client's key or name. Every column
// sorts; the folio, the client's key and the end date through an index.
ListSource PolicyList(SqlDialect dialect, const Date& today, const PolicySelection& selection);

// How much of an included quantity a use is, for one service row `s` of
// Poliza_Servicio_Tipo_Servicio joined to its Tipo_Servicio `t`: the hours used for a
// service counted in hours, else the events used, over the quantity included.
std::string UsedQuantitySql();
// Whether that row is used to `percent` or beyond; only a row with a quantity counts.
std::string UsedToPercentSql(int percent);

}  // namespace nv407::host
