#include "host/db/sqlite_lift_check.h"

#include <sqlite3.h>

#include <cstdint>
#include <vector>

#include "component/error.h"
#include "host/db/sqlite_dialect.h"
#include "host/db/sqlite_recordset.h"

namespace nv407::host::sqlite {
namespace {

struct Outcome {
  std::string error;
  std::vector<std::string> names, rows;
  int changes = 0;
  std::uint64_t contents = 0;

  bool operator==(const Outcome&) const = default;
};

void Mix(std::uint64_t& hash, std::string_view bytes) {
  for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  hash = (hash ^ 0xff) * 1099511628211ull;  // ends the value
}

// A value with its kind, as the check compares it.
std::string Cell(sqlite3_stmt* statement, int column) {
  const int kind = sqlite3_column_type(statement, column);
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  const int size = sqlite3_column_bytes(statement, column);
  return std::to_string(kind) + ":" + std::string(text ? text : "", static_cast<std::size_t>(size));
}

// Every row of every table, in storage order, folded into one number.
std::uint64_t Contents(const std::shared_ptr<DbHandle>& db) {
  std::uint64_t hash = 14695981039346656037ull;
  Statement tables(db,
                   "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                   "'sqlite_%' ORDER BY name");
  while (tables.Step()) {
    const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(tables.get(), 0));
    Mix(hash, name);
    Statement rows(db, "SELECT * FROM \"" + name + "\"");
    while (rows.Step())
      for (int i = 0; i < sqlite3_column_count(rows.get()); ++i) Mix(hash, Cell(rows.get(), i));
  }
  return hash;
}

Outcome Run(const std::shared_ptr<DbHandle>& db, const std::string& text,
            const std::vector<LiftedValue>& values) {
  Outcome outcome;
  try {
    Statement statement(db, TranslateToSqlite(text));
    if (statement.get() != nullptr) BindValues(statement.get(), values);
    for (int i = 0; i < sqlite3_column_count(statement.get()); ++i)
      outcome.names.push_back(sqlite3_column_name(statement.get(), i));
    while (statement.Step()) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement.get()); ++i)
        row += Cell(statement.get(), i) + "|";
      outcome.rows.push_back(row);
    }
    outcome.changes = sqlite3_changes(db->get());
  } catch (const Error& failure) {
    outcome.error = failure.Description();
  }
  outcome.contents = Contents(db);
  return outcome;
}

}  // namespace

void CheckLiftedStatement(const std::shared_ptr<DbHandle>& db, const std::string& sql,
                          const LiftedStatement& lifted) {
  // A shape SQLite refuses is never run: the host then runs the text as written.
  try {
    Statement shape(db, TranslateToSqlite(lifted.shape));
  } catch (const Error&) {
    return;
  }
  db->Run("SAVEPOINT polizas_lift_check");
  const Outcome written = Run(db, sql, {});
  db->Run("ROLLBACK TO polizas_lift_check");
  const Outcome bound = Run(db, lifted.shape, lifted.values);
  db->Run("ROLLBACK TO polizas_lift_check");
  db->Run("RELEASE polizas_lift_check");
  if (written == bound) return;
  std::string what = written.error != bound.error
                         ? "the error: " + written.error + " / " + bound.error
                     : written.names != bound.names     ? "the column names"
                     : written.rows != bound.rows       ? "the rows"
                     : written.changes != bound.changes ? "the rows changed"
                                                        : "what the database holds after it";
  throw Error("binding the literals of this statement changes " + what + ": " + sql);
}

}  // namespace nv407::host::sqlite
