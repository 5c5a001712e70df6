#include "host/db/system_clock.h"

#include <algorithm>
#include <ctime>

namespace nv407::host {

namespace {

Date FromTm(const std::tm& time) {
  // A leap second reads as the second before it: a Date has no 60th second.
  return Date::FromYmd(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, time.tm_hour,
                       time.tm_min, std::min(time.tm_sec, 59));
}

}  // namespace

ClockReading ReadClock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  std::tm utc{};
  localtime_r(&now, &local);
  gmtime_r(&now, &utc);
  return {FromTm(local), FromTm(utc), local.tm_gmtoff / 60};
}

Date LocalNow() {
  return ReadClock().local;
}

}  // namespace nv407::host
