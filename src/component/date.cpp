#include "component/date.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "component/error.h"

namespace nv407 {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;
using std::chrono::year_month_day_last;

year_month_day Ymd(std::int64_t days) {
  return year_month_day{sys_days{std::chrono::days{days}}};
}

bool ReadNumber(std::string_view text, std::size_t pos, std::size_t len, int& out) {
  if (pos + len > text.size()) return false;
  out = 0;
  for (std::size_t i = pos; i < pos + len; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

std::int64_t DaysOf(int y, unsigned m, unsigned d) {
  return sys_days{year_month_day{year{y}, month{m}, day{d}}}.time_since_epoch().count();
}

const std::int64_t kFirstDay = DaysOf(Date::kFirstYear, 1, 1);
const std::int64_t kLastDay = DaysOf(Date::kLastYear, 12, 31);

[[noreturn]] void OutOfRange() {
  throw Error("Fecha fuera del intervalo admitido: los años van del " +
              std::to_string(Date::kFirstYear) + " al " + std::to_string(Date::kLastYear));
}

}  // namespace

Date Date::InRange(std::int64_t days, std::int64_t seconds) {
  if (days < kFirstDay || days > kLastDay) OutOfRange();
  return Date(days, seconds);
}

Date Date::FromYmd(int y, int m, int d, int hour, int minute, int second) {
  if (y < kFirstYear || y > kLastYear) OutOfRange();
  const year_month_day ymd{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  if (!ymd.ok() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
      second > 59) {
    char text[64];
    std::snprintf(text, sizeof text, "Invalid date: %04d-%02d-%02d %02d:%02d:%02d", y, m, d, hour,
                  minute, second);
    throw Error(text);
  }
  return Date(sys_days{ymd}.time_since_epoch().count(), hour * 3600 + minute * 60 + second);
}

std::optional<Date> Date::Parse(std::string_view text) {
  int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
  std::size_t time_at = 0;
  if (text.size() >= 10 && text[4] == '-' && text[7] == '-') {
    if (!ReadNumber(text, 0, 4, y) || !ReadNumber(text, 5, 2, m) || !ReadNumber(text, 8, 2, d))
      return std::nullopt;
    time_at = 10;
  } else if (text.size() == 8) {
    if (!ReadNumber(text, 0, 4, y) || !ReadNumber(text, 4, 2, m) || !ReadNumber(text, 6, 2, d))
      return std::nullopt;
    time_at = 8;
  } else {
    return std::nullopt;
  }
  if (text.size() > time_at) {
    if (text.size() < time_at + 9 || (text[time_at] != ' ' && text[time_at] != 'T') ||
        text[time_at + 3] != ':' || text[time_at + 6] != ':' ||
        !ReadNumber(text, time_at + 1, 2, hh) || !ReadNumber(text, time_at + 4, 2, mm) ||
        !ReadNumber(text, time_at + 7, 2, ss))
      return std::nullopt;
    // Fractions of a second, as some databases write them, are dropped.
    if (text.size() > time_at + 9) {
      const std::string_view fraction = text.substr(time_at + 10);
      if (text[time_at + 9] != '.' || fraction.empty() ||
          fraction.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    }
  }
  try {
    return FromYmd(y, m, d, hh, mm, ss);
  } catch (const Error&) {  // no such day, or outside the years a date holds
    return std::nullopt;
  }
}

int Date::Year() const {
  return static_cast<int>(Ymd(days_).year());
}
int Date::Month() const {
  return static_cast<int>(static_cast<unsigned>(Ymd(days_).month()));
}
int Date::Day() const {
  return static_cast<int>(static_cast<unsigned>(Ymd(days_).day()));
}

Date Date::DateOnly() const {
  return Date(days_, 0);
}

Date Date::AddDays(std::int64_t n) const {
  // Beyond the whole range no sum can land in it, and none can overflow.
  if (n > kLastDay - kFirstDay || n < kFirstDay - kLastDay) OutOfRange();
  return InRange(days_ + n, seconds_);
}

Date Date::AddMinutes(std::int64_t minutes) const {
  constexpr std::int64_t kPerDay = 24 * 60;
  if (minutes > (kLastDay - kFirstDay + 1) * kPerDay ||
      minutes < (kFirstDay - kLastDay - 1) * kPerDay)
    OutOfRange();
  const std::int64_t total = seconds_ + minutes * 60;
  const std::int64_t days = total >= 0 ? total / 86400 : (total - 86399) / 86400;
  return InRange(days_ + days, total - days * 86400);
}

Date Date::AddWeeks(std::int64_t weeks) const {
  if (weeks > (kLastDay - kFirstDay) / 7 || weeks < (kFirstDay - kLastDay) / 7) OutOfRange();
  return AddDays(weeks * 7);
}

Date Date::AddYears(std::int64_t years) const {
  if (years > kLastYear - kFirstYear || years < kFirstYear - kLastYear) OutOfRange();
  return AddMonths(years * 12);
}

Date Date::AddMonths(std::int64_t n) const {
  if (n > (kLastYear - kFirstYear + 1) * 12 || n < -(kLastYear - kFirstYear + 1) * 12) OutOfRange();
  const year_month_day ymd = Ymd(days_);
  const std::int64_t index =
      static_cast<int>(ymd.year()) * 12LL + static_cast<unsigned>(ymd.month()) - 1 + n;
  const year target_year{static_cast<int>(index >= 0 ? index / 12 : (index - 11) / 12)};
  const month target_month{static_cast<unsigned>(index - static_cast<int>(target_year) * 12LL + 1)};
  const day last =
      year_month_day_last{target_year, std::chrono::month_day_last{target_month}}.day();
  const day target_day = ymd.day() > last ? last : ymd.day();
  return InRange(
      sys_days{year_month_day{target_year, target_month, target_day}}.time_since_epoch().count(),
      seconds_);
}

namespace {

// Fixed-width digits by hand: dates are written into every statement and every shown date,
// where snprintf's reading of its format costs more than all the rest.
void PutDigits(std::string& text, int value, int width) {
  const std::size_t end = text.size() + static_cast<std::size_t>(width);
  text.resize(end);
  for (std::size_t i = end; i-- > end - static_cast<std::size_t>(width); value /= 10)
    text[i] = static_cast<char>('0' + value % 10);
}

}  // namespace

std::string Date::ToIsoDate() const {
  std::string text;
  text.reserve(19);
  PutDigits(text, Year(), 4);
  text += '-';
  PutDigits(text, Month(), 2);
  text += '-';
  PutDigits(text, Day(), 2);
  return text;
}

std::string Date::ToIsoDateTime(char separator) const {
  std::string text = ToIsoDate();
  text += separator;
  PutDigits(text, Hour(), 2);
  text += ':';
  PutDigits(text, Minute(), 2);
  text += ':';
  PutDigits(text, Second(), 2);
  return text;
}

std::string Date::ToText(char separator) const {
  return HasTime() ? ToIsoDateTime(separator) : ToIsoDate();
}

}  // namespace nv407
