#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "component/date.h"
#include "host/db/database.h"
#include "host/db/policy_order.h"
#include "host/lists/catalogue_search.h"

namespace nv407::host {

// The folio field's look-up id: F2 on the field whose `idconsulta` it is opens the finder.
inline constexpr std::string_view kPolicyQueryId = "POLIZA_SERVICIO";

// What the finder and the reports call a policy's state: cancelled ("CA"); else expired
// once its end date has passed; else in force.
inline constexpr std::string_view kInForceWord = "Vigente";
inline constexpr std::string_view kExpiredWord = "Vencida";
inline constexpr std::string_view kCancelledWord = "Cancelada";

// A service used to this share of its quantity is nearly used up; a policy ending within
// this many days is about to expire. The finder's and the reports' defaults, and where the
// status bar starts to warn.
inline constexpr int kNearlyUsedUpPercent = 80;
inline constexpr int kExpiringDays = 30;
// The days the finder's box and scripts take: none is today alone.
inline constexpr int kFewestExpiringDays = 0;
inline constexpr int kMostExpiringDays = 9999;

// Quantities are written with a few decimals but held in binary floating point, where
// 9.2 × 100 falls short of 80 × 11.5: a use reaches a share when it falls short of it by no
// more than this part (10^-digits) of it, far below any step of a quantity as written.
inline constexpr int kShareSlackDigits = 12;
// The most percent a share is asked to reach: the scaled comparisons of huge quantities
// (ReachesPercent) keep their products finite up to it.
inline constexpr int kMostPercent = 10000;
// Quantities up to this are compared as written; beyond it, scaled first, so that no product
// passes the largest number a double holds (infinite in SQLite, an error on the server).
inline constexpr double kLargeQuantity = 1e300;
// Far enough below it that a share of at least 1 % of a larger quantity is above it.
inline constexpr double kBelowLargeQuantity = 1e290;

// The quick filters of the finder, and the reports' selections.
enum class PolicyFilter {
  kAll,
  kInForce,       // neither cancelled nor expired
  kCancelled,     // "CA"
  kExpiring,      // in force, ending within `days` from today
  kExpired,       // not cancelled, its end date passed
  kNearlyUsedUp,  // not cancelled, some service used to `percent` or beyond
};
// The filters by the names scripts give them: "todas", "vigentes", "canceladas",
// "por-vencer", "vencidas", "casi-agotadas".
std::string_view PolicyFilterName(PolicyFilter filter);
std::optional<PolicyFilter> PolicyFilterNamed(std::string_view name);

struct PolicySelection {
  PolicyFilter filter = PolicyFilter::kAll;
  int days = kExpiringDays;
  int percent = kNearlyUsedUpPercent;
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
// sorts; the folio, the client's key, the branch, the type and the dates through an index,
// the client's name and the use through the orders the database keeps (policy_order.h),
// ties on the folio in the same direction; the state one state at a time, each in folio
// order.
ListSource PolicyList(Database& database, const Date& today, const PolicySelection& selection);

// The services of policies that are not cancelled used to `percent` of their quantity or
// beyond, one row each: the folio, then these columns.
enum ServiceUsageColumn : int {
  kUsageClient = 1,
  kUsageClientName,
  kUsageBranch,
  kUsageEnd,
  kUsageState,
  kUsageService,
  kUsageUnit,
  kUsageIncluded,
  kUsageUsed,
  kUsageShare,
};
ListSource ServiceUsageList(SqlDialect dialect, const Date& today, int percent);

// A row of the list as the finder shows it: dates as "14/03/2025", the usage as "92 %"
// ("" for a policy without a used service).
std::vector<std::string> ShownPolicyRow(const FoundRow& row);
// The share of its quantity that a row's most used service has used.
std::optional<double> UsageShare(const FoundRow& row);

// Whether that row is used to `percent` or beyond, as ReachesPercent tells; only a row with
// a quantity counts.
std::string UsedToPercentSql(int percent);

}  // namespace nv407::host
