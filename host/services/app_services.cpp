#include "host/services/host_records.h"
#include "host/services/services.h"

namespace nv407::host {
namespace {

// The screen's connection. It shows the counters check every statement before it runs, and
// the replacement chain every statement and the course of each transaction, tells the
// database which policy a transaction saves, and tells the activity observer, if any, how
// transactions end.
class ScreenConnection final : public Connection {
 public:
  ScreenConnection(Database& database, ReplacementChain& chain, UsedCountersCheck& counters,
                   ActivityObserver* observer)
      : database_(database),
        connection_(database.ForScreen()),
        chain_(chain),
        counters_(counters),
        observer_(observer) {}
  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    counters_.BeforeStatement(sql);
    std::unique_ptr<Recordset> result = connection_.Execute(sql);
    chain_.StatementRan(sql);
    return result;
  }
  void BeginTrans() override {
    connection_.BeginTrans();
    chain_.TransactionBegun();
  }
  void CommitTrans() override {
    chain_.BeforeCommit();
    database_.TransactionSaves(chain_.Policy());
    connection_.CommitTrans();
    Ended(true);
  }
  void RollbackTrans() override {
    connection_.RollbackTrans();
    Ended(false);
  }

 private:
  void Ended(bool committed) {
    chain_.TransactionEnded();
    if (observer_) observer_->TransactionEnded(committed);
  }

  Database& database_;
  Connection& connection_;
  ReplacementChain& chain_;
  UsedCountersCheck& counters_;
  ActivityObserver* observer_;
};

class ReferenceAppServices final : public AppServices {
 public:
  ReferenceAppServices(Database& database, Dialogs& dialogs, SessionSettings settings,
                       ReplacementChain& chain, UsedCountersCheck& counters)
      : database_(database),
        dialogs_(dialogs),
        settings_(std::move(settings)),
        records_(database),
        connection_(database_, chain, counters, settings_.activity) {}

  Connection& GetConnection() override { return connection_; }

  std::string GetUserCode() override { return settings_.user_code; }

  // The kind and the two texts are not used: a parameter has one value.
  Variant GetParameter(const std::string& name, int /*kind*/, const std::string& /*arg1*/,
                       const std::string& /*arg2*/) override {
    const auto value = records_.Parameter(name);
    return value ? Variant(*value) : Variant();
  }

  // The text is not used: the permission store is the database, whose failures raise. On a
  // database that cannot be written no permission is held: each one allows a change.
  bool HasPermission(const std::string& module, const std::string& key,
                     const std::string& /*unavailable_text*/) override {
    if (database_.ReadOnly()) return false;
    if (settings_.sign_in == SignInMode::kLogin) return records_.LoginHoldsPermission(module, key);
    return records_.HoldsPermission(settings_.user_code, module, key);
  }

  int ShowMessage(const std::string& text, int style, const std::string& title, std::intptr_t owner,
                  const std::string& module, const std::string& error_id) override {
    return dialogs_.ShowMessage(
        {text, style, title, owner, module, error_id, dialogs_.TakeFailureCause()});
  }

 private:
  Database& database_;
  Dialogs& dialogs_;
  SessionSettings settings_;
  HostRecords records_;
  ScreenConnection connection_;
};

}  // namespace

std::unique_ptr<AppServices> MakeAppServices(Database& database, Dialogs& dialogs,
                                             const SessionSettings& settings,
                                             ReplacementChain& chain, UsedCountersCheck& counters) {
  return std::make_unique<ReferenceAppServices>(database, dialogs, settings, chain, counters);
}

}  // namespace nv407::host
