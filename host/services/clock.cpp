#include "host/services/clock.h"

#include "component/error.h"

namespace nv407::host {

Clock PinnedClock(const std::string& text) {
  // To the second: a fraction would be dropped without a word.
  const auto date = text.size() == 10 || text.size() == 19 ? Date::Parse(text) : std::nullopt;
  if (!date) throw Error("Invalid date and time for the clock: \"" + text + "\"");
  return [at = *date] { return at; };
}

}  // namespace nv407::host
