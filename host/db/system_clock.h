#pragma once

#include <cstdint>

#include "component/date.h"

namespace nv407::host {

// The time now in the computer's zone and in UTC, from one reading. What must not move with
// a zone (how long a lock lasts) is kept in UTC: a program started with another TZ would
// end or lengthen it.
struct ClockReading {
  Date local;
  Date utc;
  std::int64_t utc_offset_minutes = 0;  // how far the local time is ahead of UTC
};
ClockReading ReadClock();

// The system's local date and time, to the second.
Date LocalNow();

}  // namespace nv407::host
