#include <cctype>
#include <deque>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/db/dialect.h"
#include "host/db/odbc_connection_string.h"
#include "host/db/odbc_handles.h"

namespace nv407::host {
namespace {

using odbc::DbHandle;
using odbc::EnvHandle;
using odbc::Statement;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

using Row = std::vector<Variant>;

// A result read whole when its statement runs: nothing stays open on the connection, so
// the next statement never waits for this one to be read (SQL Server allows one open
// result per connection), and every driver behaves alike.
class OdbcRecordset final : public Recordset {
 public:
  OdbcRecordset(const std::vector<std::string>& names, std::deque<Row> rows)
      : rows_(std::move(rows)) {
    // The first column of a name wins, as it does for a by-name look-up in ADO.
    for (std::size_t i = 0; i < names.size(); ++i) columns_.emplace(Lower(names[i]), i);
  }

  bool Eof() const override { return rows_.empty(); }

  Field Fields(std::string_view name) const override {
    if (closed_) throw Error("the result is closed");
    const auto found = columns_.find(Lower(name));
    if (found == columns_.end()) {
      throw Error("no column named '" + std::string(name) + "' in the result");
    }
    if (rows_.empty()) throw Error("no current row: the result is past its last row");
    return Field(rows_.front()[found->second]);
  }

  void MoveNext() override {
    if (closed_) throw Error("the result is closed");
    if (rows_.empty()) throw Error("no current row: the result is past its last row");
    rows_.pop_front();
  }

  void Close() override {
    rows_.clear();
    closed_ = true;
  }

 private:
  std::deque<Row> rows_;
  std::unordered_map<std::string, std::size_t> columns_;
  bool closed_ = false;
};

// How long a statement waits before the lock-wait observer hears of it, where waits are
// observed: the statement is refused that soon, and run again with the rest of the timeout.
constexpr int kFirstWaitMs = 200;

// The one connection that the screen's and the host's sides share, made again when it is
// lost between transactions.
class Session {
 public:
  Session(OdbcConnectionString connection, OdbcOptions options)
      : connection_(std::move(connection)), options_(std::move(options)) {
    Connect();
    if (connection_.dialect) {
      dialect_ = *connection_.dialect;
    } else if (auto detected = DialectOfProduct(db_->ProductName())) {
      dialect_ = *detected;
    } else {
      throw Error("the database '" + db_->ProductName() +
                  "' is not one the host knows; name its dialect with Dialect=postgresql or "
                  "Dialect=sqlserver in the connection string");
    }
    Prepare();
  }

  SqlDialect dialect() const { return dialect_; }
  bool InTransaction() const { return transaction_.has_value() || abandoned_; }
  bool ReadOnly() const { return read_only_; }
  StatementTrace trace;

  void SetLockWaitObserver(LockWaitObserver observer) {
    lock_wait_ = std::move(observer);
    if (db_) Guarded([&] { ApplyLockTimeout(*db_); });
  }

  std::unique_ptr<Recordset> Execute(SqlOrigin origin, const std::string& sql) {
    if (trace) trace(origin, sql);
    DbHandle& db = Live();
    return Guarded([&] {
      PinClock(db);
      if (!ObservesWaits()) return Run(db, sql);
      try {
        return Run(db, sql);
      } catch (const odbc::DriverError& failure) {
        if (failure.SqlState() != Traits(dialect_).lock_timeout_state) throw;
      }
      return RunWaiting(db, sql);
    });
  }

  void Begin() {
    if (InTransaction()) throw Error("BeginTrans: a transaction is already open");
    DbHandle& db = Live();
    Guarded([&] { transaction_.emplace(db); });
  }

  void Commit() {
    if (abandoned_) {
      abandoned_ = false;
      throw Error("CommitTrans: the connection to the database was lost; nothing was saved");
    }
    if (!transaction_) throw Error("CommitTrans: no transaction is open");
    Guarded([&] { transaction_->Commit(); });
    transaction_.reset();
    in_transaction_settings_ = false;
  }

  void Rollback() {
    if (abandoned_) {
      // The server undid the transaction when the connection went.
      abandoned_ = false;
      return;
    }
    if (!transaction_) throw Error("RollbackTrans: no transaction is open");
    // The transaction is over whatever happens: if even the rollback fails, the connection
    // is dropped, which undoes it on the server.
    std::optional<odbc::Transaction> transaction = std::exchange(transaction_, std::nullopt);
    // Settings made inside the transaction are undone with it: send them again.
    if (std::exchange(in_transaction_settings_, false)) pinned_.reset();
    try {
      transaction->Rollback();
    } catch (const Error&) {
      Drop();
      throw;
    }
  }

 private:
  void Connect() {
    db_.emplace(env_, connection_.for_driver, options_.login_timeout_seconds);
    pinned_.reset();
  }

  // The session settings of a new connection, and what it may do.
  void Prepare() {
    ApplyLockTimeout(*db_);
    const std::string_view query = Traits(dialect_).read_only_query;
    if (query.empty()) return;
    Statement statement(*db_);
    Row row;
    read_only_ = statement.Execute(query) && statement.Fetch(row) && row.at(0).ToLong() == 1;
    statement.Finish();
  }

  bool ObservesWaits() const {
    return lock_wait_ && !Traits(dialect_).lock_timeout_state.empty() &&
           options_.lock_timeout_ms > kFirstWaitMs;
  }

  void ApplyLockTimeout(DbHandle& db) {
    const int timeout = ObservesWaits() ? kFirstWaitMs : options_.lock_timeout_ms;
    const std::string sql = Traits(dialect_).lock_timeout(timeout);
    if (sql.empty()) return;
    db.Run(sql);
    // A setting made in a transaction is undone by its rollback.
    in_transaction_settings_ = in_transaction_settings_ || transaction_.has_value();
  }

  static std::unique_ptr<Recordset> Run(DbHandle& db, std::string_view sql) {
    Statement statement(db);
    std::vector<std::string> names;
    std::deque<Row> rows;
    if (statement.Execute(sql)) {
      names = statement.ColumnNames();
      for (Row row; statement.Fetch(row);) rows.push_back(std::move(row));
    }
    statement.Finish();
    return std::make_unique<OdbcRecordset>(names, std::move(rows));
  }

  // The statement was refused after the first wait, which undid it: it runs again with the
  // rest of the timeout while the observer knows that it waits.
  std::unique_ptr<Recordset> RunWaiting(DbHandle& db, const std::string& sql) {
    lock_wait_(true);
    struct EndWait {
      ~EndWait() { observer(false); }
      const LockWaitObserver& observer;
    } end{lock_wait_};
    const DialectTraits& traits = Traits(dialect_);
    db.Run(traits.lock_timeout(options_.lock_timeout_ms - kFirstWaitMs));
    in_transaction_settings_ = in_transaction_settings_ || transaction_.has_value();
    std::unique_ptr<Recordset> result;
    try {
      result = Run(db, sql);
    } catch (const Error&) {
      ApplyLockTimeout(db);
      throw;
    }
    ApplyLockTimeout(db);
    return result;
  }

  // The connection, made again if it was lost outside a transaction.
  DbHandle& Live() {
    if (abandoned_) {
      throw Error("the connection to the database was lost; the transaction was undone");
    }
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
    return *db_;
  }

  // Runs a step on the connection; when it fails because the connection is gone, the
  // connection is dropped (and a transaction it held is abandoned) before the driver's
  // error goes on.
  template <typename Step>
  auto Guarded(Step step) -> decltype(step()) {
    try {
      return step();
    } catch (const Error&) {
      if (db_ && db_->Dead()) Drop();
      throw;
    }
  }

  void Drop() {
    abandoned_ = transaction_.has_value();
    transaction_.reset();  // before the connection it refers to
    db_.reset();
  }

  // GetDate() follows the host's clock where the dialect lets a session pin it; the
  // setting is sent again only when the clock has moved.
  void PinClock(DbHandle& db) {
    if (!options_.clock) return;
    const Date now = options_.clock();
    if (pinned_ == now) return;
    const std::string sql = Traits(dialect_).pin_clock(now);
    if (sql.empty()) return;
    db.Run(sql);
    pinned_ = now;
    in_transaction_settings_ = in_transaction_settings_ || transaction_.has_value();
  }

  OdbcConnectionString connection_;
  OdbcOptions options_;
  SqlDialect dialect_ = SqlDialect::kPostgreSql;
  LockWaitObserver lock_wait_;
  bool read_only_ = false;
  EnvHandle env_;
  std::optional<DbHandle> db_;
  std::optional<odbc::Transaction> transaction_;
  bool abandoned_ = false;  // a transaction was open when the connection was lost
  std::optional<Date> pinned_;
  bool in_transaction_settings_ = false;  // a rollback undoes session settings made since
};

class OdbcConnection final : public Connection {
 public:
  OdbcConnection(Session& session, SqlOrigin origin) : session_(session), origin_(origin) {}

  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    return session_.Execute(origin_, sql);
  }
  void BeginTrans() override { session_.Begin(); }
  void CommitTrans() override { session_.Commit(); }
  void RollbackTrans() override { session_.Rollback(); }

 private:
  Session& session_;
  SqlOrigin origin_;
};

class OdbcDatabase final : public Database {
 public:
  OdbcDatabase(OdbcConnectionString connection, OdbcOptions options)
      : session_(std::move(connection), std::move(options)),
        screen_(session_, SqlOrigin::kScreen),
        host_(session_, SqlOrigin::kHost) {}

  Connection& ForScreen() override { return screen_; }
  Connection& ForHost() override { return host_; }
  SqlDialect Dialect() const override { return session_.dialect(); }
  bool InTransaction() const override { return session_.InTransaction(); }
  bool ReadOnly() const override { return session_.ReadOnly(); }
  void SetTrace(StatementTrace trace) override { session_.trace = std::move(trace); }
  void SetLockWaitObserver(LockWaitObserver observer) override {
    session_.SetLockWaitObserver(std::move(observer));
  }

 private:
  Session session_;
  OdbcConnection screen_;
  OdbcConnection host_;
};

}  // namespace

std::unique_ptr<Database> OpenOdbcDatabase(const std::string& connection_string,
                                           OdbcOptions options) {
  return std::make_unique<OdbcDatabase>(ParseOdbcConnectionString(connection_string),
                                        std::move(options));
}

}  // namespace nv407::host
