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
  StatementTrace trace;

  std::unique_ptr<Recordset> Execute(SqlOrigin origin, const std::string& sql) {
    if (trace) trace(origin, sql);
    DbHandle& db = Live();
    return Guarded([&] {
      PinClock(db);
      Statement statement(db);
      std::vector<std::string> names;
      std::deque<Row> rows;
      if (statement.Execute(sql)) {
        names = statement.ColumnNames();
        for (Row row; statement.Fetch(row);) rows.push_back(std::move(row));
      }
      statement.Finish();
      return std::make_unique<OdbcRecordset>(names, std::move(rows));
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
    pinned_in_transaction_ = false;
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
    if (std::exchange(pinned_in_transaction_, false)) pinned_.reset();
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

  // The session settings of a new connection.
  void Prepare() {
    const DialectTraits& traits = Traits(dialect_);
    if (const std::string sql = traits.lock_timeout(options_.lock_timeout_ms); !sql.empty())
      db_->Run(sql);
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
    pinned_in_transaction_ = transaction_.has_value();
  }

  OdbcConnectionString connection_;
  OdbcOptions options_;
  SqlDialect dialect_ = SqlDialect::kPostgreSql;
  EnvHandle env_;
  std::optional<DbHandle> db_;
  std::optional<odbc::Transaction> transaction_;
  bool abandoned_ = false;  // a transaction was open when the connection was lost
  std::optional<Date> pinned_;
  bool pinned_in_transaction_ = false;  // a rollback undoes the setting
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
  void SetTrace(StatementTrace trace) override { session_.trace = std::move(trace); }

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
