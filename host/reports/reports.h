#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "component/date.h"
#include "host/db/database.h"
#include "host/lists/policy_list.h"
#include "host/reports/report_writer.h"

namespace nv407::host {

// What polizas-report is asked for.
struct ReportRequest {
  enum class Kind { kExpiring, kUsage, kHistory, kPolicies };
  Kind kind = Kind::kPolicies;
  int days = kExpiringDays;                 // expiring: ending within this many days from today
  int percent = kNearlyUsedUpPercent;       // usage: services used to this share or beyond
  std::string folio;                        // history: as typed, brought to its stored form
  std::optional<std::string> client;        // policies: one client's only
  PolicyFilter state = PolicyFilter::kAll;  // policies: kInForce, kExpired or kCancelled
};

// Runs the report as of `today` through the queries the finder uses, writing each row as
// it is read; `progress` hears the count of rows written so far. Raises an Error for a
// history of a folio that is not a policy, and what the database raises.
std::size_t RunReport(Database& database, const Date& today, const ReportRequest& request,
                      ReportFormat format, std::ostream& out,
                      const std::function<void(std::size_t rows)>& progress = {});

}  // namespace nv407::host
