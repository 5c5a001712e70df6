#include "host/services/clock.h"

#include "component/error.h"

namespace nv407::host {

Clock PinnedClock(const std::string& text) {
  const auto date = Date::Parse(text);
  if (!date) throw Error("Invalid date and time for the clock: \"" + text + "\"");
  return [at = *date] { return at; };
}

}  // namespace nv407::host
