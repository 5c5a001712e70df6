#include "component/variant.h"

#include <gtest/gtest.h>

#include <limits>

#include "component/controls.h"
#include "component/error.h"

namespace nv407 {
namespace {

TEST(VariantTest, WritesNumbersInTheirPlainDefaultForm) {
  EXPECT_EQ(Variant(8).ToText(), "8");
  EXPECT_EQ(Variant(8.0).ToText(), "8");
  EXPECT_EQ(Variant(1.5).ToText(), "1.5");
  EXPECT_EQ(Variant(-0.25).ToText(), "-0.25");
  EXPECT_EQ(Variant(0.0).ToText(), "0");
  EXPECT_EQ(Variant(0.1 + 0.2).ToText(), "0.3");
  EXPECT_EQ(Variant(123456789012.0).ToText(), "123456789012");
  // Past fifteen digits, or below a ten-thousandth, the exponent shows, as "%.15G" writes it.
  EXPECT_EQ(Variant(1e20).ToText(), "1E+20");
  EXPECT_EQ(Variant(1.25e-7).ToText(), "1.25E-07");
  EXPECT_EQ(Variant(std::numeric_limits<double>::infinity()).ToText(), "INF");
  EXPECT_EQ(Variant(std::int64_t{-42}).ToText(), "-42");
  EXPECT_EQ(Variant(true).ToText(), "True");
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant(Date::FromYmd(2024, 3, 15)).ToText(), "2024-03-15");
}

TEST(VariantTest, NullCannotBecomeTextNorANumber) {
  const Variant null = Variant::MakeNull();
  for (auto convert :
       {+[](const Variant& v) { (void)v.ToText(); }, +[](const Variant& v) { (void)v.ToDouble(); },
        +[](const Variant& v) { (void)v.ToDate(); }}) {
    try {
      convert(null);
      ADD_FAILURE() << "a Null converted";
    } catch (const Error& e) {
      EXPECT_EQ(e.Description(), "Invalid use of Null");
    }
  }
}

TEST(VariantTest, ConvertsTextToNumbersAndDatesOrRefuses) {
  EXPECT_EQ(Variant("28").ToLong(), 28);
  EXPECT_EQ(Variant(" 2.5 ").ToDouble(), 2.5);
  EXPECT_EQ(Variant(2.5).ToLong(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).ToLong(), 4);
  EXPECT_EQ(Variant("2024-03-15").ToDate(), Date::FromYmd(2024, 3, 15));
  EXPECT_THROW((void)Variant("12abc").ToLong(), Error);
  EXPECT_THROW((void)Variant("").ToDouble(), Error);
  EXPECT_THROW((void)Variant("mañana").ToDate(), Error);
  EXPECT_THROW((void)Variant(5).ToDate(), Error);
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
