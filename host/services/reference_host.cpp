#include "host/services/reference_host.h"

#include "host/services/clock.h"
#include "host/services/host_records.h"
#include "host/services/services.h"

namespace nv407::host {
namespace {

class ReferenceListFormatter final : public ListFormatter {
 public:
  void FormatList(ListView& list) override { list.FitColumns(); }
};

class ReferenceRecordViewer final : public RecordViewer {
 public:
  explicit ReferenceRecordViewer(Dialogs& dialogs) : dialogs_(dialogs) {}

  // The four texts are not used: the viewer shows the whole record.
  void Show(const std::string& table, const std::string& key_column, const std::string& key,
            const std::string& /*arg4*/, const std::string& /*arg5*/, const std::string& /*arg6*/,
            const std::string& /*arg7*/) override {
    dialogs_.ShowRecord(table, key_column, key);
  }

 private:
  Dialogs& dialogs_;
};

}  // namespace

Date ServerNow(const SessionSettings& settings, Database& database) {
  if (settings.clock) return settings.clock();
  return HostRecords(database).ServerTime().value_or(LocalNow());
}

ReferenceHost::ReferenceHost(Database& database, Dialogs& dialogs, ControlFactory& controls,
                             SessionSettings settings)
    : database_(database),
      dialogs_(dialogs),
      controls_(controls),
      settings_(std::move(settings)),
      chain_(std::make_unique<ReplacementChain>(database_, settings_)),
      counters_(database_) {
  database_.WorkFor(settings_.user_code);
}

ReferenceHost::~ReferenceHost() = default;

std::unique_ptr<AppServices> ReferenceHost::CreateAppServices() {
  return MakeAppServices(database_, dialogs_, settings_, *chain_, counters_);
}

void ReferenceHost::ReadScreenListsWith(ShownList lists) {
  counters_.ReadListsWith(std::move(lists));
}

std::unique_ptr<UtilityServices> ReferenceHost::CreateUtilityServices() {
  return MakeUtilityServices(database_, dialogs_, settings_, *chain_);
}

std::unique_ptr<ListFormatter> ReferenceHost::CreateListFormatter() {
  return std::make_unique<ReferenceListFormatter>();
}

std::unique_ptr<RecordViewer> ReferenceHost::CreateRecordViewer() {
  return std::make_unique<ReferenceRecordViewer>(dialogs_);
}

}  // namespace nv407::host
