#include "host/services/clock.h"

#include <ctime>

#include "component/error.h"

namespace nv407::host {

Date LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Date::FromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec);
}

Clock PinnedClock(const std::string& text) {
  if (text.empty()) return {};
  const auto date = Date::Parse(text);
  if (!date) throw Error("Invalid date and time for the clock: \"" + text + "\"");
  return [at = *date] { return at; };
}

}  // namespace nv407::host
