#include <unordered_map>
#include <utility>

#include "component/error.h"
#include "data/statements.h"
#include "host/db/database.h"
#include "host/db/odbc_session.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

// A result read whole when its statement ran: nothing stays open on the connection, so the
// next statement never waits for this one to be read (SQL Server allows one open result
// per connection), and every driver behaves alike.
class OdbcRecordset final : public Recordset {
 public:
  explicit OdbcRecordset(odbc::Result result) : rows_(std::move(result.rows)) {
    // The first column of a name wins, as it does for a by-name look-up in ADO.
    for (std::size_t i = 0; i < result.columns.size(); ++i)
      columns_.emplace(AsciiLower(result.columns[i]), i);
  }

  bool Eof() const override { return rows_.empty(); }

  Field Fields(std::string_view name) const override {
    if (closed_) throw Error("the result is closed");
    const auto found = columns_.find(AsciiLower(name));
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
  std::deque<std::vector<Variant>> rows_;
  std::unordered_map<std::string, std::size_t> columns_;
  bool closed_ = false;
};

// A server returns the rows of a statement that names no order in whatever order its plan
// reads them, and that changes as rows are updated. The screen lists a policy's services and
// a type's in the order it reads them: a server gives them by the service's key, as SQLite
// reads them, so that a list (and the counter report written from it) is the same on every
// database and from one load to the next. Only those: a statement that names an order, or
// joins no services, runs as written.
std::string InServiceOrder(const std::string& sql) {
  struct Listing {
    std::string_view start, joined, order;
  };
  static constexpr Listing kListings[] = {
      {statements::kPolicyByFolioStart, "JOIN Poliza_Servicio_Tipo_Servicio ",
       " ORDER BY Poliza_Servicio_Tipo_Servicio.Ts_Cve_Tipo_Servicio"},
      {statements::kPolicyTypeServicesStart, "JOIN Tipo_Servicio ",
       " ORDER BY Tipo_Servicio.Ts_Cve_Tipo_Servicio"}};
  for (const Listing& listing : kListings) {
    if (sql.starts_with(listing.start) && sql.find(listing.joined) != std::string::npos &&
        AsciiLower(sql).find("order by") == std::string::npos)
      return sql + std::string(listing.order);
  }
  return sql;
}

// What the screen's and the host's connections share.
struct Shared {
  odbc::Session session;
  StatementTrace trace;
};

class OdbcConnection final : public Connection {
 public:
  OdbcConnection(Shared& shared, SqlOrigin origin) : shared_(shared), origin_(origin) {}

  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    if (shared_.trace) shared_.trace(origin_, sql);
    if (origin_ == SqlOrigin::kScreen)
      return std::make_unique<OdbcRecordset>(shared_.session.Execute(InServiceOrder(sql)));
    return std::make_unique<OdbcRecordset>(shared_.session.Execute(sql));
  }
  void BeginTrans() override { shared_.session.Begin(); }
  void CommitTrans() override { shared_.session.Commit(); }
  void RollbackTrans() override { shared_.session.Rollback(); }

 private:
  Shared& shared_;
  SqlOrigin origin_;
};

class OdbcDatabase final : public Database {
 public:
  OdbcDatabase(OdbcConnectionString connection, OdbcOptions options)
      : shared_{odbc::Session(std::move(connection), std::move(options)), {}},
        screen_(shared_, SqlOrigin::kScreen),
        host_(shared_, SqlOrigin::kHost) {}

  Connection& ForScreen() override { return screen_; }
  Connection& ForHost() override { return host_; }
  // psqlODBC prepares nothing for us to keep: the values go into the text, as literals.
  std::unique_ptr<Recordset> HostQuery(const std::string& sql,
                                       std::vector<StatementValue> values) override {
    return host_.Execute(WithValuesInPlace(sql, values));
  }
  SqlDialect Dialect() const override { return shared_.session.Dialect(); }
  bool InTransaction() const override { return shared_.session.InTransaction(); }
  bool ReadOnly() const override { return shared_.session.ReadOnly(); }
  void SetTrace(StatementTrace trace) override { shared_.trace = std::move(trace); }
  void SetLockWaitObserver(LockWaitObserver observer) override {
    shared_.session.SetLockWaitObserver(std::move(observer));
  }
  // The server knows its operator: the connection's login.
  void WorkFor(const std::string& /*user_code*/) override {}
  void TransactionSaves(const std::string& policy) override {
    shared_.session.TransactionSaves(policy);
  }
  void CaptureLeft() override { shared_.session.CaptureLeft(); }

 private:
  Shared shared_;
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
