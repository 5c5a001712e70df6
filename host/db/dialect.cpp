#include "host/db/dialect.h"

#include <array>

#include "component/error.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

// One upsert creates the series at 1 or moves it on by one, atomically even outside a
// transaction; a series at its limit is left alone and returns no row.
std::string UpsertReturning(const std::string& branch, const std::string& table,
                            std::int64_t largest) {
  return "INSERT INTO folio_series (branch, table_name, last_number) VALUES (" + branch + ", " +
         table + ", 1) ON CONFLICT (branch, table_name) DO UPDATE SET last_number = " +
         "folio_series.last_number + 1 WHERE folio_series.last_number < " +
         std::to_string(largest) + " RETURNING last_number AS v";
}

// HOLDLOCK keeps the key range locked from the match to the insert, so that two sessions
// cannot both find the series missing.
std::string MergeOutput(const std::string& branch, const std::string& table, std::int64_t largest) {
  return "MERGE folio_series WITH (HOLDLOCK) AS s USING (SELECT " + branch + " AS branch, " +
         table + " AS table_name) AS k ON s.branch = k.branch AND s.table_name = k.table_name " +
         "WHEN MATCHED AND s.last_number < " + std::to_string(largest) +
         " THEN UPDATE SET last_number = s.last_number + 1 WHEN NOT MATCHED THEN INSERT " +
         "(branch, table_name, last_number) VALUES (k.branch, k.table_name, 1) " +
         "OUTPUT inserted.last_number AS v;";
}

std::string NoStatement(int) {
  return {};
}
std::string NoClock(const Date&) {
  return {};
}

std::string PostgreSqlLockTimeout(int milliseconds) {
  return "SET lock_timeout = " + std::to_string(milliseconds);
}
std::string SqlServerLockTimeout(int milliseconds) {
  return "SET LOCK_TIMEOUT " + std::to_string(milliseconds);
}

// The schema's GetDate() reads this setting first (server_schema.cpp).
std::string PostgreSqlPinClock(const Date& now) {
  return "SELECT set_config('polizas.clock', '" + now.ToIsoDateTime(' ') + "', false)";
}

constexpr std::string_view kPostgreSqlReadOnly =
    "SELECT CASE WHEN current_setting('transaction_read_only') = 'on' THEN 1 "
    "WHEN to_regclass('poliza_servicio') IS NULL THEN 0 "
    "WHEN has_table_privilege('poliza_servicio', 'INSERT') THEN 0 ELSE 1 END AS v";
constexpr std::string_view kSqlServerReadOnly =
    "SELECT CASE WHEN DATABASEPROPERTYEX(DB_NAME(), 'Updateability') = 'READ_ONLY' THEN 1 "
    "WHEN OBJECT_ID('Poliza_Servicio') IS NULL THEN 0 "
    "WHEN HAS_PERMS_BY_NAME('Poliza_Servicio', 'OBJECT', 'INSERT') = 1 THEN 0 ELSE 1 END AS v";

constexpr std::array kDialects = {
    // SQLite: the busy timeout, GetDate() and read-only files are handled through its C
    // interface.
    DialectTraits{SqlDialect::kSqlite, "sqlite", "SQLite", false, ' ', &UpsertReturning,
                  &NoStatement, "", "", &NoClock, &CreateSqliteSchema},
    // 55P03 lock_not_available; the driver rolls back to before the statement.
    DialectTraits{SqlDialect::kPostgreSql, "postgresql", "PostgreSQL", false, ' ', &UpsertReturning,
                  &PostgreSqlLockTimeout, "55P03", kPostgreSqlReadOnly, &PostgreSqlPinClock,
                  &CreatePostgreSqlSchema},
    DialectTraits{SqlDialect::kSqlServer, "sqlserver", "SQL Server", true, 'T', &MergeOutput,
                  &SqlServerLockTimeout, "", kSqlServerReadOnly, &NoClock, &CreateSqlServerSchema},
};

}  // namespace

const DialectTraits& Traits(SqlDialect dialect) {
  for (const DialectTraits& traits : kDialects)
    if (traits.dialect == dialect) return traits;
  throw Error("no such database dialect");
}

std::optional<SqlDialect> DialectOfProduct(std::string_view dbms_name) {
  const std::string product = AsciiLower(dbms_name);
  for (const DialectTraits& traits : kDialects)
    if (product.find(AsciiLower(traits.dbms_name)) != std::string::npos) return traits.dialect;
  return std::nullopt;
}

std::optional<SqlDialect> DialectNamed(std::string_view name) {
  const std::string wanted = AsciiLower(name);
  for (const DialectTraits& traits : kDialects)
    if (traits.name == wanted) return traits.dialect;
  return std::nullopt;
}

std::string DateText(SqlDialect dialect, const Date& date) {
  if (!Traits(dialect).compact_dates) return date.ToIsoDate();
  std::string text = date.ToIsoDate();
  std::erase(text, '-');
  return text;
}

std::string DateTimeText(SqlDialect dialect, const Date& date) {
  return date.ToIsoDateTime(Traits(dialect).date_time_separator);
}

void CreateSchema(Connection& connection, SqlDialect dialect) {
  Traits(dialect).create_schema(connection);
}

}  // namespace nv407::host
