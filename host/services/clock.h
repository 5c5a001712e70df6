#pragma once

#include <string>

#include "component/date.h"
#include "host/db/database.h"

namespace nv407::host {

// The system's local date and time, to the second.
Date LocalNow();

// A clock that always answers the given time ("YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or
// "YYYY-MM-DDTHH:MM:SS"), so that tests and scripted runs repeat exactly; an empty text
// gives an empty clock (the system's). Raises an Error for any other text.
Clock PinnedClock(const std::string& text);

}  // namespace nv407::host
