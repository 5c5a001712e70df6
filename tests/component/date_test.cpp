#include "component/date.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "component/error.h"

namespace nv407 {
namespace {

constexpr const char* kOutOfRange =
    "Fecha fuera del intervalo admitido: los años van del 100 al 9999";

// A start, a count of a unit ("d", "n" minutes, "ww", "m", "yyyy") and the date it moves to;
// nullptr where the move leaves the years 100 to 9999.
struct Shift {
  const char* start;
  const char* unit;
  std::int64_t count;
  const char* expected;
};

class DateShiftTest : public testing::TestWithParam<Shift> {};

TEST_P(DateShiftTest, MovesByCalendarUnitsClampingToTheMonthEndWithinTheYears100To9999) {
  const Shift& shift = GetParam();
  const Date start = *Date::Parse(shift.start);
  const std::string unit = shift.unit;
  const auto move = [&] {
    return unit == "d"    ? start.AddDays(shift.count)
           : unit == "n"  ? start.AddMinutes(shift.count)
           : unit == "ww" ? start.AddWeeks(shift.count)
           : unit == "m"  ? start.AddMonths(shift.count)
                          : start.AddYears(shift.count);
  };
  if (shift.expected == nullptr)
    EXPECT_THAT(move, testing::ThrowsMessage<Error>(kOutOfRange));
  else
    EXPECT_EQ(move().ToText(), shift.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, DateShiftTest,
    testing::Values(
        Shift{"2024-01-01", "d", 30, "2024-01-31"}, Shift{"2024-02-28", "d", 1, "2024-02-29"},
        Shift{"2023-02-28", "d", 1, "2023-03-01"}, Shift{"2024-03-01", "d", -1, "2024-02-29"},
        Shift{"2024-12-31", "d", 1, "2025-01-01"}, Shift{"2024-06-01", "ww", 2, "2024-06-15"},
        Shift{"2024-01-31", "m", 1, "2024-02-29"}, Shift{"2023-01-31", "m", 1, "2023-02-28"},
        Shift{"2024-03-31", "m", 1, "2024-04-30"}, Shift{"2024-11-15", "m", 3, "2025-02-15"},
        Shift{"2024-03-15", "m", 12, "2025-03-15"}, Shift{"2024-03-15", "m", -3, "2023-12-15"},
        Shift{"2024-02-29", "yyyy", 1, "2025-02-28"}, Shift{"2024-02-29", "yyyy", 4, "2028-02-29"},
        Shift{"2024-05-10 13:45:00", "m", 1, "2024-06-10 13:45:00"},
        Shift{"2024-03-15 10:30:00", "n", 15, "2024-03-15 10:45:00"},
        Shift{"2024-12-31 23:50:00", "n", 15, "2025-01-01 00:05:00"},
        Shift{"2024-03-01 00:10:00", "n", -15, "2024-02-29 23:55:00"},
        Shift{"2024-03-15 10:30:00", "n", -630, "2024-03-15"}));

INSTANTIATE_TEST_SUITE_P(
    Limits, DateShiftTest,
    testing::Values(
        Shift{"9999-12-31 23:59:59", "d", -1, "9999-12-30 23:59:59"},
        Shift{"0100-01-01", "m", 1, "0100-02-01"}, Shift{"9999-12-31 23:59:59", "d", 1, nullptr},
        Shift{"0100-01-01", "d", -1, nullptr},
        Shift{"9999-12-31", "yyyy", 1, nullptr},  // a yearly policy's end
        Shift{"2024-03-15", "d", 3'000'000, nullptr},
        Shift{"2024-03-15", "yyyy", 40'000, nullptr},  // wrapped round to year -23512 once
        Shift{"2024-03-15", "m", -24'300, nullptr}, Shift{"2024-03-15", "ww", INT64_MAX, nullptr},
        Shift{"2024-03-15", "d", INT64_MIN, nullptr}, Shift{"9999-12-31 23:59:59", "n", 1, nullptr},
        Shift{"2024-03-15", "n", INT64_MAX, nullptr}, Shift{"2024-03-15", "n", INT64_MIN, nullptr},
        Shift{"2024-03-15", "yyyy", INT64_MAX, nullptr}));

TEST(DateTest, ParsesTheTextFormsOfBothDialectsAndRefusesOthers) {
  EXPECT_EQ(Date::Parse("2024-03-15")->ToText(), "2024-03-15");
  EXPECT_EQ(Date::Parse("20240315")->ToText(), "2024-03-15");
  EXPECT_EQ(Date::Parse("2024-03-15T08:05:09")->ToText('T'), "2024-03-15T08:05:09");
  EXPECT_EQ(Date::Parse("2024-03-15 08:05:09.123")->ToText(), "2024-03-15 08:05:09");
  EXPECT_EQ(Date::Parse("0100-01-01")->ToText(), "0100-01-01");
  for (const char* bad : {"", "2024-02-30", "2024-13-01", "15/03/2024", "2024-03-15 25:00:00",
                          "2024-03-15x", "abcdefgh", "0099-12-31", "2024-03-15T10:30:00.xyz",
                          "2024-03-15 10:30:00.", "2024-03-15 10:30:00.5Z"})
    EXPECT_FALSE(Date::Parse(bad).has_value()) << bad;
  EXPECT_THROW(Date::FromYmd(2023, 2, 29), Error);
  EXPECT_THAT([] { Date::FromYmd(10000, 1, 1); }, testing::ThrowsMessage<Error>(kOutOfRange));
  EXPECT_THAT([] { Date::FromYmd(99, 12, 31); }, testing::ThrowsMessage<Error>(kOutOfRange));
}

TEST(DateTest, ComparesWithItsTime) {
  const Date morning = Date::FromYmd(2024, 3, 15, 8, 0, 0);
  const Date midnight = Date::FromYmd(2024, 3, 15);
  EXPECT_LT(midnight, morning);
  EXPECT_EQ(morning.DateOnly(), midnight);
  EXPECT_LT(morning, Date::FromYmd(2024, 3, 16));
}

}  // namespace
}  // namespace nv407
