// Dates as text and date arithmetic. Input lines: a date as text, then a count of days,
// weeks, months or years to add to it.
#include "component/date.h"
#include "component/error.h"
#include "fuzz/fuzz_support.h"

namespace nv407::fuzz {
namespace {

std::string DateText(const Date& date) {
  return date.ToIsoDateTime();
}

void CheckRoundTrip(std::string_view text) {
  const std::optional<Date> date = Date::Parse(text);
  if (!date) return;
  const std::string detail = Shown(text) + " -> " + DateText(*date);
  Check(Date::Parse(date->ToText()) == date, "a date reads back from its text", detail);
  Check(Date::Parse(date->ToIsoDateTime('T')) == date, "a date reads back from its ISO text",
        detail);
  Check(Date::Parse(date->ToIsoDate()) == date->DateOnly(), "a date's day reads back", detail);
  Check(Date::FromYmd(date->Year(), date->Month(), date->Day(), date->Hour(), date->Minute(),
                      date->Second()) == *date,
        "a date is made again from its parts", detail);
}

int MonthIndex(const Date& date) {
  return date.Year() * 12 + date.Month() - 1;
}

// Each sum is refused with an Error or is a date of the calendar's years, and undoes. (A sum
// that stands has a small count: nothing below overflows.)
void CheckArithmetic(const Date& start, std::int64_t count) {
  const std::string detail = DateText(start) + " + " + std::to_string(count);
  const auto sum = [&](const char* unit, auto add) -> std::optional<Date> {
    try {
      const Date result = add(start, count);
      Check(result.Year() >= Date::kFirstYear && result.Year() <= Date::kLastYear,
            "date arithmetic stays within the calendar's years",
            detail + " " + unit + " = " + DateText(result));
      return result;
    } catch (const Error&) {
      return std::nullopt;
    }
  };
  if (const auto days = sum("days", [](const Date& d, std::int64_t n) { return d.AddDays(n); }))
    Check(days->AddDays(-count) == start, "adding days undoes", detail);
  if (const auto weeks = sum("weeks", [](const Date& d, std::int64_t n) { return d.AddWeeks(n); }))
    Check(weeks->AddWeeks(-count) == start, "adding weeks undoes", detail);
  const auto months = sum("months", [](const Date& d, std::int64_t n) { return d.AddMonths(n); });
  if (months) {
    Check(MonthIndex(*months) - MonthIndex(start) == count, "adding months moves by months",
          detail + " = " + DateText(*months));
    // The same day of the month, or the last day of a shorter month; the time stays.
    const bool same_day = months->Day() == start.Day();
    const bool last_day = months->Day() < start.Day() && months->AddDays(1).Day() == 1;
    Check((same_day || last_day) && months->Hour() == start.Hour() &&
              months->Minute() == start.Minute() && months->Second() == start.Second(),
          "adding months keeps the day and time", detail + " = " + DateText(*months));
  }
  if (const auto years = sum("years", [](const Date& d, std::int64_t n) { return d.AddYears(n); }))
    Check(MonthIndex(*years) - MonthIndex(start) == count * 12, "a year is twelve months",
          detail + " = " + DateText(*years));
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407::fuzz;
  const std::vector<std::string_view> lines = Lines(data, size, 2);
  CheckRoundTrip(lines[0]);
  const std::optional<nv407::Date> start = nv407::Date::Parse(lines[0]);
  const std::optional<std::int64_t> count = Integer(lines[1]);
  if (start && count) CheckArithmetic(*start, *count);
  return 0;
}
