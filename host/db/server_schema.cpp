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
#include "host/db/sqlite_schema.h"
#include "host/db/statement_text.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

// The tables of a server database: the same tables, columns (in the same order), keys and
// indexes as the SQLite schema, each column of a kind that every server dialect maps to
// its own type. Constraints are written in the SQL that both servers read.
enum class Kind {
  kCode,        // a key or code, compared exactly
  kNoCaseCode,  // a table name in the host's records: compared without regard to case
  kText,
  kDate,
  kDateTime,
  kInteger,
  kNumber,
  kRowId,  // numbered by the database in order of writing
  // Text that an index orders: SQL Server's VARCHAR(MAX) cannot be an index's key.
  kSortedText,
  kLogin,  // the login that wrote a row
};

struct Column {
  const char* name;
  Kind kind;
  const char* constraints = "";
};

struct Table {
  const char* name;
  std::vector<Column> columns;
  const char* primary_key;
};

struct Index {
  const char* name;
  const char* table;
  const char* columns;
  bool postgresql_only = false;
};

const char* kActive = "NOT NULL DEFAULT 'AC'";  // the state of a live record

const std::vector<Table>& Tables() {
  static const std::vector<Table> tables = {
      // Catalogues.
      {"Sucursal",
       {{"Sc_Cve_Sucursal", Kind::kCode, "NOT NULL"},
        {"Sc_Descripcion", Kind::kText},
        {"Es_Cve_Estado", Kind::kCode, kActive}},
       "Sc_Cve_Sucursal"},
      {"Vendedor",
       {{"Vn_Cve_Vendedor", Kind::kCode, "NOT NULL"},
        {"Vn_Descripcion", Kind::kText},
        {"Es_Cve_Estado", Kind::kCode, kActive}},
       "Vn_Cve_Vendedor"},
      {"Cliente",
       {{"Cl_Cve_Cliente", Kind::kCode, "NOT NULL"},
        {"Cl_Razon_Social_1", Kind::kText},
        {"Cl_Razon_Social_2", Kind::kText},
        {"Es_Cve_Estado", Kind::kCode, kActive}},
       "Cl_Cve_Cliente"},
      {"Producto",
       {{"Pr_Cve_Producto", Kind::kCode, "NOT NULL"}, {"Pr_Descripcion", Kind::kText}},
       "Pr_Cve_Producto"},
      {"Tipo_Servicio",
       {{"Ts_Cve_Tipo_Servicio", Kind::kCode, "NOT NULL"},
        {"Ts_Descripcion", Kind::kText},
        {"Ts_Servicio_Hora", Kind::kCode}},
       "Ts_Cve_Tipo_Servicio"},
      {"Tipo_Poliza_Servicio",
       {{"Tps_Cve_Tipo_Poliza_Servicio", Kind::kCode, "NOT NULL"},
        {"Tps_Descripcion", Kind::kText},
        {"Pr_Cve_Producto", Kind::kCode, "REFERENCES Producto (Pr_Cve_Producto)"},
        {"Tps_Tipo", Kind::kInteger},
        {"Tps_Valor", Kind::kInteger},
        {"Es_Cve_Estado", Kind::kCode, kActive}},
       "Tps_Cve_Tipo_Poliza_Servicio"},
      {"Tipo_Poliza_Servicio_Tipo_Servicio",
       {{"Tps_Cve_Tipo_Poliza_Servicio", Kind::kCode,
         "NOT NULL REFERENCES Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio)"},
        {"Ts_Cve_Tipo_Servicio", Kind::kCode,
         "NOT NULL REFERENCES Tipo_Servicio (Ts_Cve_Tipo_Servicio)"},
        {"Tpt_Cantidad", Kind::kNumber}},
       "Tps_Cve_Tipo_Poliza_Servicio, Ts_Cve_Tipo_Servicio"},

      // Policies. A new policy is inserted without its state and takes 'AC' (active).
      {"Poliza_Servicio",
       {{"Ps_Folio", Kind::kCode, "NOT NULL"},
        {"Ps_Fecha", Kind::kDate},
        {"Ps_Tabla", Kind::kText},
        {"Ps_Documento", Kind::kText},
        {"Ps_Fecha_Inicia", Kind::kDate},
        {"Ps_Fecha_Finaliza", Kind::kDate},
        {"Sc_Cve_Sucursal", Kind::kCode},
        {"Vn_Cve_Vendedor", Kind::kCode},
        {"Cl_Cve_Cliente", Kind::kCode},
        {"Ps_Comentario", Kind::kText},
        {"Ps_Dia_Corte", Kind::kInteger},
        {"Ps_Referencia", Kind::kText},
        {"Tps_Cve_Tipo_Poliza_Servicio", Kind::kCode},
        {"Ps_Factura_ID", Kind::kText},
        {"Ps_Concepto", Kind::kText},
        {"Es_Cve_Estado", Kind::kCode, kActive},
        {"Oper_Alta", Kind::kLogin},
        {"Fecha_Alta", Kind::kDateTime},
        {"Oper_Ult_Modif", Kind::kLogin},
        {"Fecha_Ult_Modif", Kind::kDateTime},
        {"Oper_Baja", Kind::kLogin},
        {"Fecha_Baja", Kind::kDateTime}},
       "Ps_Folio"},
      // The column order is fixed: the services of a new policy are inserted by an
      // INSERT ... SELECT that names no columns.
      {"Poliza_Servicio_Tipo_Servicio",
       {{"Ps_Folio", Kind::kCode, "NOT NULL REFERENCES Poliza_Servicio (Ps_Folio)"},
        {"Ts_Cve_Tipo_Servicio", Kind::kCode,
         "NOT NULL REFERENCES Tipo_Servicio (Ts_Cve_Tipo_Servicio)"},
        {"Pst_Cantidad_Incluida", Kind::kNumber},
        {"Pst_Tiempo_Utilizado", Kind::kNumber},
        {"Pst_Evento_Utilizado", Kind::kNumber}},
       "Ps_Folio, Ts_Cve_Tipo_Servicio"},

      // The host's own records.
      {"folio_series",
       {{"branch", Kind::kCode, "NOT NULL"},
        {"table_name", Kind::kNoCaseCode, "NOT NULL"},
        {"last_number", Kind::kInteger, "NOT NULL DEFAULT 0"}},
       "branch, table_name"},
      {"extended_text",
       {{"table_name", Kind::kNoCaseCode, "NOT NULL"},
        {"record_key", Kind::kCode, "NOT NULL"},
        {"entry_code", Kind::kCode, "NOT NULL"},
        {"text", Kind::kText, "NOT NULL DEFAULT ''"}},
       "table_name, record_key, entry_code"},
      {"record_log",
       {{"id", Kind::kRowId, "NOT NULL"},
        {"table_name", Kind::kNoCaseCode, "NOT NULL"},
        {"record_key", Kind::kCode, "NOT NULL"},
        {"note", Kind::kText, "NOT NULL"},
        {"user_code", Kind::kLogin},
        {"logged_at", Kind::kDateTime}},
       "id"},
      {"additional_field",
       {{"table_name", Kind::kNoCaseCode, "NOT NULL"},
        {"field_name", Kind::kCode, "NOT NULL"},
        {"default_value", Kind::kText}},
       "table_name, field_name"},
      {"additional_field_value",
       {{"table_name", Kind::kNoCaseCode, "NOT NULL"},
        {"record_key", Kind::kCode, "NOT NULL"},
        {"field_name", Kind::kCode, "NOT NULL"},
        {"value", Kind::kText}},
       "table_name, record_key, field_name"},
      {"host_parameter", {{"name", Kind::kCode, "NOT NULL"}, {"value", Kind::kText}}, "name"},
      {"operator",
       {{"user_code", Kind::kCode, "NOT NULL"},
        {"name", Kind::kText},
        {"password_hash", Kind::kText},
        {"failed_attempts", Kind::kInteger, "NOT NULL DEFAULT 0"},
        {"locked_until", Kind::kDateTime},
        {"locked", Kind::kInteger, "NOT NULL DEFAULT 0"}},
       "user_code"},
      {"operator_permission",
       {{"user_code", Kind::kCode, "NOT NULL REFERENCES operator (user_code)"},
        {"module", Kind::kCode, "NOT NULL"},
        {"permission_key", Kind::kCode, "NOT NULL"}},
       "user_code, module, permission_key"},
      {"product_text",
       {{"product_code", Kind::kCode, "NOT NULL"}, {"text", Kind::kText, "NOT NULL DEFAULT ''"}},
       "product_code"},
      {"host_transaction",
       {{"application", Kind::kCode, "NOT NULL"},
        {"transaction_name", Kind::kCode, "NOT NULL"},
        {"code", Kind::kCode, "NOT NULL"}},
       "application, transaction_name"},
      {"policy_order",
       {{"folio", Kind::kCode, "NOT NULL"},
        {"client_name", Kind::kSortedText, "NOT NULL"},
        {"peak_use", Kind::kNumber, "NOT NULL"}},
       "folio"},
  };
  return tables;
}

// Every look-up the screen makes is a primary-key search or a search on a primary key's
// leading column; these keep the other joins and the foreign keys' checks keyed.
constexpr std::array<Index, 14> kIndexes = {{
    {"Tipo_Poliza_Servicio_Producto", "Tipo_Poliza_Servicio", "Pr_Cve_Producto"},
    {"Tipo_Poliza_Servicio_Tipo_Servicio_Servicio", "Tipo_Poliza_Servicio_Tipo_Servicio",
     "Ts_Cve_Tipo_Servicio"},
    {"Poliza_Servicio_Tipo_Servicio_Servicio", "Poliza_Servicio_Tipo_Servicio",
     "Ts_Cve_Tipo_Servicio"},
    {"record_log_record", "record_log", "table_name, record_key"},
    // The client search (F2) reads clients in key order with each name and state.
    {"Cliente_busqueda", "Cliente", "Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado"},
    // The policy finder and the reports: a client's policies, and policies by end date,
    // each in folio order; the finder's orders by branch, policy type and start, the start's
    // with what tells a policy's state (sqlite_schema.cpp says why).
    {"Poliza_Servicio_cliente", "Poliza_Servicio", "Cl_Cve_Cliente, Ps_Folio"},
    {"Poliza_Servicio_fin", "Poliza_Servicio", "Ps_Fecha_Finaliza, Ps_Folio"},
    {"Poliza_Servicio_sucursal", "Poliza_Servicio", "Sc_Cve_Sucursal, Ps_Folio"},
    {"Poliza_Servicio_tipo", "Poliza_Servicio", "Tps_Cve_Tipo_Poliza_Servicio, Ps_Folio"},
    {"Poliza_Servicio_inicio_vigencia", "Poliza_Servicio",
     "Ps_Fecha_Inicia, Ps_Folio, Ps_Fecha_Finaliza, Es_Cve_Estado"},
    // The finder's orders by client name and by use (policy_order.h).
    {"policy_order_name", "policy_order", "client_name, folio"},
    {"policy_order_use", "policy_order", "peak_use, folio"},
    // A key's start (the finder's folios, the client search): LIKE 'text%' reads a range of
    // an index that orders bytes, where the database's collation orders the keys otherwise.
    {"Poliza_Servicio_folio_texto", "Poliza_Servicio", "Ps_Folio text_pattern_ops", true},
    {"Cliente_clave_texto", "Cliente", "Cl_Cve_Cliente text_pattern_ops", true},
}};

bool MadeOn(const Index& index, bool postgresql) {
  return postgresql || !index.postgresql_only;
}

using TypeNames = std::array<std::string, 10>;  // by Kind
const TypeNames kPostgreSqlTypes = {"TEXT",
                                    "TEXT COLLATE polizas_nocase",
                                    "TEXT",
                                    "DATE",
                                    "TIMESTAMP(0)",
                                    "INTEGER",
                                    "DOUBLE PRECISION",
                                    "BIGINT GENERATED BY DEFAULT AS IDENTITY",
                                    "TEXT",
                                    "TEXT"};
// Create the database with a UTF-8 collation (SQL Server 2019 and later), so that VARCHAR
// and the screen's quoted literals carry any character.
// Codes compare exactly, as on the other databases ('ca' is no cancelled state, nor
// 'mty-000001' a folio of MTY) whatever the database's collation ignores.
const std::string kExactly = " COLLATE Latin1_General_100_BIN2_UTF8";
const TypeNames kSqlServerTypes = {std::string(kSqlServerCode) + kExactly,
                                   "VARCHAR(60) COLLATE Latin1_General_100_CI_AS_SC_UTF8",
                                   "VARCHAR(MAX)",
                                   "DATE",
                                   "DATETIME2(0)",
                                   "INT",
                                   "FLOAT",
                                   "BIGINT IDENTITY(1, 1)",
                                   std::string(kSqlServerKeptName),
                                   std::string(kSqlServerLogin) + kExactly};

std::string CreateTable(const Table& table, const TypeNames& types) {
  std::string sql = std::string("CREATE TABLE ") + table.name + " (";
  for (const Column& column : table.columns) {
    sql += std::string("\n  ") + column.name + " " + types[static_cast<int>(column.kind)];
    if (*column.constraints) sql += std::string(" ") + column.constraints;
    sql += ",";
  }
  return sql + "\n  PRIMARY KEY (" + table.primary_key + ")\n)";
}

Kind KindOf(std::string_view table_name, std::string_view column_name) {
  for (const Table& table : Tables())
    if (table.name == table_name)
      for (const Column& column : table.columns)
        if (column.name == column_name) return column.kind;
  throw Error("no column " + std::string(column_name) + " in " + std::string(table_name));
}

// SQL Server refuses a VARCHAR(MAX) as an index's key: the index carries such a column
// (INCLUDE) instead of ordering by it, which still spares reading the table's row.
std::string CreateIndex(const Index& index, const TypeNames& types) {
  std::string keys, carried;
  for (std::string_view rest = index.columns; !rest.empty();) {
    const std::size_t comma = rest.find(", ");
    const std::string_view column = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 2);
    const Kind kind = KindOf(index.table, column.substr(0, column.find(' ')));
    std::string& list =
        std::string_view(types[static_cast<int>(kind)]).ends_with("(MAX)") ? carried : keys;
    list += (list.empty() ? "" : ", ") + std::string(column);
  }
  return std::string("CREATE INDEX ") + index.name + " ON " + index.table + " (" + keys + ")" +
         (carried.empty() ? "" : " INCLUDE (" + carried + ")");
}

std::vector<std::string> TablesAndIndexes(const TypeNames& types, bool postgresql) {
  std::vector<std::string> statements;
  for (const Table& table : Tables()) statements.push_back(CreateTable(table, types));
  for (const Index& index : kIndexes)
    if (MadeOn(index, postgresql)) statements.push_back(CreateIndex(index, types));
  return statements;
}

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
  for (const Table& table : Tables()) {
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
  Append(statements, TablesAndIndexes(kPostgreSqlTypes, true));
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
  return statements;
}

std::vector<std::string> SqlServerSchema() {
  std::vector<std::string> statements = TablesAndIndexes(kSqlServerTypes, false);
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

namespace {

// SQL Server's guards (triggers and functions, written CREATE OR ALTER so that an upgrade
// writes them again in place), the order its triggers run in, and the operators' right to
// call the session's functions: what each such statement of the schema makes.
enum class GuardStatement { kOther, kGuard, kOrder, kGrant };
constexpr std::string_view kGuardStart = "CREATE OR ALTER ";
constexpr std::string_view kOrderStart = "EXEC sp_settriggerorder @triggername = '";
constexpr std::string_view kGrantStart = "GRANT EXECUTE ON ";

GuardStatement KindOfStatement(std::string_view statement) {
  if (statement.starts_with(kGuardStart)) return GuardStatement::kGuard;
  if (statement.starts_with(kOrderStart)) return GuardStatement::kOrder;
  if (statement.starts_with(kGrantStart)) return GuardStatement::kGrant;
  return GuardStatement::kOther;
}

// The text from `from` up to the first of `stops`; or from the end of `marker`.
std::string Word(std::string_view statement, std::size_t from, std::string_view stops) {
  return std::string(statement.substr(from, statement.find_first_of(stops, from) - from));
}
std::string After(std::string_view statement, std::string_view marker, std::string_view stops) {
  return Word(statement, statement.find(marker) + marker.size(), stops);
}

// The object a guard makes ("dbo.polizas_session_holds"), after TRIGGER or FUNCTION.
std::string GuardName(std::string_view statement) {
  return Word(statement, statement.find(' ', kGuardStart.size()) + 1, " (");
}
std::string OrderedTrigger(std::string_view statement) {
  return Word(statement, kOrderStart.size(), "'");
}

// One row when the database holds what the statement makes, as the statement makes it.
std::pair<std::string, std::vector<StatementValue>> SqlServerInForceQuery(
    const std::string& statement) {
  switch (KindOfStatement(statement)) {
    case GuardStatement::kGuard: {
      // The server may keep a module's text as sent or with "OR ALTER" taken out.
      const std::string as_created = "CREATE " + statement.substr(kGuardStart.size());
      return {
          "SELECT 1 AS v WHERE OBJECT_DEFINITION(OBJECT_ID(?)) COLLATE "
          "Latin1_General_100_BIN2 IN (CAST(? AS NVARCHAR(MAX)), CAST(? AS NVARCHAR(MAX)))",
          {GuardName(statement), statement, as_created}};
    }
    case GuardStatement::kOrder: {
      // OBJECTPROPERTY's ExecIsFirstUpdateTrigger and the like.
      const std::string event = AsciiLower(After(statement, "@stmttype = '", "'"));
      return {"SELECT 1 AS v WHERE OBJECTPROPERTY(OBJECT_ID(?), ?) = 1",
              {OrderedTrigger(statement), "ExecIs" + After(statement, "@order = '", "'") +
                                              static_cast<char>(event.front() - 'a' + 'A') +
                                              event.substr(1) + "Trigger"}};
    }
    case GuardStatement::kGrant:
      return {
          "SELECT 1 AS v FROM sys.database_permissions WHERE class = 1 AND major_id = "
          "OBJECT_ID(?) AND grantee_principal_id = DATABASE_PRINCIPAL_ID(?) AND type = 'EX' "
          "AND state IN ('G', 'W')",
          {Word(statement, kGrantStart.size(), " "), After(statement, " TO ", " ")}};
    case GuardStatement::kOther:
      break;
  }
  throw Error("not a statement of the guards: " + statement);
}

// Whether the schema's function of that name has this body (PostgreSQL).
bool HasBody(Database& database, const std::string& name, const std::string& body) {
  auto same = database.HostQuery(
      "SELECT 1 AS v FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace WHERE "
      "n.nspname = current_schema() AND p.proname = ? AND p.prosrc = ?",
      {name, body});
  const bool current = !same->Eof();
  same->Close();
  return current;
}

bool PostgreSqlPolicyOrderFunctionsCurrent(Database& database) {
  for (const auto& [name, body] : PostgreSqlPolicyOrderFunctions())
    if (!HasBody(database, name, body)) return false;
  return true;
}

// A function of PostgreSQL's schema as its statement writes it: what the server keeps of it,
// and the statement that writes it again in place (its grants and triggers stay, its
// settings go).
struct WrittenFunction {
  std::string name;  // as the statement spells it
  std::string key;   // as the server keeps it, in lower case
  std::string body;
  bool definer;     // runs as its owner
  char volatility;  // pg_proc.provolatile
  bool pinned;      // its search path fixed to the schema (PostgreSqlFixedSearchPath)
  std::string again;
};

// Every function the schema's statements write. polizas_server_now is written by a DO block
// for the time zone of the session that makes the schema, and is left as it was made.
std::vector<WrittenFunction> PostgreSqlFunctionsWritten() {
  constexpr std::string_view kCreate = "CREATE FUNCTION ";
  constexpr std::string_view kReplace = "CREATE OR REPLACE FUNCTION ";
  std::vector<std::string> pinned = PostgreSqlGuardFunctions();
  for (const auto& [name, body] : PostgreSqlPolicyOrderFunctions()) pinned.push_back(name);
  std::vector<WrittenFunction> functions;
  for (const std::string& statement : PostgreSqlSchema()) {
    std::string_view rest = statement;
    if (rest.starts_with(kCreate)) {
      rest.remove_prefix(kCreate.size());
    } else if (rest.starts_with(kReplace)) {
      rest.remove_prefix(kReplace.size());
    } else {
      continue;
    }
    const std::size_t as = rest.find(" AS ");
    const std::string_view head = rest.substr(0, as);
    const std::string_view quoted = rest.substr(as + 4);
    const std::size_t quote = quoted.starts_with("$$") ? 2 : 1;  // else 'text'
    WrittenFunction function{.name = std::string(head.substr(0, head.find('('))),
                             .key = {},
                             .body = std::string(quoted.substr(quote, quoted.size() - 2 * quote)),
                             .definer = head.find(" SECURITY DEFINER") != std::string_view::npos,
                             .volatility = head.find(" IMMUTABLE") != std::string_view::npos ? 'i'
                                           : head.find(" STABLE") != std::string_view::npos  ? 's'
                                                                                             : 'v',
                             .pinned = false,
                             .again = std::string(kReplace) + std::string(rest)};
    function.key = AsciiLower(function.name);
    function.pinned = std::ranges::find(pinned, function.key) != pinned.end();
    functions.push_back(std::move(function));
  }
  return functions;
}

bool IsAsWritten(Database& database, const WrittenFunction& function) {
  auto same = database.HostQuery(
      std::string("SELECT 1 AS v FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
                  "WHERE n.nspname = current_schema() AND p.proname = ? AND p.prosrc = ? AND "
                  "p.prosecdef = ") +
          (function.definer ? "true" : "false") + " AND p.provolatile = '" + function.volatility +
          "' AND p.proconfig IS NOT DISTINCT FROM " +
          (function.pinned ? "ARRAY['search_path=' || quote_ident(current_schema()) || ', pg_temp']"
                           : "NULL"),
      {function.key, function.body});
  const bool current = !same->Eof();
  same->Close();
  return current;
}

}  // namespace

std::vector<std::string> SqlServerGuardsAgain(
    const std::function<bool(const std::string&)>& in_force) {
  std::vector<std::string> again, written;
  for (const std::string& statement : SqlServerSchema()) {
    switch (KindOfStatement(statement)) {
      case GuardStatement::kGuard:
        if (!in_force(statement)) {
          again.push_back(statement);
          written.push_back(GuardName(statement));
        }
        break;
      // Writing a trigger again (ALTER) drops its place first or last: set it again.
      case GuardStatement::kOrder:
        if (std::ranges::find(written, OrderedTrigger(statement)) != written.end() ||
            !in_force(statement))
          again.push_back(statement);
        break;
      case GuardStatement::kGrant:
        if (!in_force(statement)) again.push_back(statement);
        break;
      case GuardStatement::kOther:
        break;
    }
  }
  return again;
}

// Held to the upgrade's end; a second upgrade begun meanwhile is not granted it.
constexpr std::string_view kUpgradeLockGranted =
    "SELECT 1 AS v WHERE pg_try_advisory_xact_lock(hashtext(?))";

// PostgreSQL: one row when the note stamp is the one made before it numbered the notes, and
// one when a trigger function of the schema (of the return type named) is any login's to call.
constexpr std::string_view kFunctionPresent =
    "SELECT 1 AS v FROM pg_proc WHERE oid = to_regprocedure(?)";
constexpr std::string_view kNoteStampOfOld =
    "SELECT 1 AS v FROM pg_proc WHERE oid = to_regprocedure(?) AND NOT prosecdef";
constexpr std::string_view kTriggerFunctionOpen =
    "SELECT 1 AS v FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace WHERE "
    "n.nspname = current_schema() AND p.prorettype = to_regtype(?) AND "
    "has_function_privilege('public', p.oid, 'EXECUTE') LIMIT 1";

std::vector<std::string> UpgradeServerSchema(Database& database) {
  const bool postgresql = database.Dialect() == SqlDialect::kPostgreSql;
  if (!postgresql && database.Dialect() != SqlDialect::kSqlServer)
    throw Error("only a server database is upgraded this way");
  const TypeNames& types = postgresql ? kPostgreSqlTypes : kSqlServerTypes;
  Connection& sql = database.ForHost();
  const auto present = [&](std::string_view query, std::string_view name) {
    auto result = database.HostQuery(std::string(query), {std::string(name)});
    const bool found = !result->Eof();
    result->Close();
    return found;
  };
  RequirePolicyTables(database);
  std::vector<std::string> added;
  TransactionScope transaction(sql);
  // Two upgrades at once would each add what the other is adding, and the second fail on
  // the server's catalogue: it is refused at once, saying why.
  if (postgresql && !present(kUpgradeLockGranted, "polizas-db upgrade"))
    throw Error(
        "another polizas-db upgrade of this database is running: run it again when it "
        "has ended");
  // A database made before operators had roles (the first server version) gets the roles,
  // their rights and the guards all as init makes them, below; what was added to those
  // since comes with them. The roles first: the kept orders' grant names one.
  const bool unguarded = postgresql && !present(kFunctionPresent, "polizas_session_administers()");
  if (unguarded) sql.Execute(PostgreSqlRoles());
  // The finder's kept orders: the table, its indexes, the triggers that keep it, the
  // operators' right to read it, and a row for every policy there is.
  if (!present(Traits(database.Dialect()).table_present_query, kPolicyOrderTable)) {
    for (const Table& table : Tables())
      if (table.name == kPolicyOrderTable) sql.Execute(CreateTable(table, types));
    for (const Index& index : kIndexes)
      if (index.table == kPolicyOrderTable) sql.Execute(CreateIndex(index, types));
    for (const std::string& statement :
         postgresql ? PostgreSqlPolicyOrderTriggers() : SqlServerPolicyOrderTriggers())
      sql.Execute(statement);
    for (const std::string& grant : GrantsOn(kPolicyOrderTable)) sql.Execute(grant);
    sql.Execute(FillPolicyOrder(postgresql ? std::string_view() : kSqlServerKeptName));
    added.emplace_back(kPolicyOrderTable);
  } else if (postgresql && !PostgreSqlPolicyOrderFunctionsCurrent(database)) {
    for (const std::string& statement : PostgreSqlPolicyOrderFunctionsAgain())
      sql.Execute(statement);
    added.emplace_back("locking in the functions that keep " + std::string(kPolicyOrderTable));
  }
  // The indexes the finder and the reports read by, and any other index of the schema.
  for (const Index& index : kIndexes) {
    if (index.table == kPolicyOrderTable || !MadeOn(index, postgresql)) continue;
    if (!present(Traits(database.Dialect()).index_present_query, index.name)) {
      sql.Execute(CreateIndex(index, types));
      added.emplace_back(index.name);
    }
  }
  if (unguarded) {
    // The server's time in the time zone of the session upgrading it, which GetDate() reads
    // once written again below (it read the clock in each session's own time zone).
    if (!present(kFunctionPresent, "polizas_server_now()")) sql.Execute(PostgreSqlServerNow());
    for (const std::string& statement : PostgreSqlAccess()) sql.Execute(statement);
    added.emplace_back("the operators' roles, their rights and the guards that hold them to them");
  }
  if (postgresql && !unguarded && present(kNoteStampOfOld, "polizas_stamp_note()")) {
    sql.Execute(PostgreSqlNoteStamp());
    sql.Execute(PostgreSqlFixedSearchPath({"polizas_stamp_note"}));
    added.emplace_back("the numbering of the operators' notes by the database alone");
  }
  const auto write_policy_stamp = [&] {
    for (const std::string& statement : PostgreSqlPolicyStamp()) sql.Execute(statement);
    sql.Execute(PostgreSqlFixedSearchPath({"polizas_stamp_policy"}));
  };
  if (!unguarded && !present(Traits(database.Dialect()).table_present_query, kReplacedDatesTable)) {
    if (postgresql) {
      write_policy_stamp();
    } else {
      // The policies' guard that uses it is written again with the others, below.
      for (const std::string& statement : SqlServerAccess())
        if (statement.starts_with("CREATE TABLE " + std::string(kReplacedDatesTable)))
          sql.Execute(statement);
    }
    added.emplace_back("an edit's policy keeping its date without CHFECHA");
  } else if (postgresql && !unguarded &&
             !HasBody(database, "polizas_stamp_policy", PostgreSqlPolicyStampBody())) {
    write_policy_stamp();
    added.emplace_back("a Baja that neither waits for another nor needs the policy's date");
  }
  if (!postgresql) {
    const std::vector<std::string> again = SqlServerGuardsAgain([&](const std::string& statement) {
      const auto [query, values] = SqlServerInForceQuery(statement);
      auto result = database.HostQuery(query, values);
      const bool found = !result->Eof();
      result->Close();
      return found;
    });
    for (const std::string& statement : again) sql.Execute(statement);
    for (const auto& [kind, what] :
         {std::pair{GuardStatement::kGuard, "the guards as this version writes them"},
          std::pair{GuardStatement::kOrder, "the order the guards run in"},
          std::pair{GuardStatement::kGrant,
                    "the operators' right to call the session's functions"}}) {
      const GuardStatement of = kind;  // a lambda cannot take a structured binding in Clang 14
      if (std::ranges::any_of(again,
                              [of](const std::string& s) { return KindOfStatement(s) == of; }))
        added.emplace_back(what);
    }
  }
  // Any other function of the schema that is not as this version writes it: GetDate() of a
  // database made before the roles, say. A function made here is any login's to call until
  // the trigger functions are closed, next.
  if (postgresql) {
    for (const WrittenFunction& function : PostgreSqlFunctionsWritten()) {
      if (IsAsWritten(database, function)) continue;
      sql.Execute(function.again);
      if (function.pinned) sql.Execute(PostgreSqlFixedSearchPath({function.key}));
      added.push_back(function.name + "() as this version writes it");
    }
  }
  if (postgresql && present(kTriggerFunctionOpen, "trigger")) {
    sql.Execute(PostgreSqlTriggerFunctionsClosed());
    added.emplace_back("trigger functions that no login may call");
  }
  transaction.Commit();
  return added;
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
