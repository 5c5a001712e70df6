#include "host/lists/policy_usage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "component/error.h"
#include "component/variant.h"
#include "data/schema.h"
#include "host/db/statement_text.h"
#include "host/lists/policy_list.h"

namespace nv407::host {
namespace {

double Quantity(const Variant& value) {
  if (value.IsNull()) return 0.0;
  try {
    return value.ToDouble();
  } catch (const Error&) {
    return std::numeric_limits<double>::quiet_NaN();
  }
}

// Digits after the point of a quantity as shown; none in an exponent form.
int ShownDecimals(double value) {
  const std::string text = NumberText(value);
  const std::size_t point = text.find('.');
  if (point == std::string::npos || text.find('E') != std::string::npos) return 0;
  return static_cast<int>(text.size() - point - 1);
}

// "120 horas", "1 hora", "3 eventos": the unit follows the quantity it names.
std::string UnitWord(const std::string& unit, double quantity) {
  const bool one = quantity == 1;
  if (unit == "HR") return one ? "hora" : "horas";
  return one ? "evento" : "eventos";
}

// Whether `a` is used to a larger share of its quantity than `b`: by products, exact where
// the shares' divisions are not, while these stay within the largest number a double holds.
bool UsedMore(const ServiceUsage& a, const ServiceUsage& b) {
  const double left = a.used * b.included, right = b.used * a.included;
  if (std::isfinite(left) && std::isfinite(right)) return left > right;
  return a.used / a.included > b.used / b.included;
}

}  // namespace

std::vector<ServiceUsage> ReadServiceUsage(Connection& connection, const std::string& folio) {
  std::vector<ServiceUsage> services;
  std::unique_ptr<Recordset> rows = connection.Execute(
      "SELECT s.Ts_Cve_Tipo_Servicio AS k, t.Ts_Descripcion AS d, "
      "CASE WHEN t.Ts_Servicio_Hora = 'SI' THEN 'HR' ELSE 'EV' END AS u, "
      "s.Pst_Cantidad_Incluida AS i, " +
      UsedQuantitySql() +
      " AS q FROM Poliza_Servicio_Tipo_Servicio s JOIN Tipo_Servicio t "
      "ON t.Ts_Cve_Tipo_Servicio = s.Ts_Cve_Tipo_Servicio WHERE s.Ps_Folio = " +
      QuotedText(folio) + " ORDER BY s.Ts_Cve_Tipo_Servicio");
  for (; !rows->Eof(); rows->MoveNext()) {
    const Variant included = rows->Fields("i").Value();
    const Variant used = rows->Fields("q").Value();
    services.push_back({rows->Fields("k").Value().TextOrEmpty(),
                        rows->Fields("d").Value().TextOrEmpty(),
                        rows->Fields("u").Value().TextOrEmpty(), Quantity(included), Quantity(used),
                        included.TextOrEmpty(), used.TextOrEmpty()});
  }
  rows->Close();
  return services;
}

std::optional<PolicyUsage> ReadPolicyUsage(Connection& connection, const std::string& folio) {
  std::unique_ptr<Recordset> row = connection.Execute(
      "SELECT Es_Cve_Estado AS e, Ps_Fecha_Finaliza AS f FROM Poliza_Servicio WHERE Ps_Folio = " +
      QuotedText(folio));
  if (row->Eof()) {
    row->Close();
    return std::nullopt;
  }
  PolicyUsage usage;
  usage.folio = folio;
  usage.cancelled = row->Fields("e").Value().TextOrEmpty() == schema::kStateCancelled;
  const Variant end = row->Fields("f").Value();
  // An end another program left as an empty text in a SQLite file is no end, as on screen.
  const bool no_end = end.IsNull() || end.IsEmpty() ||
                      (end.kind() == Variant::Kind::kString && end.ToText().empty());
  if (!no_end) usage.end = end.ToDate().DateOnly();
  row->Close();
  usage.services = ReadServiceUsage(connection, folio);
  return usage;
}

bool ReachesPercent(double used, double included, int percent) {
  if (!(included > 0) || std::isnan(used)) return false;
  const double slack = 1 - std::pow(10.0, -kShareSlackDigits);
  if (std::abs(used) <= kLargeQuantity && included <= kLargeQuantity)
    return used * 100 >= percent * included * slack;
  // Beyond, scaled so that no product passes the largest number a double holds nor, on the
  // server, falls to nothing (which it also refuses); UsedToPercentSql does the same.
  if (included > kLargeQuantity) {
    // Even 1 % of it is far above such a use.
    if (used < kBelowLargeQuantity) return percent == 0 && used >= 0;
    return used * 0.01 >= included * (percent * 0.0001 * slack);
  }
  // The use is the huge one.
  if (used < 0) return false;
  if (included < kBelowLargeQuantity) return true;
  return used >= included * (percent * 0.01 * slack);
}

std::optional<long long> ShownPercent(double used, double included) {
  if (!(included > 0)) return std::nullopt;
  // 100 × used would pass the largest number a double holds: divided first.
  const double share =
      std::abs(used) <= kLargeQuantity ? 100 * used / included : used / included * 100;
  // A tiny quantity included makes a share of billions of percent: still shown as it is.
  if (!(std::abs(share) < 1e18)) return std::nullopt;
  long long shown = std::llround(share);
  for (int threshold : {kNearlyUsedUpPercent, 100})
    if (shown >= threshold && !ReachesPercent(used, included, threshold)) shown = threshold - 1;
  return shown;
}

Grade UsageGrade(double used, double included) {
  if (ReachesPercent(used, included, 100)) return Grade::kAlarm;
  if (ReachesPercent(used, included, kNearlyUsedUpPercent)) return Grade::kWarning;
  return Grade::kNormal;
}

std::optional<GlanceLine> MostUsedLine(const std::vector<ServiceUsage>& services) {
  const ServiceUsage* most = nullptr;
  for (const ServiceUsage& service : services) {
    if (!(service.included > 0) || std::isnan(service.used)) continue;
    if (most == nullptr || UsedMore(service, *most)) most = &service;
  }
  // Services all unused (only one with nothing included used) say nothing.
  if (most == nullptr || !(most->used > 0)) return std::nullopt;
  std::string text = most->key + ": " + NumberText(most->used) + " de " +
                     NumberText(most->included) + " " + UnitWord(most->unit, most->included);
  if (const auto percent = ShownPercent(most->used, most->included)) {
    text += " (";
    text += std::to_string(*percent);
    text += "%)";
  }
  return GlanceLine{std::move(text), UsageGrade(most->used, most->included)};
}

GlanceLine ExpiryLine(const Date& end, const Date& today) {
  const std::int64_t days = today.DaysUntil(end);
  if (days < 0) return {"Vencida el " + ShortDate(end), Grade::kAlarm};
  if (days > kExpiringDays) return {"Vigente hasta el " + ShortDate(end), Grade::kNormal};
  if (days == 0) return {"Vence hoy", Grade::kWarning};
  if (days == 1) return {"Vence mañana", Grade::kWarning};
  return {"Vence en " + std::to_string(days) + " días", Grade::kWarning};
}

std::vector<GlanceLine> Glance(const PolicyUsage& usage, const Date& today) {
  std::vector<GlanceLine> lines;
  if (usage.cancelled) return lines;
  if (auto most = MostUsedLine(usage.services)) lines.push_back(std::move(*most));
  if (usage.end) lines.push_back(ExpiryLine(*usage.end, today));
  return lines;
}

std::string ShortDate(const Date& date) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", date.Day(), date.Month(), date.Year());
  return text;
}

double LeftOf(const ServiceUsage& service) {
  if (std::isnan(service.included) || std::isnan(service.used))
    return std::numeric_limits<double>::quiet_NaN();
  const double scale =
      std::pow(10.0, std::max(ShownDecimals(service.included), ShownDecimals(service.used)));
  return std::round((service.included - service.used) * scale) / scale;
}

}  // namespace nv407::host
