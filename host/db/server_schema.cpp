#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/db/dialect.h"
#include "host/db/policy_order.h"
#include "host/db/server_access.h"
#include "host/db/server_tables.h"
#include "host/db/sqlite_schema.h"
#include "host/db/statement_text.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

void Append(std::vector<std::string>& statements, const std::vector<std::string>& more) {
  statements.insert(statements.end(), more.begin(), more.end());
}

// The refusal of any change to a cancelled policy and to its services' rows, with the
// message the SQLite schema gives. The state is compared exactly: 'ca' is a live policy.
std::string PostgreSqlRefusal(const char* folio) {
  return "RAISE EXCEPTION '" + sqlite::CancelledPolicyMessage("%") + "', " + folio + ";";
}

std::string SqlServerRefusal() {
  const std::string message = sqlite::CancelledPolicyMessage("\x01");
  const std::size_t folio = message.find('\x01');
  return "IF @folio IS NOT NULL BEGIN DECLARE @message NVARCHAR(2048) = CONCAT(N'" +
         message.substr(0, folio) + "', @folio, N'" + message.substr(folio + 1) +
         "'); THROW 51000, @message, 1; END";
}

}  // namespace

bool HasTable(Database& database, const std::string& table) {
  auto result =
      database.HostQuery(std::string(Traits(database.Dialect()).table_present_query), {table});
  const bool found = !result->Eof();
  result->Close();
  return found;
}

void RequirePolicyTables(Database& database) {
  if (!HasTable(database, "poliza_servicio")) {
    throw Error(
        "the database holds no service policies: its owner makes the tables with "
        "polizas-db init --odbc");
  }
}

void RequireOperatorRoles(Database& database) {
  const std::string_view query = Traits(database.Dialect()).session_login_ready_query;
  if (query.empty()) return;
  auto result = database.HostQuery(std::string(query), {});
  const bool ready = !result->Eof();
  result->Close();
  if (!ready) {
    throw Error(
        "the database was made by an earlier version, before the operators' roles: its owner "
        "brings it up to date with polizas-db upgrade --odbc");
  }
}

std::vector<std::string> SchemaTablesPresent(Connection& connection) {
  std::string names;
  for (const Table& table : ServerTables()) {
    names += names.empty() ? "'" : ", '";
    names += AsciiLower(table.name);
    names += "'";
  }
  std::vector<std::string> present;
  auto result = connection.Execute(
      "SELECT table_name AS t FROM information_schema.tables WHERE LOWER(table_name) IN (" + names +
      ") ORDER BY table_name");
  for (; !result->Eof(); result->MoveNext())
    present.push_back(result->Fields("t").Value().ToText());
  result->Close();
  return present;
}

std::vector<std::string> PostgreSqlSchema() {
  // Table names in the host's records match in any letter case, as SQL names do.
  std::vector<std::string> statements = {
      "CREATE COLLATION polizas_nocase "
      "(provider = icu, locale = 'und-u-ks-level2', deterministic = false)"};
  Append(statements, TablesAndIndexes(PostgreSqlTypes(), true));
  Append(statements,
         {
             // The screen's statements are SQL Server's: its IsNull and GetDate() are provided.
             // IsNull is inlined into COALESCE, so it costs nothing and hides no index.
             "CREATE FUNCTION IsNull(value anycompatible, fallback anycompatible) "
             "RETURNS anycompatible LANGUAGE sql IMMUTABLE AS 'SELECT COALESCE(value, fallback)'",
             // The time the host pinned for the session (the setting polizas.clock), else the
             // server's, to the second.
             PostgreSqlServerNow(),
             "CREATE FUNCTION GetDate() RETURNS TIMESTAMP(0) LANGUAGE sql VOLATILE AS $$SELECT "
             "COALESCE(NULLIF(current_setting('polizas.clock', true), '')::timestamp, "
             "polizas_server_now())$$",
             "CREATE FUNCTION refuse_change_to_cancelled_policy() RETURNS trigger LANGUAGE plpgsql "
             "AS $$BEGIN " +
                 PostgreSqlRefusal("OLD.Ps_Folio") + " END$$",
             "CREATE TRIGGER Poliza_Servicio_cancelled BEFORE UPDATE ON Poliza_Servicio FOR EACH "
             "ROW WHEN (OLD.Es_Cve_Estado = 'CA') EXECUTE FUNCTION "
             "refuse_change_to_cancelled_policy()",
             // The policy's row is read FOR SHARE: a cancellation in progress elsewhere is
             // waited for, and one that commits meanwhile is seen.
             "CREATE FUNCTION refuse_services_of_cancelled_policy() RETURNS trigger LANGUAGE "
             "plpgsql AS $$DECLARE state TEXT; BEGIN SELECT Es_Cve_Estado INTO state FROM "
             "Poliza_Servicio WHERE Ps_Folio = OLD.Ps_Folio FOR SHARE; IF state = 'CA' THEN " +
                 PostgreSqlRefusal("OLD.Ps_Folio") + " END IF; RETURN NEW; END$$",
             "CREATE TRIGGER Poliza_Servicio_Tipo_Servicio_cancelled BEFORE UPDATE ON "
             "Poliza_Servicio_Tipo_Servicio FOR EACH ROW EXECUTE FUNCTION "
             "refuse_services_of_cancelled_policy()",
         });
  Append(statements, PostgreSqlPolicyOrderTriggers());
  Append(statements, PostgreSqlAccess());
  statements.push_back(PostgreSqlDatabaseClosed());
  return statements;
}

std::vector<std::string> SqlServerSchema() {
  std::vector<std::string> statements = TablesAndIndexes(SqlServerTypes(), false);
  // SQL Server has no BEFORE triggers: these refuse after the change, which THROW undoes
  // with the whole transaction. The state is compared in a binary collation, since the
  // database's own ignores case.
  const std::string throw_cancelled = SqlServerRefusal();
  Append(statements,
         {
             // The operators' guard writes the audit columns of a cancellation in an UPDATE
             // of its own, after this guard checked the cancellation itself.
             "CREATE OR ALTER TRIGGER Poliza_Servicio_cancelled ON Poliza_Servicio AFTER UPDATE AS "
             "BEGIN "
             "SET NOCOUNT ON; IF TRIGGER_NESTLEVEL(OBJECT_ID('Poliza_Servicio_operator')) > 0 "
             "RETURN; DECLARE @folio " +
                 std::string(kSqlServerCode) +
                 " = (SELECT TOP 1 Ps_Folio FROM deleted "
                 "WHERE Es_Cve_Estado COLLATE Latin1_General_100_BIN2 = 'CA'); " +
                 throw_cancelled + " END",
             // First of the statement's triggers, so that the operators' one (which the check
             // above lets through while it runs) has never run for the statement yet.
             "EXEC sp_settriggerorder @triggername = 'Poliza_Servicio_cancelled', "
             "@order = 'First', @stmttype = 'UPDATE'",
             // HOLDLOCK keeps the policy's row share-locked to the end of the transaction, so a
             // cancellation in progress elsewhere is waited for.
             "CREATE OR ALTER TRIGGER Poliza_Servicio_Tipo_Servicio_cancelled ON "
             "Poliza_Servicio_Tipo_Servicio AFTER UPDATE AS BEGIN SET NOCOUNT ON; "
             "DECLARE @folio " +
                 std::string(kSqlServerCode) +
                 " = (SELECT TOP 1 p.Ps_Folio FROM Poliza_Servicio AS p "
                 "WITH (HOLDLOCK) INNER JOIN deleted AS d ON d.Ps_Folio = p.Ps_Folio WHERE "
                 "p.Es_Cve_Estado COLLATE Latin1_General_100_BIN2 = 'CA'); " +
                 throw_cancelled + " END",
         });
  Append(statements, SqlServerPolicyOrderTriggers());
  Append(statements, SqlServerAccess());
  return statements;
}

void CreatePostgreSqlSchema(Connection& connection) {
  // The names' collation compares characters, which a SQL_ASCII database does not know.
  auto encoding = connection.Execute(
      "SELECT pg_encoding_to_char(encoding) AS v FROM pg_database "
      "WHERE datname = current_database()");
  if (!encoding->Eof() && encoding->Fields("v").Value().ToText() == "SQL_ASCII") {
    throw Error(
        "the database's encoding is SQL_ASCII, which keeps bytes without knowing their "
        "characters: make it with UTF8 (createdb --encoding UTF8 --template template0)");
  }
  encoding->Close();
  for (const std::string& statement : PostgreSqlSchema()) connection.Execute(statement);
}

void CreateSqlServerSchema(Connection& connection) {
  for (const std::string& statement : SqlServerSchema()) connection.Execute(statement);
}

}  // namespace nv407::host
