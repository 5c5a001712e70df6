#pragma once

#include <string>

#include "component/date.h"
#include "host/db/database.h"

namespace nv407::host {

// The system's local date and time, to the second.
Date LocalNow();

// The time now in the computer's zone and in UTC, from one reading. What must not move with
// a zone (how long a lock lasts) is kept in UTC: a program started with another TZ would
// end or lengthen it.
struct ClockReading {
  Date local;
  Date utc;
  std::int64_t utc_offset_minutes = 0;  // how far the local time is ahead of UTC
};
ClockReading ReadClock();

// A clock that always answers the given time ("YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or
// "YYYY-MM-DDTHH:MM:SS"), so that tests and scripted runs repeat exactly. Raises an Error
// for any other text, an empty one included.
Clock PinnedClock(const std::string& text);

}  // namespace nv407::host
