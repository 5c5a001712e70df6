#include "host/lists/policy_list.h"

#include <array>

#include "data/schema.h"
#include "host/db/dialect.h"
#include "host/db/policy_order.h"
#include "host/headless/text_rules.h"
#include "host/lists/policy_usage.h"
#include "host/services/folio.h"

namespace nv407::host {
namespace {

// Up to this many clients found by the text, their policies are read through the index on
// the policies' client, and sorted; beyond it the text is common, and the policies are read
// in the list's order, each one's client looked at, until a page is full.
constexpr int kFewClients = 2000;

std::string Day(SqlDialect dialect, const Date& day) {
  return QuotedText(DateText(dialect, day));
}

// An end another program left empty (SQLite keeps '' in a date column) is no end, as the
// screen and the glance show it: such a policy has not expired.
std::string EndedBefore(SqlDialect dialect, const Date& day) {
  std::string ended = "p.Ps_Fecha_Finaliza < " + Day(dialect, day);
  if (dialect == SqlDialect::kSqlite) ended += " AND p.Ps_Fecha_Finaliza <> ''";
  return ended;
}

std::string InForce(SqlDialect dialect, const Date& today) {
  return "p.Es_Cve_Estado <> '" + std::string(schema::kStateCancelled) +
         "' AND (p.Ps_Fecha_Finaliza IS NULL OR NOT (" + EndedBefore(dialect, today) + "))";
}

std::string StateSql(SqlDialect dialect, const Date& today) {
  return "CASE WHEN p.Es_Cve_Estado = '" + std::string(schema::kStateCancelled) + "' THEN '" +
         std::string(kCancelledWord) + "' WHEN " + EndedBefore(dialect, today) + " THEN '" +
         std::string(kExpiredWord) + "' ELSE '" + std::string(kInForceWord) + "' END";
}

// The states a filter keeps, in the order they sort.
std::vector<std::string> StatesKept(PolicyFilter filter) {
  switch (filter) {
    case PolicyFilter::kCancelled:
      return {std::string(kCancelledWord)};
    case PolicyFilter::kInForce:
    case PolicyFilter::kExpiring:
      return {std::string(kInForceWord)};
    case PolicyFilter::kExpired:
      return {std::string(kExpiredWord)};
    case PolicyFilter::kNearlyUsedUp:
      return {std::string(kExpiredWord), std::string(kInForceWord)};
    case PolicyFilter::kAll:
      break;
  }
  return {std::string(kCancelledWord), std::string(kExpiredWord), std::string(kInForceWord)};
}

// The policies in force by their end: those without an end, those ending from today on, and
// on SQLite those whose end is an empty text. Each a range of the end's index, where the
// filter's own condition is none: the index read from the oldest ends would pass over every
// expired policy.
std::vector<std::string> InForceEnds(SqlDialect dialect, const Date& today) {
  std::string from_today = "p.Ps_Fecha_Finaliza >= ";
  from_today += Day(dialect, today);
  std::vector<std::string> ends = {"p.Ps_Fecha_Finaliza IS NULL", std::move(from_today)};
  if (dialect == SqlDialect::kSqlite) ends.emplace_back("p.Ps_Fecha_Finaliza = ''");
  return ends;
}

std::string UsageSql() {
  return PeakUseSql("p.Ps_Folio");
}

std::string SelectionConditions(SqlDialect dialect, const Date& today,
                                const PolicySelection& selection) {
  std::string conditions;
  switch (selection.filter) {
    case PolicyFilter::kAll:
      break;
    case PolicyFilter::kInForce:
      conditions = InForce(dialect, today);
      break;
    case PolicyFilter::kCancelled:
      conditions = "p.Es_Cve_Estado = '" + std::string(schema::kStateCancelled) + "'";
      break;
    case PolicyFilter::kExpiring: {
      conditions = "p.Es_Cve_Estado <> '" + std::string(schema::kStateCancelled) +
                   "' AND p.Ps_Fecha_Finaliza >= " + Day(dialect, today);
      // Before the day after the last: an end stored with a time of day (another program's)
      // is still on its day. Days reaching the last day a date can be need no bound.
      if (selection.days < today.DaysUntil(Date::FromYmd(Date::kLastYear, 12, 31)))
        conditions +=
            " AND p.Ps_Fecha_Finaliza < " + Day(dialect, today.AddDays(selection.days + 1));
      break;
    }
    case PolicyFilter::kExpired:
      conditions = "p.Es_Cve_Estado <> '" + std::string(schema::kStateCancelled) + "' AND " +
                   EndedBefore(dialect, today);
      break;
    case PolicyFilter::kNearlyUsedUp:
      conditions = "p.Es_Cve_Estado <> '" + std::string(schema::kStateCancelled) +
                   "' AND EXISTS (SELECT 1 " + ServicesOfPolicySql("p.Ps_Folio") + " AND " +
                   UsedToPercentSql(selection.percent) + ")";
      break;
  }
  if (selection.client) {
    if (!conditions.empty()) conditions += " AND ";
    conditions += "p.Cl_Cve_Cliente = " + QuotedText(*selection.client);
  }
  return conditions;
}

// A policy used to `percent` has kept a use of nearly that share or more (the slack covers
// a share computed by division where the filter multiplies). Only SQLite keeps a quantity
// that is not a number (a file edited by hand), which the filter counts as above nothing
// and the kept use passes over: such policies are found by their services instead, through
// an index of those services alone whose condition is this one (sqlite_schema.cpp). SQLite
// sorts a text or a blob above every number, infinity too: a quantity above 1e999 is one.
// The condition holds no text literal, which the host would bind (LiftLiterals), and SQLite
// would then not know that the index serves it.
std::vector<std::string> NearlyUsedUpBounds(SqlDialect dialect, int percent) {
  // Looser than the filter's own slack, so that the bound never drops a policy it keeps.
  constexpr int kBoundSlackDigits = kShareSlackDigits - 3;
  std::vector<std::string> bounds = {"o.peak_use >= " + std::to_string(percent) + " * (1 - 1e-" +
                                     std::to_string(kBoundSlackDigits) + ") / 100.0"};
  if (dialect == SqlDialect::kSqlite)
    bounds.push_back(
        "o.folio IN (SELECT q.Ps_Folio FROM Poliza_Servicio_Tipo_Servicio q WHERE "
        "q.Pst_Cantidad_Incluida > 1e999)");
  return bounds;
}

// The clients whose key starts with the text or whose name holds it.
ListSource ClientsFound() {
  return {"Cliente", "Cl_Cve_Cliente", "", {}, {"Cl_Razon_Social_1"}, "", {}, {}, {}};
}

// The folio the folio field would make of the text, where that is not a folio that starts
// with the text as typed ("gdl-42" is GDL-000042).
std::optional<std::string> FormattedFolio(const std::string& text) {
  std::string folio = FormatFolio(text);
  if (folio.starts_with(UpperCaseText(text))) return std::nullopt;
  return folio;
}

// A folio as typed, a folio as the folio field would take it, or a client.
std::vector<std::string> TextWays(Database& database, const std::string& text) {
  std::vector<std::string> ways = {StartsWith("p.Ps_Folio", database.Dialect(), text)};
  if (const auto folio = FormattedFolio(text)) ways.push_back("p.Ps_Folio = " + QuotedText(*folio));

  const std::vector<FoundRow> clients =
      ReadPage(database, ClientsFound(), {text, std::nullopt, std::nullopt, kFewClients + 1});
  if (clients.empty()) return ways;
  // Appended piece by piece: GCC 12 at -O3 takes a literal + a temporary text for an
  // overlapping copy (-Wrestrict).
  std::string client;
  if (clients.size() <= kFewClients) {
    // The clients just read, by key: their names are not looked at a second time.
    client = "p.Cl_Cve_Cliente IN (";
    for (std::size_t i = 0; i < clients.size(); ++i) {
      if (i > 0) client += ", ";
      client += QuotedText(clients[i].front());
    }
    client += ')';
  } else {
    client = "EXISTS (SELECT 1 FROM Cliente cf WHERE cf.Cl_Cve_Cliente = p.Cl_Cve_Cliente AND (";
    client += StartsWith("cf.Cl_Cve_Cliente", database.Dialect(), text);
    client += " OR ";
    client += Holds("cf.Cl_Razon_Social_1", database.Dialect(), text);
    client += "))";
  }
  ways.push_back(std::move(client));
  return ways;
}

struct FilterName {
  PolicyFilter filter;
  std::string_view name;
};
constexpr std::array<FilterName, 6> kFilterNames = {{
    {PolicyFilter::kAll, "todas"},
    {PolicyFilter::kInForce, "vigentes"},
    {PolicyFilter::kCancelled, "canceladas"},
    {PolicyFilter::kExpiring, "por-vencer"},
    {PolicyFilter::kExpired, "vencidas"},
    {PolicyFilter::kNearlyUsedUp, "casi-agotadas"},
}};

std::string ShownDate(const std::string& text) {
  const std::optional<Date> date = Date::Parse(text);
  return date ? ShortDate(*date) : text;
}

}  // namespace

std::string_view PolicyFilterName(PolicyFilter filter) {
  for (const FilterName& entry : kFilterNames)
    if (entry.filter == filter) return entry.name;
  return {};
}

std::optional<PolicyFilter> PolicyFilterNamed(std::string_view name) {
  for (const FilterName& entry : kFilterNames)
    if (entry.name == name) return entry.filter;
  return std::nullopt;
}

std::optional<double> UsageShare(const FoundRow& row) {
  const std::string& share = row.at(kPolicyUsage);
  if (share.empty()) return std::nullopt;
  return Variant(share).ToDouble();
}

std::vector<std::string> ShownPolicyRow(const FoundRow& row) {
  std::vector<std::string> shown = row;
  for (int column : {kPolicyStart, kPolicyEnd}) shown.at(column) = ShownDate(row.at(column));
  const std::optional<double> share = UsageShare(row);
  const std::optional<long long> percent = share ? ShownPercent(*share, 1) : std::nullopt;
  shown.at(kPolicyUsage) = percent ? std::to_string(*percent) + " %" : "";
  return shown;
}

// ReachesPercent's comparison, branch for branch: CASEs, as neither database promises the
// order in which it tries the two sides of an AND. "* 1.0" reads a text that SQLite keeps
// where a quantity goes as 0, as the products of ordinary quantities do.
std::string UsedToPercentSql(int percent) {
  static_assert(kLargeQuantity == 1e300 && kBelowLargeQuantity == 1e290);
  const std::string used = "(" + UsedQuantitySql() + ") * 1.0";
  const std::string included = "s.Pst_Cantidad_Incluida * 1.0";
  const std::string p = std::to_string(percent);
  const std::string slack = "(1 - 1e-" + std::to_string(kShareSlackDigits) + ")";
  const std::string ordinary =
      UsedQuantitySql() + " * 100 >= " + p + " * s.Pst_Cantidad_Incluida * " + slack;
  const std::string huge_included = "CASE WHEN " + used + " < 1e290 THEN " +
                                    (percent == 0 ? used + " >= 0" : std::string("FALSE")) +
                                    " ELSE " + used + " * 0.01 >= " + included + " * (" + p +
                                    " * 0.0001 * " + slack + ") END";
  const std::string huge_use = "CASE WHEN " + used + " < 0 THEN FALSE WHEN " + included +
                               " < 1e290 THEN TRUE ELSE " + used + " >= " + included + " * (" + p +
                               " * 0.01 * " + slack + ") END";
  return "s.Pst_Cantidad_Incluida > 0 AND CASE WHEN ABS(" + used + ") <= 1e300 AND " + included +
         " <= 1e300 THEN " + ordinary + " WHEN " + included + " > 1e300 THEN " + huge_included +
         " ELSE " + huge_use + " END";
}

ListSource ServiceUsageList(SqlDialect dialect, const Date& today, int percent) {
  ListSource list;
  list.from =
      "Poliza_Servicio p JOIN Poliza_Servicio_Tipo_Servicio s ON s.Ps_Folio = p.Ps_Folio "
      "JOIN Tipo_Servicio t ON t.Ts_Cve_Tipo_Servicio = s.Ts_Cve_Tipo_Servicio "
      "LEFT JOIN Cliente c ON c.Cl_Cve_Cliente = p.Cl_Cve_Cliente";
  list.key = "p.Ps_Folio";
  list.within_key = "s.Ts_Cve_Tipo_Servicio";
  const std::string share = UsedQuantitySql() + " * 1.0 / s.Pst_Cantidad_Incluida";
  list.columns = {"p.Cl_Cve_Cliente",
                  "c.Cl_Razon_Social_1",
                  "p.Sc_Cve_Sucursal",
                  "p.Ps_Fecha_Finaliza",
                  StateSql(dialect, today),
                  "s.Ts_Cve_Tipo_Servicio",
                  "CASE WHEN t.Ts_Servicio_Hora = 'SI' THEN 'HR' ELSE 'EV' END",
                  "s.Pst_Cantidad_Incluida",
                  UsedQuantitySql(),
                  share};
  list.conditions = "p.Es_Cve_Estado <> '" + std::string(schema::kStateCancelled) + "' AND " +
                    UsedToPercentSql(percent);
  return list;
}

ListSource PolicyList(Database& database, const Date& today, const PolicySelection& selection) {
  const SqlDialect dialect = database.Dialect();
  ListSource list;
  list.from = "Poliza_Servicio p LEFT JOIN Cliente c ON c.Cl_Cve_Cliente = p.Cl_Cve_Cliente";
  // The client's name is shown; no condition, way or order reads it from there.
  list.keys_from = "Poliza_Servicio p";
  list.key = "p.Ps_Folio";
  list.columns = {"p.Cl_Cve_Cliente",       "c.Cl_Razon_Social_1",
                  "p.Sc_Cve_Sucursal",      "p.Tps_Cve_Tipo_Poliza_Servicio",
                  "p.Ps_Fecha_Inicia",      "p.Ps_Fecha_Finaliza",
                  StateSql(dialect, today), UsageSql()};
  // By the client's name and by use: through what policy_order keeps, or, in a database
  // made before it and read as it is, computed alike as the rows are read. A policy
  // without a used service sorts below every used one.
  list.sorts.assign(list.columns.size(), {});
  if (KeepsPolicyOrder(database)) {
    const std::string kept = std::string(kPolicyOrderTable) + " o";
    const std::string on = "o.folio = p.Ps_Folio";
    list.sorts[kPolicyClientName - 1] = {"o.client_name", kept, on, "o.folio"};
    list.sorts[kPolicyUsage - 1] = {"o.peak_use", kept, on, "o.folio"};
    if (selection.filter == PolicyFilter::kNearlyUsedUp)
      list.sorts[kPolicyUsage - 1].bounds = NearlyUsedUpBounds(dialect, selection.percent);
  } else {
    list.sorts[kPolicyClientName - 1] = {KeptClientNameSql("p.Ps_Folio"), "", "", "p.Ps_Folio"};
    list.sorts[kPolicyUsage - 1] = {KeptPeakUseSql("p.Ps_Folio"), "", "", "p.Ps_Folio"};
  }
  // The state is worked out: each of those the filter keeps is read on its own, in folio
  // order.
  list.sorts[kPolicyState - 1].values = StatesKept(selection.filter);
  if (selection.filter == PolicyFilter::kInForce)
    list.sorts[kPolicyEnd - 1].bounds = InForceEnds(dialect, today);
  list.conditions = SelectionConditions(dialect, today, selection);
  list.ways = &TextWays;
  // Typed on, the text finds fewer folios and clients; but its formatted folio ("gdl-42" after
  // "gdl-4") is one the shorter text need not have found.
  list.finds_within = [](std::string_view longer, std::string_view shorter) {
    return FindsWithin(longer, shorter) && !FormattedFolio(std::string(longer));
  };
  return list;
}

}  // namespace nv407::host
