#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "component/error.h"
#include "data/schema.h"
#include "host/db/access.h"
#include "host/db/database.h"
#include "host/db/literal_lifter.h"
#include "host/db/sqlite_dialect.h"
#include "host/db/sqlite_handles.h"
#include "host/db/sqlite_lift_check.h"
#include "host/db/sqlite_location.h"
#include "host/db/sqlite_recordset.h"
#include "host/db/sqlite_schema.h"
#include "host/db/sqlite_statement_cache.h"
#include "host/db/system_clock.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

using sqlite::Check;
using sqlite::DbHandle;
using sqlite::Statement;

// Statements of this many texts stay prepared: a screen runs a few dozen.
constexpr std::size_t kCachedStatements = 128;

// The kernel's tick count (a few milliseconds apart), read without a system call: cheap
// enough to read before every statement.
std::int64_t TickMilliseconds() {
#ifdef CLOCK_MONOTONIC_COARSE
  constexpr clockid_t kClock = CLOCK_MONOTONIC_COARSE;
#else
  constexpr clockid_t kClock = CLOCK_MONOTONIC;
#endif
  timespec now{};
  clock_gettime(kClock, &now);
  return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

// What the screen's and the host's connections share.
struct Session {
  std::shared_ptr<DbHandle> db;
  std::shared_ptr<sqlite::StatementCache> statements;
  LiftedTexts lifted;
  std::optional<sqlite::Transaction> transaction;
  StatementTrace trace;
  bool check_lifted = false;
  int busy_timeout_ms = 0;
  LockWaitObserver lock_wait;
  bool waiting = false;
  // Whom the session's guards of policy dates and used counters hold to their permissions
  // (none: nobody), and how many of its transactions have committed, which tells the date's
  // guard one transaction's cancellations from an earlier one's.
  std::optional<std::string> operator_code;
  std::int64_t commits = 0;
  // When the file was last found where it was opened.
  std::int64_t file_found_ms = TickMilliseconds();

  bool InTransaction() const { return !sqlite3_get_autocommit(db->get()); }
  // A statement outside a transaction reads what the file holds then: it is refused once the
  // file has been replaced, a look-up as a save (whose transaction asks as it begins).
  void RefuseAMovedFileNowAndThen() {
    if (InTransaction()) return;
    const std::int64_t now = TickMilliseconds();
    if (now - file_found_ms < sqlite::kMovedFileCheckInterval.count()) return;
    sqlite::RefuseAMovedFile(db->get());
    file_found_ms = now;
  }
  void EndWait() {
    if (!waiting) return;
    waiting = false;
    if (lock_wait) lock_wait(false);
  }
};

// SQLite's own busy timeout, and the observer told when a wait starts.
int WaitForLock(void* data, int attempt) {
  auto& session = *static_cast<Session*>(data);
  static constexpr int kDelaysMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
  static constexpr int kCount = sizeof kDelaysMs / sizeof kDelaysMs[0];
  int waited = 0;
  for (int i = 0; i < std::min(attempt, kCount); ++i) waited += kDelaysMs[i];
  if (attempt >= kCount) waited += (attempt - kCount) * kDelaysMs[kCount - 1];
  if (waited >= session.busy_timeout_ms) return 0;
  if (attempt == 0 && !session.waiting) {
    session.waiting = true;
    if (session.lock_wait) session.lock_wait(true);
  }
  const int delay =
      std::min(kDelaysMs[std::min(attempt, kCount - 1)], session.busy_timeout_ms - waited);
  sqlite3_sleep(delay);
  return 1;
}

// Tells the observer that a wait is over when the call that waited returns, however it does.
struct WaitScope {
  explicit WaitScope(Session& s) : session(s) {}
  ~WaitScope() { session.EndWait(); }
  WaitScope(const WaitScope&) = delete;
  WaitScope& operator=(const WaitScope&) = delete;
  Session& session;
};

class SqliteConnection final : public Connection {
 public:
  SqliteConnection(Session& session, SqlOrigin origin) : session_(session), origin_(origin) {}

  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    if (session_.trace) session_.trace(origin_, sql);
    session_.RefuseAMovedFileNowAndThen();
    WaitScope wait(session_);
    // Statements that differ only in their values share one prepared statement; the values
    // are bound. A text whose shape SQLite refuses runs as written, for its own message.
    if (std::shared_ptr<const KeptLift> kept = session_.lifted.Lift(sql)) {
      const LiftedStatement& lifted = kept->statement;
      if (session_.check_lifted) sqlite::CheckLiftedStatement(session_.db, sql, lifted);
      std::optional<sqlite::StatementLease> statement;
      try {
        statement.emplace(session_.statements->Acquire(
            HashedText{kept->shape_hash, lifted.shape}, &sqlite::TranslateToSqlite,
            std::shared_ptr<const std::string>(kept, &lifted.shape)));
      } catch (const Error&) {
      }
      if (statement) {
        return std::make_unique<sqlite::SqliteRecordset>(
            std::move(*statement),
            std::shared_ptr<const std::vector<LiftedValue>>(kept, &lifted.values));
      }
    }
    return std::make_unique<sqlite::SqliteRecordset>(
        sqlite::StatementCache::PrepareOnce(session_.db, sqlite::TranslateToSqlite(sql)), nullptr);
  }

  void BeginTrans() override {
    if (session_.InTransaction()) throw Error("BeginTrans: a transaction is already open");
    sqlite::RefuseAMovedFile(session_.db->get());
    WaitScope wait(session_);
    session_.transaction.emplace(session_.db);
  }

  void CommitTrans() override {
    if (!session_.transaction) throw Error("CommitTrans: no transaction is open");
    WaitScope wait(session_);
    try {
      session_.transaction->Commit();
    } catch (const Error&) {
      // A commit that failed leaves the transaction open for the caller to roll back,
      // unless SQLite has rolled it back itself.
      if (!session_.transaction->Open()) session_.transaction.reset();
      throw;
    }
    session_.transaction.reset();
  }

  void RollbackTrans() override {
    if (!session_.transaction) throw Error("RollbackTrans: no transaction is open");
    session_.transaction->Rollback();
    session_.transaction.reset();
  }

 private:
  Session& session_;
  SqlOrigin origin_;
};

const Session& SessionOf(sqlite3_context* context) {
  return *static_cast<const Session*>(sqlite3_user_data(context));
}

void OperatorFunction(sqlite3_context* context, int, sqlite3_value**) {
  const std::optional<std::string>& user = SessionOf(context).operator_code;
  if (!user) return sqlite3_result_null(context);
  sqlite3_result_text(context, user->c_str(), static_cast<int>(user->size()), SQLITE_TRANSIENT);
}

void TransactionFunction(sqlite3_context* context, int, sqlite3_value**) {
  sqlite3_result_int64(context, SessionOf(context).commits);
}

void PolicyDateRefusalFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
  const auto text = [&](int i) {
    const auto* value = reinterpret_cast<const char*>(sqlite3_value_text(arguments[i]));
    return std::string(value ? value : "");
  };
  const std::string message =
      PolicyDateRefusal(SessionOf(context).operator_code.value_or(""), text(0), text(1));
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

void CounterRefusalFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
  const auto* folio = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
  const std::string message =
      CounterChangeRefusal(SessionOf(context).operator_code.value_or(""), folio ? folio : "");
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

void LockedOperatorFunction(sqlite3_context* context, int, sqlite3_value**) {
  const std::string message =
      sqlite::LockedOperatorMessage(SessionOf(context).operator_code.value_or(""));
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

// What the session's policy-date and counter guards ask of the session (sqlite_schema.h). A
// rolled-back transaction takes its cancellations with it; a committed one's are told apart by
// number.
void RegisterOperatorFunctions(Session& session) {
  sqlite3* db = session.db->get();
  const auto define = [&](const char* name, int arguments,
                          void (*function)(sqlite3_context*, int, sqlite3_value**)) {
    Check(db, sqlite3_create_function_v2(db, name, arguments, SQLITE_UTF8, &session, function,
                                         nullptr, nullptr, nullptr));
  };
  define(sqlite::kOperatorFunction, 0, &OperatorFunction);
  define(sqlite::kTransactionFunction, 0, &TransactionFunction);
  define(sqlite::kPolicyDateRefusalFunction, 2, &PolicyDateRefusalFunction);
  define(sqlite::kCounterRefusalFunction, 1, &CounterRefusalFunction);
  define(sqlite::kLockedOperatorFunction, 0, &LockedOperatorFunction);
  sqlite3_commit_hook(
      db,
      [](void* data) {
        ++static_cast<Session*>(data)->commits;
        return 0;
      },
      &session);
}

class SqliteDatabase final : public Database {
 public:
  SqliteDatabase(std::shared_ptr<DbHandle> db, int busy_timeout_ms, bool check_lifted,
                 std::string read_only_because)
      : read_only_because_(std::move(read_only_because)),
        session_{db,
                 std::make_shared<sqlite::StatementCache>(db, kCachedStatements),
                 {},
                 std::nullopt,
                 {},
                 check_lifted,
                 busy_timeout_ms,
                 {},
                 false,
                 std::nullopt,
                 0},
        screen_(session_, SqlOrigin::kScreen),
        host_(session_, SqlOrigin::kHost) {
    Check(session_.db->get(), sqlite3_busy_handler(session_.db->get(), &WaitForLock, &session_));
    RegisterOperatorFunctions(session_);
  }

  Connection& ForScreen() override { return screen_; }
  Connection& ForHost() override { return host_; }
  std::unique_ptr<Recordset> HostQuery(const std::string& sql,
                                       std::vector<StatementValue> values) override {
    if (session_.trace) session_.trace(SqlOrigin::kHost, WithValuesInPlace(sql, values));
    session_.RefuseAMovedFileNowAndThen();
    WaitScope wait(session_);
    return std::make_unique<sqlite::SqliteRecordset>(
        session_.statements->Acquire(HashedText::Of(sql), &sqlite::TranslateToSqlite),
        std::move(values));
  }
  SqlDialect Dialect() const override { return SqlDialect::kSqlite; }
  bool InTransaction() const override { return session_.InTransaction(); }
  bool ReadOnly() const override { return sqlite3_db_readonly(session_.db->get(), "main") == 1; }
  std::string WhyReadOnly() const override {
    if (!ReadOnly()) return {};
    return read_only_because_.empty() ? "the file is write-protected" : read_only_because_;
  }
  void SetTrace(StatementTrace trace) override { session_.trace = std::move(trace); }
  void SetLockWaitObserver(LockWaitObserver observer) override {
    session_.lock_wait = std::move(observer);
  }
  void WorkFor(const std::string& user_code) override { session_.operator_code = user_code; }

 private:
  std::string read_only_because_;
  Session session_;
  SqliteConnection screen_;
  SqliteConnection host_;
};

void GetDateFunction(sqlite3_context* context, int, sqlite3_value**) {
  const auto& clock = *static_cast<const Clock*>(sqlite3_user_data(context));
  try {
    const std::string text = (clock ? clock() : LocalNow()).ToIsoDateTime(' ');
    sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  } catch (const std::exception& failure) {
    sqlite3_result_error(context, failure.what(), -1);
  }
}

void RegisterGetDate(sqlite3* db, Clock clock) {
  auto owned = std::make_unique<Clock>(std::move(clock));
  // SQLite owns the clock from here on, and destroys it even when registration fails.
  Check(db, sqlite3_create_function_v2(db, "GetDate", 0, SQLITE_UTF8, owned.release(),
                                       &GetDateFunction, nullptr, nullptr,
                                       [](void* p) { delete static_cast<Clock*>(p); }));
}

void CancelledPolicyFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
  const auto* folio = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
  const std::string message = sqlite::CancelledPolicyMessage(folio ? folio : "");
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

// The session's own guards of cancelled policies, on a database that has the policies.
void InstallSessionGuards(const std::shared_ptr<DbHandle>& db) {
  Check(db->get(), sqlite3_create_function_v2(db->get(), sqlite::kCancelledPolicyFunction, 1,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                              &CancelledPolicyFunction, nullptr, nullptr, nullptr));
  Statement has_policies(db,
                         "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                         "'Poliza_Servicio'");
  if (!has_policies.Step()) return;
  has_policies.Finalize();
  for (const std::string& statement : sqlite::SessionGuardStatements()) db->Run(statement.c_str());
}

bool Finds(const std::shared_ptr<DbHandle>& db, const char* query) {
  Statement statement(db, query);
  return statement.Step();
}

// Brings a database made before some of the schema up to date, in one transaction, when
// `made_before` finds a row. Asked again once the write lock is held: another program
// opening the file at the same moment may have upgraded it while this one waited.
bool Upgrade(const std::shared_ptr<DbHandle>& db, const char* made_before,
             const std::vector<std::string>& statements) {
  if (!Finds(db, made_before)) return false;
  sqlite::Transaction upgrade(db);
  if (!Finds(db, made_before)) return false;
  for (const std::string& statement : statements) db->Run(statement.c_str());
  upgrade.Commit();
  return true;
}

// The sign-in parameter's value, if the database holds one.
std::optional<std::string> SignInParameter(const std::shared_ptr<DbHandle>& db) {
  Statement statement(
      db, "SELECT value FROM host_parameter WHERE name = '" + std::string(kSignInParameter) + "'");
  if (!statement.Step()) return std::nullopt;
  const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
  return std::string(value ? value : "");
}

constexpr const char* kMadeBeforePasswords =
    "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'operator' AND NOT EXISTS "
    "(SELECT 1 FROM pragma_table_info('operator') WHERE name = 'password_hash')";

// What adding the operators' password columns did, with the sign-in in force after it, and
// the value it replaced (one set by hand would have locked everyone out).
std::string SignInAdded(const std::optional<std::string>& held,
                        const std::optional<std::string>& now) {
  std::string said = "the operators' passwords, locks and last administrator's guards ";
  said += "(sign-in off: " + std::string(kSignInParameter) + " = " + now.value_or("(none)");
  if (held && held != now) said += ", where it was " + *held + ": no operator has a password yet";
  return said + ")";
}

// A database made before operators signed in gets their columns, one made before the
// finder's kept orders gets policy_order, and one made before the schema guarded cancelled
// policies gets those guards, when it is opened for writing; opened for reading, it is read
// as it is.
std::vector<std::string> UpgradeForWriting(const std::shared_ptr<DbHandle>& db) {
  std::vector<std::string> added;
  if (Finds(db, kMadeBeforePasswords)) {
    const std::optional<std::string> held = SignInParameter(db);
    if (Upgrade(db, kMadeBeforePasswords, sqlite::SignInUpgradeStatements()))
      added.push_back(SignInAdded(held, SignInParameter(db)));
  }
  if (Upgrade(db,
              "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Poliza_Servicio' "
              "AND NOT EXISTS (SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
              "'policy_order')",
              sqlite::PolicyOrderUpgradeStatements()))
    added.emplace_back("the finder's kept orders (policy_order, filled, and its triggers)");
  if (Upgrade(db, sqlite::CancelledPolicyGuardsMissing().c_str(),
              sqlite::CancelledPolicyUpgradeStatements()))
    added.emplace_back("the guards of cancelled policies");
  return added;
}

bool HoldsTables(const std::shared_ptr<DbHandle>& db) {
  return Finds(db, "SELECT 1 FROM sqlite_master WHERE type = 'table'");
}

bool HoldsPolicies(const std::shared_ptr<DbHandle>& db) {
  Statement statement(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '" +
                              std::string(schema::kPolizaServicio) + "'");
  return statement.Step();
}

std::string JournalMode(const std::shared_ptr<DbHandle>& db, const char* pragma) {
  Statement statement(db, pragma);
  if (!statement.Step()) return {};
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
  return AsciiLower(text ? text : "");
}

// Nothing here reads SQLite's memory statistics: without them an allocation takes no lock.
// SQLite takes this only before its first use in the process; later it keeps its default.
void ConfigureSqliteOnce() {
  static std::once_flag once;
  std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

// `in_memory`: a database of the session's own, in memory, named `path` for its messages.
std::unique_ptr<Database> OpenSqliteFile(const std::string& path, SqliteOptions options,
                                         bool in_memory) {
  ConfigureSqliteOnce();
  if (path.empty()) throw Error("no database file was named");
  if (!in_memory) sqlite::RefuseASideFileName(path);
  if (!options.create && !in_memory && !std::filesystem::exists(path)) {
    throw Error("database file not found: " + path);
  }
  // One session is used by one thread at a time: SQLite's own locking would be wasted.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (options.create || in_memory) flags |= SQLITE_OPEN_CREATE;
  if (in_memory) flags |= SQLITE_OPEN_MEMORY;
  const sqlite::OpenTarget target = options.create || in_memory
                                        ? sqlite::OpenTarget{path, flags}
                                        : sqlite::OpenTargetFor(path, flags);
  auto db = std::make_shared<DbHandle>(target.name, target.flags);

  // A write-protected file opens for reading; its journal mode is whatever it was made with.
  const bool read_only = sqlite3_db_readonly(db->get(), "main") == 1;
  Check(db->get(), sqlite3_busy_timeout(db->get(), options.busy_timeout_ms));
  // An empty file (made by mistake, or a copy that failed) is refused before anything is
  // written to it.
  if (!options.create && !in_memory && !HoldsTables(db))
    throw Error(path +
                " holds no tables (an init or a backup stopped before it ended leaves such a "
                "file): remove it, with its -wal and -shm files if there, and make the "
                "database with polizas-db init");
  // Another program's database is left exactly as it is: no journal mode, no upgrade.
  if (!options.create && !in_memory && !HoldsPolicies(db)) {
    throw Error(path + " is another program's database (it has no " + schema::kPolizaServicio +
                " table): make a policies database with polizas-db init");
  }
  if (!read_only && !options.only_reads) {
    const std::string mode = JournalMode(db, "PRAGMA journal_mode=WAL");
    if (!in_memory && mode != "wal") {
      throw Error(path + ": the database cannot run in WAL journal mode (it stays in '" + mode +
                  "')");
    }
  }
  db->Run("PRAGMA synchronous=FULL");
  // No memory map: SQLite's own page cache reads a page with one system call, where a mapped
  // page first touched costs a page fault, dearer than the read in a virtual machine; and the
  // cache's pages sit in a few large pages of the heap, the map's in many small ones.
  db->Run("PRAGMA foreign_keys=ON");
  RegisterGetDate(db->get(), std::move(options.clock));
  if (!read_only && !options.only_reads) {
    std::vector<std::string> added = UpgradeForWriting(db);
    if (options.added_on_opening) *options.added_on_opening = std::move(added);
  }
  InstallSessionGuards(db);
  // The tests' check that binding lifted values changes nothing a statement does.
  const char* check = std::getenv("POLIZAS_CHECK_LIFTED_STATEMENTS");
  const bool check_lifted = check != nullptr && std::string_view(check) == "1";
  return std::make_unique<SqliteDatabase>(std::move(db), options.busy_timeout_ms, check_lifted,
                                          target.read_only_because);
}

}  // namespace

std::unique_ptr<Database> OpenSqliteDatabase(const std::string& path, SqliteOptions options) {
  try {
    return OpenSqliteFile(path, std::move(options), false);
  } catch (const Error& error) {
    // SQLite says only "unable to open database file" of a file the user may not read.
    if (::access(path.c_str(), R_OK) != 0 && errno == EACCES)
      throw Error(error.Description() + " (" + path + ": " + std::strerror(EACCES) + ")");
    throw;
  }
}

std::unique_ptr<Database> OpenSqliteMemoryDatabase(SqliteOptions options) {
  return OpenSqliteFile(":memory:", std::move(options), true);
}

}  // namespace nv407::host
