#pragma once

#include <memory>

#include "component/host_services.h"
#include "host/db/database.h"
#include "host/services/dialogs.h"
#include "host/services/reference_host.h"

namespace nv407::host {

// The reference host's services; ReferenceHost hands them out.
std::unique_ptr<AppServices> MakeAppServices(Database& database, Dialogs& dialogs,
                                             const SessionSettings& settings);
std::unique_ptr<UtilityServices> MakeUtilityServices(Database& database, Dialogs& dialogs,
                                                     const SessionSettings& settings);

}  // namespace nv407::host
