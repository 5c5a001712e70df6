#pragma once

#include <memory>

#include "component/host_services.h"
#include "host/db/database.h"
#include "host/services/dialogs.h"
#include "host/services/reference_host.h"
#include "host/services/replacement_chain.h"
#include "host/services/used_counters_check.h"

namespace nv407::host {

// The reference host's services; ReferenceHost hands them out. Both tell the chain what
// they see of the screen's transactions; the screen's connection runs the counters check.
std::unique_ptr<AppServices> MakeAppServices(Database& database, Dialogs& dialogs,
                                             const SessionSettings& settings,
                                             ReplacementChain& chain, UsedCountersCheck& counters);
std::unique_ptr<UtilityServices> MakeUtilityServices(Database& database, Dialogs& dialogs,
                                                     const SessionSettings& settings,
                                                     ReplacementChain& chain);

}  // namespace nv407::host
