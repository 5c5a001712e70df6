#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/db/database.h"

namespace nv407::host {

// The policy finder sorts by the client's name and by use, which no column of the policies
// holds. The host keeps both, for every policy, in its table policy_order (folio,
// client_name, peak_use), indexed on each with the folio, so that a page in either order is
// a range of an index. Triggers on every table the values come from keep it in step, so a
// counter that another tool raises through plain SQL moves its policy too.
inline constexpr std::string_view kPolicyOrderTable = "policy_order";
// SQL Server's client_name: an index key holds 900 bytes at most, so it keeps a name's first
// 900 bytes (a longer name ties with those that share them, and the folio decides).
inline constexpr std::string_view kSqlServerKeptName = "VARCHAR(900)";

// How much of an included quantity a use is, for one service row `s` of
// Poliza_Servicio_Tipo_Servicio joined to its Tipo_Servicio `t`: the hours used for a
// service counted in hours, else the events used.
std::string UsedQuantitySql();
// "FROM ... WHERE ...": the services of the policy `folio` (an expression) as the screen
// lists them, those whose service type exists, as rows `s` joined to `t`.
std::string ServicesOfPolicySql(std::string_view folio);
// The most used service's share of its quantity (1 = all of it), only services with a
// quantity counted; NULL when there is none.
std::string PeakUseSql(std::string_view folio);

// What policy_order keeps for the policy `folio`: its client's name ('' when the client or
// its name is missing, so that a missing one sorts alike on every database) and its peak
// use (-1 when it has none, below every use).
std::string KeptClientNameSql(std::string_view folio);
std::string KeptPeakUseSql(std::string_view folio);

// The statements that make the table, its indexes and its triggers on SQLite; and the one
// that fills it for the policies a database holds already, the names cut to `name_type`
// where one is given.
std::vector<std::string> SqlitePolicyOrderSchema();
std::string FillPolicyOrder(std::string_view name_type = {});
// The triggers of each server (with their functions), run after the tables.
std::vector<std::string> PostgreSqlPolicyOrderTriggers();
// PostgreSQL's trigger functions by name, each with the body this version gives it; and
// the statements that write them all again (their triggers stay) and compute every kept
// row afresh, for a database whose functions differ.
std::vector<std::pair<std::string, std::string>> PostgreSqlPolicyOrderFunctions();
std::vector<std::string> PostgreSqlPolicyOrderFunctionsAgain();
std::vector<std::string> SqlServerPolicyOrderTriggers();

// Whether the database keeps the orders: a SQLite file made before them and opened for
// reading does not.
bool KeepsPolicyOrder(Database& database);

}  // namespace nv407::host
