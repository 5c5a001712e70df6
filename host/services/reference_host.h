#pragma once

#include <memory>
#include <string>

#include "component/host_services.h"
#include "host/db/database.h"
#include "host/services/activity.h"
#include "host/services/dialogs.h"
#include "host/services/sign_in.h"
#include "host/services/used_counters_check.h"

namespace nv407::host {

class ReplacementChain;

// Who is working and what time it is, as the host knows them.
struct SessionSettings {
  std::string user_code;
  Clock clock;  // the server date and time; the server's or the system's clock when empty
  // Told what the services see the screen do; it outlives the services. None: nobody listens.
  ActivityObserver* activity = nullptr;
  // How the operator was known: a login's permissions are its group role's, the others'
  // the operator_permission table's.
  SignInMode sign_in = SignInMode::kNamed;
};

// The server date and time the session goes by: its pinned clock's, else the database
// server's where it tells it, else the system's.
Date ServerNow(const SessionSettings& settings, Database& database);

// The host library handed to the component: its services over one database, the
// host's dialogs and a control set.
class ReferenceHost final : public HostLibrary {
 public:
  ReferenceHost(Database& database, Dialogs& dialogs, ControlFactory& controls,
                SessionSettings settings);
  ~ReferenceHost() override;

  std::unique_ptr<AppServices> CreateAppServices() override;
  std::unique_ptr<UtilityServices> CreateUtilityServices() override;
  std::unique_ptr<ListFormatter> CreateListFormatter() override;
  std::unique_ptr<RecordViewer> CreateRecordViewer() override;
  ControlFactory& Controls() override { return controls_; }
  // How the services read what the open screen's lists show (its control set knows).
  void ReadScreenListsWith(ShownList lists);

  Database& Db() { return database_; }
  const SessionSettings& Settings() const { return settings_; }

 private:
  Database& database_;
  Dialogs& dialogs_;
  ControlFactory& controls_;
  SessionSettings settings_;
  std::unique_ptr<ReplacementChain> chain_;  // the services' shared watch on an edit
  UsedCountersCheck counters_;
};

}  // namespace nv407::host
