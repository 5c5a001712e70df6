#include "host/services/clock.h"

#include <algorithm>
#include <ctime>

#include "component/error.h"

namespace nv407::host {

namespace {

Date FromTm(const std::tm& time) {
  return Date::FromYmd(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, time.tm_hour,
                       time.tm_min, std::min(time.tm_sec, 59));
}

}  // namespace

Date LocalNow() {
  return ReadClock().local;
}

ClockReading ReadClock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  std::tm utc{};
  localtime_r(&now, &local);
  gmtime_r(&now, &utc);
  return {FromTm(local), FromTm(utc), local.tm_gmtoff / 60};
}

Clock PinnedClock(const std::string& text) {
  const auto date = Date::Parse(text);
  if (!date) throw Error("Invalid date and time for the clock: \"" + text + "\"");
  return [at = *date] { return at; };
}

}  // namespace nv407::host
