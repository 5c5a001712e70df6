#pragma once

#include <optional>
#include <string>
#include <vector>

#include "component/database.h"
#include "component/date.h"

namespace nv407::host {

// One service of a policy as the screen lists it: counted in hours ("HR", the hours used)
// or events ("EV", the events used); a NULL quantity is 0. A quantity stored as a text that
// is no number (a file edited by hand) is NaN, and shown as its text, as stored.
struct ServiceUsage {
  std::string key, description, unit;
  double included = 0, used = 0;
  std::string included_text, used_text;
};

// What the host shows of a policy at a glance: its state, end date and services.
struct PolicyUsage {
  std::string folio;
  bool cancelled = false;
  std::optional<Date> end;
  std::vector<ServiceUsage> services;
};

// The services of a policy whose service type exists, by service key; empty for none.
std::vector<ServiceUsage> ReadServiceUsage(Connection& connection, const std::string& folio);
// Nothing when there is no such policy.
std::optional<PolicyUsage> ReadPolicyUsage(Connection& connection, const std::string& folio);

// How a use or an end date stands: within limits, close to them, or past them.
enum class Grade { kNormal, kWarning, kAlarm };

// The share of an included quantity that is used, in whole percent as shown: rounded, but
// never at a threshold (80 %, 100 %) that the exact share has not reached. Nothing when
// there is no quantity to use (or no share a number can show: an infinite one).
std::optional<long long> ShownPercent(double used, double included);
// Whether `used` is `percent` of `included` or more, as the quantities are written (within
// kShareSlackDigits); false when nothing is included.
bool ReachesPercent(double used, double included, int percent);
// A warning from 80 % of the quantity, an alarm from all of it.
Grade UsageGrade(double used, double included);

struct GlanceLine {
  std::string text;
  Grade grade = Grade::kNormal;
};
// "SOPREM: 110 de 120 horas (92%)": the service used the most, by share of its quantity;
// nothing while no service with a quantity included has been used.
std::optional<GlanceLine> MostUsedLine(const std::vector<ServiceUsage>& services);
// "Vencida el 14/03/2025" (an alarm); "Vence hoy", "Vence mañana", "Vence en 12 días" (a
// warning, within 30 days); "Vigente hasta el 14/03/2026" beyond.
GlanceLine ExpiryLine(const Date& end, const Date& today);
// The policy's lines for the status bar: its most used service and its end; nothing for a cancelled
// policy.
std::vector<GlanceLine> Glance(const PolicyUsage& usage, const Date& today);

// What is left of the service's quantity, to the decimals of the quantities shown beside it
// (120 - 119.9 leaves 0.1, not the binary residue of the subtraction); NaN where either is
// no number.
double LeftOf(const ServiceUsage& service);

// "14/03/2025".
std::string ShortDate(const Date& date);

}  // namespace nv407::host
