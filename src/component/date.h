#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nv407 {

// A calendar date with a time of day, to the second, in the years 100 to 9999: whatever
// would make a date outside them (a year, arithmetic) raises an Error instead, so no other
// date can be shown or stored. Dates compare with their time.
class Date {
 public:
  static constexpr int kFirstYear = 100;
  static constexpr int kLastYear = 9999;

  Date() = default;  // 1899-12-30 00:00:00, the old platform's zero date
  static Date FromYmd(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
  // Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", "YYYY-MM-DDTHH:MM:SS" and "YYYYMMDD".
  static std::optional<Date> Parse(std::string_view text);

  int Year() const;
  int Month() const;
  int Day() const;
  int Hour() const { return static_cast<int>(seconds_ / 3600); }
  int Minute() const { return static_cast<int>(seconds_ / 60 % 60); }
  int Second() const { return static_cast<int>(seconds_ % 60); }
  bool HasTime() const { return seconds_ != 0; }
  Date DateOnly() const;

  Date AddDays(std::int64_t days) const;
  // Whole days from this date's day to `later`'s, their times of day left out.
  std::int64_t DaysUntil(const Date& later) const { return later.days_ - days_; }
  Date AddMinutes(std::int64_t minutes) const;
  Date AddWeeks(std::int64_t weeks) const;
  // Months and years keep the day of the month, or the last day of a shorter target month.
  Date AddMonths(std::int64_t months) const;
  Date AddYears(std::int64_t years) const;

  // "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" with the given separator when the time is not midnight.
  std::string ToIsoDate() const;
  std::string ToIsoDateTime(char separator = ' ') const;
  std::string ToText(char separator = ' ') const;  // date alone when its time is midnight

  auto operator<=>(const Date&) const = default;

 private:
  Date(std::int64_t days, std::int64_t seconds) : days_(days), seconds_(seconds) {}
  // A date of that day, or an Error when it falls outside the years the type holds.
  static Date InRange(std::int64_t days, std::int64_t seconds);
  std::int64_t days_ = -25569;  // days since 1970-01-01
  std::int64_t seconds_ = 0;    // seconds since midnight
};

}  // namespace nv407
