#include "host/db/odbc_session.h"

#include <chrono>
#include <string_view>
#include <thread>
#include <utility>

#include "component/error.h"
#include "host/db/dialect.h"
#include "host/db/text.h"

namespace nv407::host::odbc {
namespace {

// How long a statement waits before the lock-wait observer hears of it, where waits are
// observed: the statement is refused that soon, and run again with the rest of the timeout.
constexpr int kFirstWaitMs = 200;

// How long a connection may have been idle before a command asks whether it is still there.
constexpr auto kIdleBeforeCheck = std::chrono::seconds(1);

Result Run(DbHandle& db, std::string_view sql) {
  Statement statement(db);
  Result result;
  if (statement.Execute(sql)) {
    result.columns = statement.ColumnNames();
    for (std::vector<Variant> row; statement.Fetch(row);) result.rows.push_back(std::move(row));
  }
  statement.Finish();
  return result;
}

// A statement refused for its first wait on a lock runs again in its transaction, which
// psqlODBC keeps only at its statement level of rollback. A data source may set the
// transaction level instead: the driver would then undo the transaction's earlier statements
// unseen, and the rest would be committed without them. Nor may it turn the line breaks of
// the texts read into CR LF, or whole numbers of eight bytes into decimals. The last value
// given wins.
constexpr std::string_view kPsqlOdbcSettings = ";Protocol=7.4-2;LFConversion=0;BI=0";

// Whether the connection string names the PostgreSQL dialect, or a driver for PostgreSQL.
bool NamesPostgreSql(const OdbcConnectionString& connection) {
  if (connection.dialect) return *connection.dialect == SqlDialect::kPostgreSql;
  return AsciiLower(AttributeValue(connection.for_driver, "Driver")).find("postgres") !=
         std::string::npos;
}

// psqlODBC's ANSI driver (psqlodbca.so; PSQLODBC30A.DLL, PSQLODBC35A.DLL) has no wide
// character functions: every text read fails with "Received an unsupported type".
bool IsAnsiPsqlOdbc(std::string_view driver) {
  const std::string name = AsciiLower(driver);
  if (!name.starts_with("psqlodbc")) return false;
  const std::size_t dot = name.find('.');
  return dot != std::string::npos && dot > 0 && name[dot - 1] == 'a';
}

}  // namespace

Session::Session(OdbcConnectionString connection, OdbcOptions options)
    : connection_(std::move(connection)), options_(std::move(options)) {
  // A string that names PostgreSQL gets psqlODBC's settings before it connects; one that
  // does not (a data source's name) connects again with them once the server said.
  const bool postgresql_named = NamesPostgreSql(connection_);
  if (postgresql_named) connection_.for_driver += kPsqlOdbcSettings;
  Connect();
  if (const std::string driver = db_->DriverName(); IsAnsiPsqlOdbc(driver)) {
    throw Error("the connection uses psqlODBC's ANSI driver (" + driver +
                "), which cannot give this program the texts it reads: name the driver "
                "{PostgreSQL Unicode} (psqlodbcw.so) in the connection string or the data source");
  }
  if (connection_.dialect) {
    dialect_ = *connection_.dialect;
  } else if (auto detected = DialectOfProduct(db_->ProductName())) {
    dialect_ = *detected;
  } else {
    throw Error("the database '" + db_->ProductName() +
                "' is not one the host knows; name its dialect with Dialect=postgresql or "
                "Dialect=sqlserver in the connection string");
  }
  if (dialect_ == SqlDialect::kPostgreSql && !postgresql_named) {
    connection_.for_driver += kPsqlOdbcSettings;
    Connect();
  }
  Prepare();
}

void Session::SetLockWaitObserver(LockWaitObserver observer) {
  lock_wait_ = std::move(observer);
  settings_stale_ = true;
}

Result Session::Execute(const std::string& sql) {
  DbHandle& db = Live();
  try {
    PinClock(db);
    if (!ObservesWaits()) return Run(db, sql);
    try {
      return Run(db, sql);
    } catch (const DriverError& failure) {
      // Refused for the first wait: the driver undid the statement alone.
      if (failure.SqlState() != Traits(dialect_).lock_timeout_state) throw;
    }
    return RunWaiting(db, sql);
  } catch (const Error&) {
    Failed("a statement in it was refused");
    throw;
  }
}

void Session::Begin() {
  if (InTransaction()) throw Error("BeginTrans: a transaction is already open");
  if (earlier_commit_made_) throw Error(*earlier_commit_made_);
  DbHandle& db = Live();
  SettleEarlierCommit(db);
  try {
    transaction_.emplace(db);
  } catch (const Error&) {
    Failed("it could not begin");
    throw;
  }
  saves_.clear();
}

void Session::TransactionSaves(std::string policy) {
  if (transaction_) saves_ = std::move(policy);
}

void Session::Commit() {
  // The caller is still to roll back a transaction whose commit is refused.
  if (undone_) throw Error("CommitTrans: nothing was saved: " + *undone_);
  if (!transaction_) throw Error("CommitTrans: no transaction is open");
  const std::optional<std::string> written = WrittenTransaction();
  try {
    transaction_->Commit();
  } catch (const Error& failure) {
    const bool lost = db_ && db_->Dead();
    Failed("its commit was refused");
    if (!lost || !written) throw;
    // The server may have committed before the connection went: run again, the command
    // would save twice. It says how the transaction ended.
    const std::string outcome = OutcomeOf(*written);
    if (outcome == "committed") {
      undone_.reset();
      return;
    }
    if (outcome != "aborted") {
      unsettled_ = Unsettled{*written, saves_};
      throw Error(failure.Description() +
                  " (se perdió la conexión durante la confirmación y no se sabe si se guardó: "
                  "revise la base de datos antes de repetirlo)");
    }
    throw;
  }
  transaction_.reset();
  settings_in_transaction_ = false;
}

// The server's number of the open transaction, where the server can tell later how it
// ended and the transaction wrote something.
std::optional<std::string> Session::WrittenTransaction() {
  const std::string_view query = Traits(dialect_).transaction_id_query;
  if (query.empty()) return std::nullopt;
  try {
    const Result result = Run(*db_, query);
    if (result.rows.empty() || result.rows.front().at(0).IsNull()) return std::nullopt;
    return result.rows.front().at(0).ToText();
  } catch (const Error&) {
    // The commit was never sent: the transaction is undone.
    Failed("its commit was refused");
    throw;
  }
}

// A commit whose outcome could not be known is asked about before the next transaction:
// the command it saved, run again by a user told that it failed, would be saved twice. Only
// a commit undone lets that transaction begin. One made refuses every transaction, naming
// what it saved, until the operator leaves the capture that the screen still shows; one
// still in progress (a commit waiting for a synchronous standby, say, which may yet be
// made), or that the server cannot place, refuses it and is asked again before the next.
// Left before it is found made, it is not asked any more (CaptureLeft).
void Session::SettleEarlierCommit(DbHandle& db) {
  if (!unsettled_) return;
  const Unsettled unsettled = *std::exchange(unsettled_, std::nullopt);
  std::string outcome;
  try {
    const Result result = Run(db, Traits(dialect_).transaction_outcome(unsettled.transaction));
    if (!result.rows.empty()) outcome = result.rows.front().at(0).ToText();
  } catch (const Error&) {
    unsettled_ = unsettled;  // still to be asked
    Failed("it could not begin");
    throw;
  }
  if (outcome == "aborted") return;
  const std::string policy =
      unsettled.policy.empty() ? std::string() : " (póliza " + unsettled.policy + ")";
  if (outcome != "committed") {
    unsettled_ = unsettled;  // asked again before the next transaction
    throw Error(outcome == "in progress"
                    ? "la confirmación de la operación anterior" + policy +
                          " aún está en curso en el servidor; no se sabe todavía si se guardó: "
                          "intente de nuevo en un momento; no se hizo nada ahora"
                    : "el servidor no dice si la operación anterior" + policy +
                          " se guardó: revise la base de datos antes de repetirla; no se hizo "
                          "nada ahora");
  }
  const std::string load = policy.empty() ? ": cargue lo que guardó" : policy + ": cárguela";
  earlier_commit_made_ = "la operación anterior, cuyo resultado no se sabía, sí se guardó" + load +
                         " antes de repetirla; no se hizo nada ahora";
  throw Error(*earlier_commit_made_);
}

// How the transaction of that number ended, asked on a new connection: "committed",
// "aborted", else "" when it cannot be known (the server unreachable, or still ending it,
// for as long as a connection is waited for). A server restarting, the usual way a commit
// is lost, refuses connections for a moment first.
std::string Session::OutcomeOf(const std::string& transaction) {
  const auto give_up =
      std::chrono::steady_clock::now() + std::chrono::seconds(options_.login_timeout_seconds);
  for (;;) {
    try {
      if (!db_) {
        Connect();
        Prepare();
      }
      const Result result = Run(*db_, Traits(dialect_).transaction_outcome(transaction));
      const std::string outcome =
          result.rows.empty() ? std::string() : result.rows.front().at(0).ToText();
      if (outcome != "in progress") return outcome;
    } catch (const Error&) {
      db_.reset();
    }
    if (std::chrono::steady_clock::now() >= give_up) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void Session::Rollback() {
  if (undone_) {
    undone_.reset();  // nothing is left of it
    return;
  }
  if (!transaction_) throw Error("RollbackTrans: no transaction is open");
  try {
    EndTransaction(nullptr);
  } catch (const Error&) {
    undone_.reset();
    Drop();  // the server undoes the transaction of a connection that goes
    throw;
  }
}

void Session::Connect() {
  db_.emplace(env_, connection_.for_driver, options_.login_timeout_seconds);
  pinned_.reset();
  doubtful_ = false;
}

// The connection, made again if it was lost outside a transaction.
DbHandle& Session::Live() {
  if (undone_) throw Error("the transaction was undone: " + *undone_ + "; roll it back");
  const auto now = std::chrono::steady_clock::now();
  if (db_ && !transaction_ && (doubtful_ || now - last_used_ >= kIdleBeforeCheck)) {
    try {
      db_->Run("SELECT 1");
      doubtful_ = false;
    } catch (const Error&) {
      Drop();  // dropped while idle, or by the call that failed: made again below
    }
  }
  last_used_ = now;
  if (!db_) {
    try {
      Connect();
      Prepare();
    } catch (const Error& failure) {
      db_.reset();
      throw Error("the connection to the database is lost and cannot be made again: " +
                  failure.Description());
    }
  }
  if (settings_stale_) {
    try {
      ApplyLockTimeout(*db_, ObservesWaits() ? kFirstWaitMs : options_.lock_timeout_ms);
    } catch (const Error&) {
      Failed("its session settings were refused");
      throw;
    }
    settings_stale_ = false;
  }
  return *db_;
}

// The session settings of a new connection, and what it may do.
void Session::Prepare() {
  settings_stale_ = false;
  if (const std::string_view setup = Traits(dialect_).session_setup; !setup.empty())
    db_->Run(setup);
  if (const std::string_view unfit = Traits(dialect_).unfit_query; !unfit.empty()) {
    const Result refused = Run(*db_, unfit);
    if (!refused.rows.empty()) throw Error(refused.rows.front().at(0).ToText());
  }
  ApplyLockTimeout(*db_, ObservesWaits() ? kFirstWaitMs : options_.lock_timeout_ms);
  read_only_ = db_->DataSourceReadOnly();
  const std::string_view query = Traits(dialect_).read_only_query;
  if (read_only_ || query.empty()) return;
  const Result result = Run(*db_, query);
  read_only_ = !result.rows.empty() && result.rows.front().at(0).ToLong() == 1;
}

// GetDate() follows the host's clock where the dialect lets a session pin it; the setting
// is sent again only when the clock has moved.
void Session::PinClock(DbHandle& db) {
  if (!options_.clock) return;
  const Date now = options_.clock();
  if (pinned_ == now) return;
  const std::string sql = Traits(dialect_).pin_clock(now);
  if (sql.empty()) return;
  db.Run(sql);
  pinned_ = now;
  settings_in_transaction_ = settings_in_transaction_ || transaction_.has_value();
}

bool Session::ObservesWaits() const {
  return lock_wait_ && !Traits(dialect_).lock_timeout_state.empty() &&
         options_.lock_timeout_ms > kFirstWaitMs;
}

void Session::ApplyLockTimeout(DbHandle& db, int milliseconds) {
  const std::string sql = Traits(dialect_).lock_timeout(milliseconds);
  if (sql.empty()) return;
  db.Run(sql);
  settings_in_transaction_ = settings_in_transaction_ || transaction_.has_value();
}

// The statement was refused after the first wait: it runs again with the rest of the
// timeout while the observer knows that it waits.
Result Session::RunWaiting(DbHandle& db, const std::string& sql) {
  lock_wait_(true);
  struct EndWait {
    ~EndWait() { observer(false); }
    const LockWaitObserver& observer;
  } end{lock_wait_};
  settings_stale_ = true;  // back to the first wait before the next statement, if not at once
  ApplyLockTimeout(db, options_.lock_timeout_ms - kFirstWaitMs);
  Result result = Run(db, sql);
  ApplyLockTimeout(db, kFirstWaitMs);
  settings_stale_ = false;
  return result;
}

// After a call that failed: a lost connection is dropped; an open transaction is undone
// whole, whatever part of it the driver kept, and `why` kept for the caller. A connection
// kept is asked before the next statement whether it is still there: the driver does not
// always know it gone (a socket closed without the server's word).
void Session::Failed(const char* why) {
  if (db_ && db_->Dead()) {
    if (transaction_) undone_ = "the connection to the database was lost";
    Drop();
    return;
  }
  doubtful_ = true;
  if (!transaction_) return;
  try {
    EndTransaction(why);
  } catch (const Error&) {
    Drop();  // the server undoes the transaction of a connection that goes
  }
}

void Session::Drop() {
  transaction_.reset();  // before the connection it refers to
  db_.reset();
  settings_in_transaction_ = false;
}

// Rolls the open transaction back; `why`, if given, is kept for the caller, who is still
// to roll back.
void Session::EndTransaction(const char* why) {
  std::optional<Transaction> transaction = std::exchange(transaction_, std::nullopt);
  if (why) undone_ = why;
  // Settings sent in the transaction go with it: send them again.
  if (std::exchange(settings_in_transaction_, false)) {
    pinned_.reset();
    settings_stale_ = true;
  }
  transaction->Rollback();
}

}  // namespace nv407::host::odbc
