#pragma once

#include <string>

#include "host/db/database.h"
#include "host/db/system_clock.h"

namespace nv407::host {

// A clock that always answers the given time ("YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or
// "YYYY-MM-DDTHH:MM:SS"), so that tests and scripted runs repeat exactly. Raises an Error
// for any other text, an empty one included.
Clock PinnedClock(const std::string& text);

}  // namespace nv407::host
