#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "component/database.h"
#include "component/date.h"
#include "host/db/database.h"

namespace nv407::host {

// What differs between the databases the host runs on, one row per dialect. The screen's
// statements are the same on every dialect; what varies is listed here and nowhere else.
struct DialectTraits {
  SqlDialect dialect;
  std::string_view name;       // as --dialect and the messages spell it
  std::string_view dbms_name;  // what the driver reports as the product name contains
  // SqlDate: "YYYYMMDD" (read alike under every language setting) or "YYYY-MM-DD".
  bool compact_dates;
  char date_time_separator;  // between the date and the time of SqlDateTime
  // The statement that moves a folio series on by one, creating it at 1, and returns the
  // new number as column "v"; no row when the series stands at its largest already. Its
  // values: branch, table, largest. Given a table and its key column, it also returns as
  // column "taken" (1 or 0) whether the folio of the new number is a row of that table
  // already, where the dialect can tell in the same statement; two more values then: the
  // folio's text before the number, and the number's digits (zero-padded).
  std::string (*advance_folio_series)(std::string_view checked_table, std::string_view checked_key);
  // Whether that statement can tell "taken" (and takes the two more values); where it
  // cannot, it is given no table and the folio is checked by a statement of its own.
  bool folio_checked_in_series;
  // One statement that writes a row, or the value columns of the row with the same key
  // columns when there is one. Its values: the keys', then the other columns', in order.
  std::string (*upsert)(std::string_view table, std::span<const std::string_view> keys,
                        std::span<const std::string_view> columns);
  // Run first on connecting: what the statements rely on whatever the server, the database
  // or the login sets by default ("" where nothing needs setting). PostgreSQL: a backslash
  // in a literal is a character, as the SQL standard has it, and no escape; transactions
  // read what others committed, and wait for the rows they lock, rather than fail as
  // serializable ones would when two operators save at once; dates come back as ISO
  // writes them, whatever a data source's settings for the connection set.
  std::string_view session_setup;
  // Session statements run on connecting: how long a statement waits for a lock held by
  // another session before it is refused ("" where the connection sets it otherwise).
  std::string (*lock_timeout)(int milliseconds);
  // The SQLSTATE of a statement refused by that timeout, which undoes the statement alone
  // and so lets it run again; "" where a wait is not observed this way.
  std::string_view lock_timeout_state;
  // Run on connecting: a row, column v, for each reason why the database cannot keep what
  // the screen writes as written, none where it can ("" where nothing is checked).
  std::string_view unfit_query;
  // One row, column v: 1 when the session may not write policies (a read-only server or
  // database, or no right to insert); "" where the connection tells it otherwise.
  std::string_view read_only_query;
  // What makes GetDate() return a pinned time for this session; "" where GetDate() is the
  // server's own function and cannot be pinned.
  std::string (*pin_clock)(const Date& now);
  // The tables, keys, indexes, guards and functions of a new database.
  void (*create_schema)(Connection& connection);
  // A list's search (F2): whether LIKE compares letters without regard to case by itself
  // (elsewhere both sides are upper-cased), and the clause after ORDER BY that keeps the
  // first `count` rows (a number, or a scalar subquery of none of the statement's rows).
  bool like_ignores_case;
  // Whether a key's start is found as a range of texts (the key >= the text and < the text
  // with its last byte raised), which holds where keys compare as bytes; elsewhere by
  // LIKE 'text%', which the server reads as a range of an index in an order of its choosing.
  bool starts_by_range;
  std::string (*rows)(const std::string& count);
  // Whether NULL sorts before every value in an ascending order (and after them in a
  // descending one), or the other way round.
  bool nulls_first;
  // What reads a result's value as stored when written before it ("+" where a column
  // declared as a date is handed out as a Date, which drops the text it stores: SQLite's),
  // and a literal of the double above every number (negated, the one below).
  std::string_view as_stored;
  std::string_view infinity;
  // A condition: the column holds any of the characters (letters), each compared exactly,
  // as keys compare.
  std::string (*holds_any_of)(std::string_view column, std::string_view characters);
  // Where the connection's login is the operator: one row with the login as column "v",
  // "administers" 1 when the login owns the database's tables (and names operators itself),
  // and "operates" 1 when it is granted the screen (a member of the capture role). ""
  // where operators sign in with the host instead (SQLite).
  std::string (*session_login)();
  // One row when the database has the functions that query calls (a server database made
  // before the operators' roles has none); "" where it calls none.
  std::string_view session_login_ready_query;
  // One row when the session's login holds a permission through its group role; its
  // values: module, key.
  std::string_view login_permission_query;
  // One row, column v: the server's date and time, for a host whose clock is not pinned;
  // "" where the host's clock is the database's.
  std::string_view server_time_query;
  // One row when the database has the table named by its one value; the same for an index.
  std::string_view table_present_query;
  std::string_view index_present_query;
  // One row when the index named by its first value is on the table of the second, not
  // unique and not partial, with exactly the key columns of the third ("a, b", in their order,
  // in any letter case): an index as an earlier version made it, not one an office made.
  std::string_view index_as_made_query;
  // The columns of the table its one value names, as column "column_name" in their order:
  // the table an unqualified name in a statement reaches, not a like-named one elsewhere.
  std::string_view table_columns_query;
  // One row, column v: the server's number of the open transaction, Null while it has
  // written nothing; "" where the server cannot say later how a transaction ended.
  std::string_view transaction_id_query;
  // One row, column v, of the transaction of that number: "committed", "aborted" or
  // "in progress" (the number comes from the query above).
  std::string (*transaction_outcome)(std::string_view id);
  // A read of rows the transaction relies on until it ends, locked against other sessions'
  // changes: the hint after the table's name, and the clause that ends the statement naming
  // that table ("" where the transaction holds the write lock from its start: SQLite's).
  std::string_view lock_rows_hint;
  std::string (*lock_rows_of)(std::string_view table);
};

const DialectTraits& Traits(SqlDialect dialect);
// The dialect of a database product as the driver names it ("PostgreSQL", "Microsoft SQL
// Server"), or of a name given on the command line ("postgresql", "sqlserver").
std::optional<SqlDialect> DialectOfProduct(std::string_view dbms_name);
std::optional<SqlDialect> DialectNamed(std::string_view name);

// The schema of each dialect (sqlite_schema.cpp, server_schema.cpp); the servers' as the
// statements that make it, in order.
void CreateSqliteSchema(Connection& connection);
void CreatePostgreSqlSchema(Connection& connection);
void CreateSqlServerSchema(Connection& connection);
std::vector<std::string> PostgreSqlSchema();
std::vector<std::string> SqlServerSchema();
// The statements of SqlServerSchema() that an upgrade runs again, in their order, where
// `in_force` tells which of them the database holds as written: each guard (trigger or
// function) whose text is not this version's, each order of triggers that is not set or
// whose trigger is written again, and each right to call a function that is not granted.
std::vector<std::string> SqlServerGuardsAgain(
    const std::function<bool(const std::string& statement)>& in_force);

}  // namespace nv407::host
