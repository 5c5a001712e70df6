#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "component/database.h"
#include "component/date.h"
#include "host/db/statement_text.h"

namespace nv407::host {

// Who ran a statement, for the statement trace.
enum class SqlOrigin { kScreen, kHost };
// Receives the text of every statement passed to Execute, exactly as given, before it
// runs (and whether or not it then succeeds). Transaction commands are not traced.
using StatementTrace = std::function<void(SqlOrigin origin, const std::string& sql)>;

// The database products the host runs on; what differs between them is in dialect.h.
enum class SqlDialect { kSqlite, kSqlServer, kPostgreSql };
// The text forms of dates that statements quote. SQLite and PostgreSQL: "YYYY-MM-DD";
// SQL Server: "YYYYMMDD".
std::string DateText(SqlDialect dialect, const Date& date);  // SqlDate
// SQLite and PostgreSQL: "YYYY-MM-DD HH:MM:SS"; SQL Server: "YYYY-MM-DDTHH:MM:SS".
std::string DateTimeText(SqlDialect dialect, const Date& date);  // SqlDateTime

using Clock = std::function<Date()>;
// Told true when a statement starts waiting for a lock that another session holds, and
// false once it has stopped waiting (whether it then got the lock or gave up).
using LockWaitObserver = std::function<void(bool waiting)>;

// The host's one open database: a single session that the screen and the host's own
// services share, so that the host's records join the screen's transaction and roll
// back with it. Either connection's BeginTrans/CommitTrans/RollbackTrans acts on that
// one session.
class Database {
 public:
  virtual ~Database() = default;
  virtual Connection& ForScreen() = 0;  // what GetConnection hands the screen; traced "screen"
  virtual Connection& ForHost() = 0;    // the host's services and controls; traced "host"
  // One of the host's own statements, each `?` standing for the next value: the values are
  // bound where the database binds them (the statement then prepared once and kept), written
  // in as literals otherwise. Traced "host" with the values in place.
  virtual std::unique_ptr<Recordset> HostQuery(const std::string& sql,
                                               std::vector<StatementValue> values) = 0;
  virtual SqlDialect Dialect() const = 0;
  virtual bool InTransaction() const = 0;
  // The database can be read but not written (a write-protected file, say).
  virtual bool ReadOnly() const = 0;
  // Why it cannot be written, in a user's words ("the file is write-protected"); "" when it
  // can.
  virtual std::string WhyReadOnly() const {
    return ReadOnly() ? "the database takes no changes from this session" : "";
  }
  virtual void SetTrace(StatementTrace trace) = 0;
  virtual void SetLockWaitObserver(LockWaitObserver observer) = 0;
  // The operator the session works for, where the connection does not prove one (a SQLite
  // file, whose operators sign in with the host): from then on the session holds the
  // policies it writes to that operator's permissions, as a server holds its logins. Until
  // then its statements are taken as written.
  virtual void WorkFor(const std::string& user_code) = 0;
  // The policy the open transaction saves (its folio), for what is said of that transaction
  // if its commit is lost: a commit whose outcome could not be known, found made later,
  // names it.
  virtual void TransactionSaves(const std::string& /*policy*/) {}
  // The operator left the screen's capture or edit (Cancelar, Nuevo) or had a policy
  // loaded. A commit whose outcome could not be known, found made later, refuses every
  // transaction until then: the capture still on the screen would be saved twice. One not
  // yet found made by then holds nothing back: no capture is left to save it twice.
  virtual void CaptureLeft() {}
};

struct SqliteOptions {
  bool create = false;  // false: a missing or empty file is an error, never a new database
  Clock clock = {};     // what GetDate() returns; the system's local time when empty
  int busy_timeout_ms = 30000;
  // For a program that only reads: the file keeps its journal mode and its schema (one made
  // before policy_order has its orders computed as it is read). It still opens for writing
  // where it can, so that SQLite removes the log and index it made beside the file.
  bool only_reads = false;
  // Where given, what opening the file for writing added to one made by an earlier version,
  // named for its user (polizas-db upgrade says so).
  std::vector<std::string>* added_on_opening = nullptr;
};

// Opens (or creates) a SQLite database file. The session runs in WAL mode with synchronous
// FULL and foreign keys enforced; BeginTrans takes the write lock at once and waits up to
// busy_timeout_ms for another process to release it. A file that cannot be written is opened
// for reading (ReadOnly). `path` is always a file's, whatever SQLite would make of the name
// (":memory:" is the file of that name in the current folder).
std::unique_ptr<Database> OpenSqliteDatabase(const std::string& path, SqliteOptions options = {});
// A new, empty database of the session's own, in memory.
std::unique_ptr<Database> OpenSqliteMemoryDatabase(SqliteOptions options = {});

struct OdbcOptions {
  // What GetDate() returns where the dialect lets a session pin it (PostgreSQL); the
  // server's own time when empty.
  Clock clock = {};
  int login_timeout_seconds = 10;  // to connect, and to connect again after a loss
  int lock_timeout_ms = 30000;     // a statement waits this long for another session's lock
};

// Connects through the ODBC driver manager with an ODBC connection string ("DSN=name;..."
// or "Driver={...};..."). The dialect is the one the driver reports, or the one named by a
// "Dialect=postgresql|sqlserver" attribute of the string, which the driver never sees.
// A connection lost between commands is made again on the next statement; one lost in a
// transaction fails that transaction.
std::unique_ptr<Database> OpenOdbcDatabase(const std::string& connection_string,
                                           OdbcOptions options = {});

// A transaction for host code that writes on its own (outside the screen's commands):
// begins on construction and rolls back on destruction unless committed.
class TransactionScope {
 public:
  explicit TransactionScope(Connection& connection);
  ~TransactionScope();
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;
  void Commit();

 private:
  Connection* connection_;
  bool open_ = true;
};

// The schema of the service-policy tables and of the host's own tables (no rows), in the
// given dialect. Runs in the caller's transaction, if any.
void CreateSchema(Connection& connection, SqlDialect dialect);
// Demo catalogues, parameters and operators, on a database with the schema and no rows.
void LoadDemoData(Connection& connection);
// The tables of the schema that a server database holds already, as it names them.
std::vector<std::string> SchemaTablesPresent(Connection& connection);
// Whether the database holds the table, in any dialect.
bool HasTable(Database& database, const std::string& table);
// Raises an Error saying who makes them when a server database holds no service policies
// (a file without them does not open).
void RequirePolicyTables(Database& database);
// Raises an Error saying how to bring it up to date when a server database was made before
// the operators' roles, whose functions tell who the session's login is.
void RequireOperatorRoles(Database& database);
// Adds to a server database made by an earlier version what its schema lacks, in one
// transaction: the finder's kept orders (policy_order with its indexes and triggers, the
// operators' right to read it, and its rows) and any index of the schema; on PostgreSQL,
// every function of the schema as this version writes it; on SQL Server, its guards as this
// version writes them, the order they run in and the operators' right to call the session's
// functions; and it drops the indexes this version replaced. Run as the database's owner.
struct SchemaUpgrade {
  std::vector<std::string> added;    // none when nothing was missing
  std::vector<std::string> dropped;  // the replaced indexes it held
};
SchemaUpgrade UpgradeServerSchema(Database& database);

// A description on one line, for the programs' one-line reports: drivers break their
// messages over several.
std::string OneLine(std::string_view description);
// The demo's policies, on top of LoadDemoData's rows: a few dozen across the branches,
// dated around the day of `now` so that the demo stays current, with the clients they
// name, their folio series, record-log notes and extended texts. Plain SQL that every
// dialect runs.
void LoadDemoPolicies(Connection& connection, const Date& now);

}  // namespace nv407::host
