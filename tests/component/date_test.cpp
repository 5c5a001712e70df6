#include "component/date.h"

#include <gtest/gtest.h>

#include "component/error.h"

namespace nv407 {
namespace {

struct Shift {
  const char* start;
  const char* unit;
  int count;
  const char* expected;
};

class DateShiftTest : public testing::TestWithParam<Shift> {};

TEST_P(DateShiftTest, MovesByCalendarUnitsClampingToTheMonthEnd) {
  const Shift& shift = GetParam();
  const Date start = *Date::Parse(shift.start);
  const std::string unit = shift.unit;
  const Date moved = unit == "d"    ? start.AddDays(shift.count)
                     : unit == "ww" ? start.AddWeeks(shift.count)
                     : unit == "m"  ? start.AddMonths(shift.count)
                                    : start.AddYears(shift.count);
  EXPECT_EQ(moved.ToText(), shift.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, DateShiftTest,
    testing::Values(Shift{"2024-01-01", "d", 30, "2024-01-31"},
                    Shift{"2024-02-28", "d", 1, "2024-02-29"},
                    Shift{"2023-02-28", "d", 1, "2023-03-01"},
                    Shift{"2024-03-01", "d", -1, "2024-02-29"},
                    Shift{"2024-12-31", "d", 1, "2025-01-01"},
                    Shift{"2024-06-01", "ww", 2, "2024-06-15"},
                    Shift{"2024-01-31", "m", 1, "2024-02-29"},
                    Shift{"2023-01-31", "m", 1, "2023-02-28"},
                    Shift{"2024-03-31", "m", 1, "2024-04-30"},
                    Shift{"2024-11-15", "m", 3, "2025-02-15"},
                    Shift{"2024-03-15", "m", 12, "2025-03-15"},
                    Shift{"2024-03-15", "m", -3, "2023-12-15"},
                    Shift{"2024-02-29", "yyyy", 1, "2025-02-28"},
                    Shift{"2024-02-29", "yyyy", 4, "2028-02-29"},
                    Shift{"2024-05-10 13:45:00", "m", 1, "2024-06-10 13:45:00"}));

TEST(DateTest, ParsesTheTextFormsOfBothDialectsAndRefusesOthers) {
  EXPECT_EQ(Date::Parse("2024-03-15")->ToText(), "2024-03-15");
  EXPECT_EQ(Date::Parse("20240315")->ToText(), "2024-03-15");
  EXPECT_EQ(Date::Parse("2024-03-15T08:05:09")->ToText('T'), "2024-03-15T08:05:09");
  EXPECT_EQ(Date::Parse("2024-03-15 08:05:09.123")->ToText(), "2024-03-15 08:05:09");
  for (const char* bad : {"", "2024-02-30", "2024-13-01", "15/03/2024", "2024-03-15 25:00:00",
                          "2024-03-15x", "abcdefgh"})
    EXPECT_FALSE(Date::Parse(bad).has_value()) << bad;
  EXPECT_THROW(Date::FromYmd(2023, 2, 29), Error);
}

TEST(DateTest, ComparesWithItsTime) {
  const Date morning = Date::FromYmd(2024, 3, 15, 8, 0, 0);
  const Date midnight = Date::FromYmd(2024, 3, 15);
  EXPECT_LT(midnight, morning);
  EXPECT_EQ(morning.DateOnly(), midnight);
  EXPECT_LT(morning, Date::FromYmd(2024, 3, 16));
  EXPECT_EQ(morning.ToText(), "2024-03-15 08:00:00");
  EXPECT_EQ(midnight.ToText(), "2024-03-15");
}

}  // namespace
}  // namespace nv407
