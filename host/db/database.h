#pragma once

#include <functional>
#include <memory>
#include <string>

#include "component/database.h"
#include "component/date.h"

namespace nv407::host {

// Who ran a statement, for the statement trace.
enum class SqlOrigin { kScreen, kHost };
using StatementTrace = std::function<void(SqlOrigin origin, const std::string& sql)>;

// The text forms of dates that statements quote, per database dialect.
enum class SqlDialect { kSqlite, kSqlServer };
std::string DateText(SqlDialect dialect, const Date& date);      // SqlDate
std::string DateTimeText(SqlDialect dialect, const Date& date);  // SqlDateTime

using Clock = std::function<Date()>;

// The host's one open database: a single session that the screen and the host's own
// services share, so that the host's records join the screen's transaction and roll
// back with it.
class Database {
 public:
  virtual ~Database() = default;
  virtual Connection& ForScreen() = 0;  // what GetConnection hands the screen; traced "screen"
  virtual Connection& ForHost() = 0;    // the host's services and controls; traced "host"
  virtual SqlDialect Dialect() const = 0;
  virtual bool InTransaction() const = 0;
  virtual void SetTrace(StatementTrace trace) = 0;
};

struct SqliteOptions {
  bool create = false;       // false: a missing file is an error, never a new database
  Clock clock;               // what GetDate() returns; the system clock when empty
  int busy_timeout_ms = 30000;
};

// Opens (or creates) a SQLite database file, or ":memory:".
std::unique_ptr<Database> OpenSqliteDatabase(const std::string& path, SqliteOptions options = {});

// The schema of the service-policy tables and of the host's own tables (no rows).
void CreateSchema(Connection& connection);
// Demo catalogues, parameters and operators.
void LoadDemoData(Connection& connection);

}  // namespace nv407::host
