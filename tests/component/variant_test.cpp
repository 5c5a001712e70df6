#include "component/variant.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>

#include "component/controls.h"
#include "component/error.h"
#include "support/made_locale.h"

namespace nv407 {
namespace {

TEST(VariantTest, WritesNumbersInTheirPlainDefaultForm) {
  // Past fifteen digits, or below a ten-thousandth, the exponent shows, as "%.15G" writes it.
  // clang-format off
  const std::pair<Variant, const char*> cases[] = {
      {8, "8"}, {8.0, "8"}, {1.5, "1.5"}, {-0.25, "-0.25"}, {0.0, "0"}, {-0.0, "0"},
      {0.1 + 0.2, "0.3"}, {123456789012.0, "123456789012"}, {1e20, "1E+20"}, {1.25e-7, "1.25E-07"},
      {std::numeric_limits<double>::infinity(), "INF"}, {std::int64_t{-42}, "-42"},
      {true, "True"}, {Variant(), ""}, {Date::FromYmd(2024, 3, 15), "2024-03-15"}};
  // clang-format on
  for (const auto& [value, text] : cases) EXPECT_EQ(value.ToText(), text);
}

TEST(VariantTest, WritesDecimalsAsPrintfDoes) {
  // Numbers of a few decimals take a shorter road than the rest; both must write as printf.
  const auto printf_text = [](double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15G", value);
    return std::string(text);
  };
  for (std::int64_t n = -2'000'000; n <= 2'000'000; n += 997) {
    for (const double value : {n / 10.0, n / 100.0, n / 1e4, n / 1e5, n * 0.07, n * 1e8 / 3})
      ASSERT_EQ(Variant(value).ToText(), printf_text(value)) << n;
  }
}

TEST(VariantTest, ConvertsTextToNumbersAndDatesOrRefuses) {
  EXPECT_EQ(Variant("28").ToLong(), 28);
  EXPECT_EQ(Variant(" 2.5 ").ToDouble(), 2.5);
  EXPECT_EQ(Variant(2.5).ToLong(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).ToLong(), 4);
  EXPECT_EQ(Variant("2024-03-15").ToDate(), Date::FromYmd(2024, 3, 15));
  const Variant null = Variant::MakeNull();
  const auto null_refused = ::testing::ThrowsMessage<Error>("Invalid use of Null");
  EXPECT_THAT([&] { (void)null.ToText(); }, null_refused);
  EXPECT_THAT([&] { (void)null.ToDouble(); }, null_refused);
  EXPECT_THAT([&] { (void)null.ToDate(); }, null_refused);
  EXPECT_THROW((void)Variant("12abc").ToLong(), Error);
  // An exponent of two signs is no exponent (the C library stops before it).
  EXPECT_THROW((void)Variant("0x1.8p+-2").ToDouble(), Error);
  EXPECT_THROW((void)Variant("1.5e-+3").ToDouble(), Error);
  EXPECT_EQ(Variant("0x1.8p-2").ToDouble(), 0.375);
  EXPECT_THROW((void)Variant("").ToDouble(), Error);
  EXPECT_THROW((void)Variant("mañana").ToDate(), Error);
  EXPECT_THROW((void)Variant(5).ToDate(), Error);
}

// A window runs in its user's locale, whose decimals may have a comma (es_ES); the numbers
// the screen reads, stored and listed, have a point all the same.
TEST(VariantTest, ReadsNumbersWithAPointInAnyLocale) {
  const testing::MadeLocale spain(LC_NUMERIC, "es_ES");
  ASSERT_TRUE(spain.Made());
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");

  EXPECT_EQ(Variant("8.5").ToDouble(), 8.5);
  EXPECT_EQ(Variant(" 0.6667 ").ToDouble(), 0.6667);
  EXPECT_EQ(Variant("1.5e3").ToLong(), 1500);
  EXPECT_EQ(Variant(8.5).ToText(), "8.5");
  EXPECT_THROW((void)Variant("8,5").ToDouble(), Error);
}

TEST(VariantTest, EqualityKeepsKindsApart) {
  EXPECT_EQ(Variant("8"), Variant(std::string("8")));
  EXPECT_NE(Variant("8"), Variant(8));
  EXPECT_NE(Variant(), Variant::MakeNull());
  EXPECT_NE(Variant(Date::FromYmd(2024, 3, 15)), Variant(Date::FromYmd(2024, 3, 15, 0, 0, 1)));
}

TEST(ListItemsTest, FindsRowsByKeyAndIndexAndRefusesDuplicates) {
  ListItems items;
  int changes = 0;
  items.OnChange([&] { ++changes; });
  items.Add("KMANT", "MANT").SetSubItem(4, "0");
  items.Add("KSOP", "SOP");
  EXPECT_EQ(items.Count(), 2);
  EXPECT_EQ(items.Item("KMANT").SubItem(4), "0");
  EXPECT_EQ(items.Item("KMANT").SubItem(2), "");
  EXPECT_EQ(items.Item(2).Key(), "KSOP");
  EXPECT_THROW(items.Add("KSOP", "SOP"), Error);
  EXPECT_THROW(items.Item("KNONE"), Error);
  EXPECT_THROW(items.Item(3), Error);
  EXPECT_THROW(items.Item(0), Error);
  items.Clear();
  EXPECT_EQ(items.Count(), 0);
  EXPECT_EQ(changes, 4);
}

}  // namespace
}  // namespace nv407
