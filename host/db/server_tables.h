#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

namespace nv407::host {

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

// The SQL type of each Kind in one dialect.
using TypeNames = std::array<std::string, 10>;
const TypeNames& PostgreSqlTypes();
const TypeNames& SqlServerTypes();

const std::vector<Table>& ServerTables();
std::span<const Index> ServerIndexes();
// Whether the index is made on a database of that dialect (some exist on PostgreSQL only).
bool MadeOn(const Index& index, bool postgresql);

std::string CreateTable(const Table& table, const TypeNames& types);
std::string CreateIndex(const Index& index, const TypeNames& types);
// Every table, then every index of the dialect.
std::vector<std::string> TablesAndIndexes(const TypeNames& types, bool postgresql);

}  // namespace nv407::host
