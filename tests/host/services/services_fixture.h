#pragma once

#include <memory>
#include <string>

#include "host/db/database.h"
#include "host/headless/control_factory.h"
#include "host/headless/scripted_dialogs.h"
#include "host/services/reference_host.h"
#include "support/test_database.h"

namespace nv407::testing {

// The reference host's services over one database, for one operator, on the given clock,
// with scripted dialogs and the headless control set.
struct Services {
  Services(host::Database& database, host::Clock clock,
           const std::string& user = kOperatorWithPermissions)
      : factory(database, dialogs),
        host(database, dialogs, factory, {user, std::move(clock)}),
        app(host.CreateAppServices()),
        utility(host.CreateUtilityServices()) {}

  host::ScriptedDialogs dialogs;
  host::HeadlessControlFactory factory;
  host::ReferenceHost host;
  std::unique_ptr<AppServices> app;
  std::unique_ptr<UtilityServices> utility;
};

}  // namespace nv407::testing
