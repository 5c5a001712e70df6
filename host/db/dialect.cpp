#include "host/db/dialect.h"

#include <array>

#include "component/error.h"
#include "host/db/server_access.h"
#include "host/db/statement_text.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

// "a, b, c", each name with a prefix ("s.a") or followed by " = excluded.a".
std::string Names(std::span<const std::string_view> names, std::string_view prefix = "",
                  std::string_view assigned_from = "") {
  std::string out;
  for (std::string_view name : names) {
    if (!out.empty()) out += ", ";
    out.append(prefix).append(name);
    if (!assigned_from.empty()) out.append(" = ").append(assigned_from).append(name);
  }
  return out;
}
std::string Places(std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += i == 0 ? "?" : ", ?";
  return out;
}

// One upsert creates the series at 1 or moves it on by one, atomically even outside a
// transaction; a series at its largest is left alone and returns no row.
std::string SeriesUpsert() {
  return "INSERT INTO folio_series (branch, table_name, last_number) VALUES (?, ?, 1) "
         "ON CONFLICT (branch, table_name) DO UPDATE SET last_number = "
         "folio_series.last_number + 1 WHERE folio_series.last_number < ? "
         "RETURNING last_number AS v";
}
std::string Taken(std::string_view table, std::string_view key, std::string_view folio) {
  return ", CASE WHEN EXISTS (SELECT 1 FROM " + std::string(table) + " WHERE " + std::string(key) +
         " = " + std::string(folio) + ") THEN 1 ELSE 0 END AS taken";
}
std::string SqliteAdvance(std::string_view table, std::string_view key) {
  if (table.empty()) return SeriesUpsert();
  return SeriesUpsert() + Taken(table, key, "? || printf('%0*d', ?, last_number)");
}
std::string PostgreSqlAdvance(std::string_view table, std::string_view key) {
  if (table.empty()) return SeriesUpsert();
  return SeriesUpsert() + Taken(table, key, "? || lpad(last_number::text, ?, '0')");
}

std::string UpsertOnConflict(std::string_view table, std::span<const std::string_view> keys,
                             std::span<const std::string_view> columns) {
  return "INSERT INTO " + std::string(table) + " (" + Names(keys) + ", " + Names(columns) +
         ") VALUES (" + Places(keys.size() + columns.size()) + ") ON CONFLICT (" + Names(keys) +
         ") DO UPDATE SET " + Names(columns, "", "excluded.");
}

// HOLDLOCK keeps the key range locked from the match to the insert, so that two sessions
// cannot both find the row missing. SQL Server's OUTPUT takes no subquery: a folio is
// checked by a statement of its own (folio_checked_in_series).
std::string SqlServerAdvance(std::string_view, std::string_view) {
  return "MERGE folio_series WITH (HOLDLOCK) AS s USING (SELECT ? AS branch, ? AS "
         "table_name) AS k ON s.branch = k.branch AND s.table_name = k.table_name "
         "WHEN MATCHED AND s.last_number < ? THEN UPDATE SET last_number = s.last_number + 1 "
         "WHEN NOT MATCHED THEN INSERT (branch, table_name, last_number) "
         "VALUES (k.branch, k.table_name, 1) OUTPUT inserted.last_number AS v;";
}
std::string Merge(std::string_view table, std::span<const std::string_view> keys,
                  std::span<const std::string_view> columns) {
  std::string sources, matched;
  for (std::string_view name : keys) {
    sources += (sources.empty() ? "? AS " : ", ? AS ") + std::string(name);
    matched +=
        (matched.empty() ? "t." : " AND t.") + std::string(name) + " = s." + std::string(name);
  }
  for (std::string_view name : columns) sources += ", ? AS " + std::string(name);
  return "MERGE " + std::string(table) + " WITH (HOLDLOCK) AS t USING (SELECT " + sources +
         ") AS s ON " + matched + " WHEN MATCHED THEN UPDATE SET " + Names(columns, "", "s.") +
         " WHEN NOT MATCHED THEN INSERT (" + Names(keys) + ", " + Names(columns) + ") VALUES (" +
         Names(keys, "s.") + ", " + Names(columns, "s.") + ");";
}

std::string NoStatement(int) {
  return {};
}
std::string NoClock(const Date&) {
  return {};
}
std::string NoRowLock(std::string_view) {
  return {};
}
std::string ForUpdateOf(std::string_view table) {
  return " FOR UPDATE OF " + std::string(table);
}

std::string PostgreSqlTransactionOutcome(std::string_view id) {
  return "SELECT pg_xact_status('" + std::string(id) + "'::xid8) AS v";
}

// A query, not SET: a data source set to read only lets the driver send nothing else.
std::string PostgreSqlLockTimeout(int milliseconds) {
  return "SELECT set_config('lock_timeout', '" + std::to_string(milliseconds) + "', false)";
}
std::string SqlServerLockTimeout(int milliseconds) {
  return "SET LOCK_TIMEOUT " + std::to_string(milliseconds);
}

// The schema's GetDate() reads this setting first (server_schema.cpp).
std::string PostgreSqlPinClock(const Date& now) {
  return "SELECT set_config('polizas.clock', '" + now.ToIsoDateTime(' ') + "', false)";
}

constexpr std::string_view kPostgreSqlSessionSetup =
    "SELECT set_config('standard_conforming_strings', 'on', false), "
    "set_config('default_transaction_isolation', 'read committed', false), "
    "set_config('DateStyle', 'ISO, MDY', false)";
constexpr std::string_view kPostgreSqlReadOnly =
    "SELECT CASE WHEN current_setting('transaction_read_only') = 'on' THEN 1 "
    "WHEN to_regclass('poliza_servicio') IS NULL THEN 0 "
    "WHEN has_table_privilege('poliza_servicio', 'INSERT') THEN 0 ELSE 1 END AS v";
constexpr std::string_view kSqlServerReadOnly =
    "SELECT CASE WHEN DATABASEPROPERTYEX(DB_NAME(), 'Updateability') = 'READ_ONLY' THEN 1 "
    "WHEN OBJECT_ID('Poliza_Servicio') IS NULL THEN 0 "
    "WHEN HAS_PERMS_BY_NAME('Poliza_Servicio', 'OBJECT', 'INSERT') = 1 THEN 0 ELSE 1 END AS v";

// VARCHAR holds the characters of the database's code page alone and turns any other into
// '?' without a word: the schema's texts and the screen's literals need UTF-8.
constexpr std::string_view kSqlServerUnfit =
    "SELECT CONCAT('the database''s collation is ', c, ', of code page ', "
    "CAST(COLLATIONPROPERTY(c, 'CodePage') AS INT), ', which turns any character outside it "
    "into ''?'': make it with a UTF-8 collation (CREATE DATABASE name COLLATE "
    "Latin1_General_100_CI_AS_SC_UTF8)') AS v FROM (SELECT CONVERT(NVARCHAR(128), "
    "DATABASEPROPERTYEX(DB_NAME(), 'Collation')) AS c) AS d WHERE "
    "ISNULL(CAST(COLLATIONPROPERTY(c, 'CodePage') AS INT), 0) <> 65001 "
    // Under READ_COMMITTED_SNAPSHOT a statement reads what was committed when it began, not
    // waiting for a change in progress: the triggers that keep the finder's orders would
    // compute a policy's values from a client's name or a service's counters another
    // transaction is changing, and keep the old ones once both have ended.
    "UNION ALL SELECT 'the database reads row versions under READ COMMITTED "
    "(READ_COMMITTED_SNAPSHOT is ON), with which the finder''s orders would miss changes made "
    "at the same time: turn it off (ALTER DATABASE name SET READ_COMMITTED_SNAPSHOT OFF)' AS v "
    "FROM sys.databases WHERE database_id = DB_ID() AND is_read_committed_snapshot_on = 1";

std::string NoLogin() {
  return {};
}

std::string LimitRows(const std::string& count) {
  std::string rows = "LIMIT ";
  rows += count;
  return rows;
}
std::string FetchRows(const std::string& count) {
  std::string rows = "OFFSET 0 ROWS FETCH NEXT ";
  rows += count;
  rows += " ROWS ONLY";
  return rows;
}

// GLOB, a POSIX expression, and LIKE in SQL Server: a set of characters ([...]) each of
// which is compared as the column's collation compares, exactly for keys.
std::string HoldsAnyOf(std::string_view column, std::string_view operation,
                       std::string_view anything, std::string_view characters) {
  std::string pattern(anything);
  pattern += '[';
  pattern += characters;
  pattern += ']';
  pattern += anything;
  std::string condition(column);
  condition += operation;
  condition += QuotedText(pattern);
  return condition;
}
std::string GlobHoldsAnyOf(std::string_view column, std::string_view characters) {
  return HoldsAnyOf(column, " GLOB ", "*", characters);
}
std::string MatchHoldsAnyOf(std::string_view column, std::string_view characters) {
  return HoldsAnyOf(column, " ~ ", "", characters);
}
std::string LikeHoldsAnyOf(std::string_view column, std::string_view characters) {
  return HoldsAnyOf(column, " LIKE ", "%", characters);
}

constexpr std::array kDialects = {
    // SQLite: the busy timeout, GetDate() and read-only files are handled through its C
    // interface.
    DialectTraits{
        .dialect = SqlDialect::kSqlite,
        .name = "sqlite",
        .dbms_name = "SQLite",
        .compact_dates = false,
        .date_time_separator = ' ',
        .advance_folio_series = &SqliteAdvance,
        .folio_checked_in_series = true,
        .upsert = &UpsertOnConflict,
        .session_setup = "",
        .lock_timeout = &NoStatement,
        .lock_timeout_state = "",
        .unfit_query = "",
        .read_only_query = "",
        .pin_clock = &NoClock,
        .create_schema = &CreateSqliteSchema,
        .like_ignores_case = true,
        .starts_by_range = true,
        .rows = &LimitRows,
        .nulls_first = true,
        .as_stored = "+",
        .infinity = "9e999",
        .holds_any_of = &GlobHoldsAnyOf,
        .session_login = &NoLogin,
        .session_login_ready_query = "",
        .login_permission_query = "",
        .server_time_query = "",
        .table_present_query = "SELECT 1 AS v FROM sqlite_master WHERE type = 'table' AND name = ?",
        .index_present_query = "SELECT 1 AS v FROM sqlite_master WHERE type = 'index' AND name = ?",
        .index_as_made_query =
            "SELECT 1 AS v FROM sqlite_master m WHERE m.type = 'index' AND m.name = ? COLLATE "
            "NOCASE AND m.tbl_name = ? COLLATE NOCASE AND NOT EXISTS (SELECT 1 FROM "
            "pragma_index_list(m.tbl_name) l WHERE l.name = m.name AND (l.\"unique\" OR "
            "l.partial)) AND (SELECT group_concat(name, ', ') FROM (SELECT name FROM "
            "pragma_index_info(m.name) ORDER BY seqno)) = ? COLLATE NOCASE",
        .table_columns_query = "SELECT name AS column_name FROM pragma_table_info(?) ORDER BY cid",
        .transaction_id_query = "",
        .transaction_outcome = nullptr,
        .lock_rows_hint = "",
        .lock_rows_of = &NoRowLock},
    DialectTraits{.dialect = SqlDialect::kPostgreSql,
                  .name = "postgresql",
                  .dbms_name = "PostgreSQL",
                  .compact_dates = false,
                  .date_time_separator = ' ',
                  .advance_folio_series = &PostgreSqlAdvance,
                  .folio_checked_in_series = true,
                  .upsert = &UpsertOnConflict,
                  .session_setup = kPostgreSqlSessionSetup,
                  .lock_timeout = &PostgreSqlLockTimeout,
                  // lock_not_available; the driver rolls back to before the statement.
                  .lock_timeout_state = "55P03",
                  .unfit_query = "",
                  .read_only_query = kPostgreSqlReadOnly,
                  .pin_clock = &PostgreSqlPinClock,
                  .create_schema = &CreatePostgreSqlSchema,
                  .like_ignores_case = false,
                  .starts_by_range = false,
                  .rows = &LimitRows,
                  .nulls_first = false,
                  .as_stored = "",
                  .infinity = "CAST('Infinity' AS FLOAT)",
                  .holds_any_of = &MatchHoldsAnyOf,
                  .session_login = &PostgreSqlSessionLogin,
                  .session_login_ready_query =
                      "SELECT 1 AS v WHERE to_regprocedure('polizas_session_administers()') IS "
                      "NOT NULL",
                  .login_permission_query = "SELECT 1 AS v WHERE polizas_session_holds(?, ?)",
                  .server_time_query = "SELECT GetDate() AS v",
                  .table_present_query = "SELECT 1 AS v WHERE to_regclass(?) IS NOT NULL",
                  .index_present_query = "SELECT 1 AS v WHERE to_regclass(?) IS NOT NULL",
                  .index_as_made_query =
                      "SELECT 1 AS v FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
                      "JOIN pg_class t ON t.oid = i.indrelid WHERE c.relnamespace = "
                      "current_schema()::regnamespace AND c.relname = lower(?) AND t.relname = "
                      "lower(?) AND NOT i.indisunique AND i.indpred IS NULL AND i.indexprs IS "
                      "NULL AND (SELECT string_agg(a.attname, ', ' ORDER BY k.n) FROM "
                      "unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, n) JOIN pg_attribute "
                      "a ON a.attrelid = i.indrelid AND a.attnum = k.attnum) = lower(?)",
                  // The search path decides, as for the statements: another schema's table
                  // of that name (an archived copy, say) is not this one.
                  .table_columns_query =
                      "SELECT attname AS column_name FROM pg_attribute WHERE attrelid = "
                      "to_regclass(?) AND attnum > 0 AND NOT attisdropped ORDER BY attnum",
                  .transaction_id_query = "SELECT pg_current_xact_id_if_assigned()::text AS v",
                  .transaction_outcome = &PostgreSqlTransactionOutcome,
                  .lock_rows_hint = "",
                  .lock_rows_of = &ForUpdateOf},
    DialectTraits{
        .dialect = SqlDialect::kSqlServer,
        .name = "sqlserver",
        .dbms_name = "SQL Server",
        .compact_dates = true,
        .date_time_separator = 'T',
        .advance_folio_series = &SqlServerAdvance,
        .folio_checked_in_series = false,
        .upsert = &Merge,
        .session_setup = "",
        .lock_timeout = &SqlServerLockTimeout,
        .lock_timeout_state = "",
        .unfit_query = kSqlServerUnfit,
        .read_only_query = kSqlServerReadOnly,
        .pin_clock = &NoClock,
        .create_schema = &CreateSqlServerSchema,
        .like_ignores_case = false,
        .starts_by_range = false,
        .rows = &FetchRows,
        .nulls_first = true,
        .as_stored = "",
        .infinity = "CAST('Infinity' AS FLOAT)",
        .holds_any_of = &LikeHoldsAnyOf,
        .session_login = &SqlServerSessionLogin,
        .session_login_ready_query =
            "SELECT 1 AS v WHERE OBJECT_ID('dbo.polizas_session_administers') IS NOT NULL",
        .login_permission_query = "SELECT 1 AS v WHERE dbo.polizas_session_holds(?, ?) = 1",
        .server_time_query = "SELECT GetDate() AS v",
        .table_present_query = "SELECT 1 AS v WHERE OBJECT_ID(?) IS NOT NULL",
        .index_present_query = "SELECT 1 AS v FROM sys.indexes WHERE name = ?",
        .index_as_made_query =
            "SELECT 1 AS v FROM sys.indexes i WHERE i.name = ? AND i.object_id = OBJECT_ID(?) AND "
            "i.is_unique = 0 AND i.has_filter = 0 AND (SELECT STRING_AGG(c.name, ', ') WITHIN "
            "GROUP (ORDER BY ic.key_ordinal) FROM sys.index_columns ic JOIN sys.columns c ON "
            "c.object_id = ic.object_id AND c.column_id = ic.column_id WHERE ic.object_id = "
            "i.object_id AND ic.index_id = i.index_id AND ic.key_ordinal > 0) = ?",
        .table_columns_query = "SELECT name AS column_name FROM sys.columns WHERE object_id = "
                               "OBJECT_ID(?) ORDER BY column_id",
        .transaction_id_query = "",
        .transaction_outcome = nullptr,
        .lock_rows_hint = " WITH (UPDLOCK, HOLDLOCK)",
        .lock_rows_of = &NoRowLock},
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
