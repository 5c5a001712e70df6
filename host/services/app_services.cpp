#include "host/services/host_records.h"
#include "host/services/services.h"

namespace nv407::host {
namespace {

class ReferenceAppServices final : public AppServices {
 public:
  ReferenceAppServices(Database& database, Dialogs& dialogs, SessionSettings settings)
      : database_(database),
        dialogs_(dialogs),
        settings_(std::move(settings)),
        records_(database) {}

  Connection& GetConnection() override { return database_.ForScreen(); }

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
};

}  // namespace

std::unique_ptr<AppServices> MakeAppServices(Database& database, Dialogs& dialogs,
                                             const SessionSettings& settings) {
  return std::make_unique<ReferenceAppServices>(database, dialogs, settings);
}

}  // namespace nv407::host
