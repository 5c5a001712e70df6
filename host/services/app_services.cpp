#include <optional>

#include "host/services/host_records.h"
#include "host/services/services.h"

namespace nv407::host {
namespace {

// The screen's connection, telling the activity observer how its transactions end.
class ObservedConnection final : public Connection {
 public:
  ObservedConnection(Connection& connection, ActivityObserver& observer)
      : connection_(connection), observer_(observer) {}
  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    return connection_.Execute(sql);
  }
  void BeginTrans() override { connection_.BeginTrans(); }
  void CommitTrans() override {
    connection_.CommitTrans();
    observer_.TransactionEnded(true);
  }
  void RollbackTrans() override {
    connection_.RollbackTrans();
    observer_.TransactionEnded(false);
  }

 private:
  Connection& connection_;
  ActivityObserver& observer_;
};

class ReferenceAppServices final : public AppServices {
 public:
  ReferenceAppServices(Database& database, Dialogs& dialogs, SessionSettings settings)
      : database_(database), dialogs_(dialogs), settings_(std::move(settings)), records_(database) {
    if (settings_.activity) observed_.emplace(database_.ForScreen(), *settings_.activity);
  }

  Connection& GetConnection() override {
    if (observed_) return *observed_;
    return database_.ForScreen();
  }

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
    return dialogs_.ShowMessage({text, style, title, owner, module, error_id});
  }

 private:
  Database& database_;
  Dialogs& dialogs_;
  SessionSettings settings_;
  HostRecords records_;
  std::optional<ObservedConnection> observed_;
};

}  // namespace

std::unique_ptr<AppServices> MakeAppServices(Database& database, Dialogs& dialogs,
                                             const SessionSettings& settings) {
  return std::make_unique<ReferenceAppServices>(database, dialogs, settings);
}

}  // namespace nv407::host
