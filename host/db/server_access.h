#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nv407::host {

// SQL Server's VARCHAR counts bytes, of which UTF-8 takes up to 4 a character: a code (up
// to 60 characters) and a login's name (sysname, up to 128) each fit whole.
inline constexpr std::string_view kSqlServerCode = "VARCHAR(240)";
inline constexpr std::string_view kSqlServerLogin = "VARCHAR(512)";

// The dates an edit's new policy may keep, one row per policy its transaction cancelled.
inline constexpr std::string_view kReplacedDatesTable = "polizas_replaced_date";
// The policies the current transaction inserted or cancelled (PostgreSQL).
inline constexpr std::string_view kWrittenPoliciesTable = "polizas_written_policy";

// What each server's schema adds for its operators (server_access.cpp): the group roles and
// their rights, and the guards that keep an operator's statements within its permissions
// and stamp its login into the audit columns. Run after the tables.
std::vector<std::string> PostgreSqlAccess();
std::vector<std::string> SqlServerAccess();
// What a new PostgreSQL database adds: only the logins granted CONNECT on it may connect.
std::string PostgreSqlDatabaseClosed();
// The rights the operators' roles are granted on one table, as both of those grant them
// (the roles exist already).
std::vector<std::string> GrantsOn(std::string_view table);
// The statement that pins the search path of these functions of the schema to the schema;
// and the guards' functions that the schema pins so.
std::string PostgreSqlFixedSearchPath(const std::vector<std::string>& functions);
std::vector<std::string> PostgreSqlGuardFunctions();
// The guard that numbers and stamps an operator's note (made again by an upgrade), and the
// statement that takes from every login the right to call the schema's trigger functions.
std::string PostgreSqlNoteStamp();
// The guard that stamps an operator's policy and keeps its date, with the table of the dates
// an edit may keep (made again by an upgrade).
std::vector<std::string> PostgreSqlPolicyStamp();
// The guards that hold an operator to what its own save writes (services, texts and
// additional fields of the policy it inserts, a folio series moved on by one, an edit's chain
// notes), each made where missing; and their functions and triggers.
std::vector<std::string> PostgreSqlSaveGuards();
std::vector<std::string> PostgreSqlSaveGuardFunctions();
std::vector<std::string> PostgreSqlSaveGuardTriggers();
// The operators' two roles, made where the server has none of that name.
std::string PostgreSqlRoles();
// Its function's body as the server keeps it, for an upgrade to tell an older one.
std::string PostgreSqlPolicyStampBody();
std::string PostgreSqlTriggerFunctionsClosed();
// The function behind PostgreSQL's GetDate() when the clock is not pinned.
std::string PostgreSqlServerNow();
// The session's login and what it may do (DialectTraits::session_login).
std::string PostgreSqlSessionLogin();
std::string SqlServerSessionLogin();

}  // namespace nv407::host
