#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "host/services/folio.h"

namespace nv407::host {
namespace {

struct Typed {
  const char* typed;
  const char* stored;
};

class FormatFolioTest : public ::testing::TestWithParam<Typed> {};

TEST_P(FormatFolioTest, BringsWhatUsersTypeToStoredForm) {
  EXPECT_EQ(FormatFolio(GetParam().typed), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Typing, FormatFolioTest,
    ::testing::Values(
        // Already stored, with blanks, with too many zeros, with none.
        Typed{"01-0000012", "01-0000012"}, Typed{" 01-0000012 ", "01-0000012"},
        Typed{"\t01-0000012\r\n", "01-0000012"}, Typed{"01-000000012", "01-0000012"},
        Typed{"01-12", "01-0000012"}, Typed{"01 - 12", "01-0000012"}, Typed{"01-0", "01-0000000"},
        // Lower case branches; longer and shorter branches get fewer and more digits.
        Typed{"ab-7", "AB-0000007"}, Typed{"mty1-45", "MTY1-00045"}, Typed{"a-3", "A-00000003"},
        // A branch holding a dash: only the part after the last one is the number.
        Typed{"a-1-5", "A-1-000005"},
        // A number too long for its digits keeps all of them (never cut to a wrong folio).
        Typed{"01-123456789", "01-123456789"}, Typed{"01-0123456789", "01-123456789"},
        // Anything else: trimmed and upper-cased only.
        Typed{"", ""}, Typed{"   ", ""}, Typed{"abc", "ABC"}, Typed{"-12", "-12"},
        Typed{"01-", "01-"}, Typed{"01-12a", "01-12A"}, Typed{"01-1 2", "01-1 2"},
        Typed{"o'brien-1x", "O'BRIEN-1X"}));

TEST(MakeFolio, PadsToTheWidthAndRefusesNumbersThatDoNotFit) {
  EXPECT_EQ(MakeFolio("01", 1, kFolioWidth), "01-0000001");
  EXPECT_EQ(MakeFolio("01", 9999999, kFolioWidth), "01-9999999");
  EXPECT_EQ(MakeFolio("01", 10000000, kFolioWidth), std::nullopt);
  EXPECT_EQ(MakeFolio("SUCURSAL", 9, kFolioWidth), "SUCURSAL-9");
  EXPECT_EQ(MakeFolio("SUCURSAL", 10, kFolioWidth), std::nullopt);
  // A branch as wide as the folio still gets one digit.
  EXPECT_EQ(MakeFolio("SUCURSAL10", 3, kFolioWidth), "SUCURSAL10-3");
  EXPECT_EQ(MakeFolio("01", 42, 6), "01-042");
  EXPECT_EQ(MakeFolio("01", 42, 30)->size(), 30u);
  EXPECT_EQ(MakeFolio("01", -1, kFolioWidth), std::nullopt);
}

// Every issued folio is its own stored form, and each way of typing it comes back to it.
TEST(FormatFolio, RoundTripsEveryWayOfTypingAnIssuedFolio) {
  for (const char* branch : {"01", "mty", "A", "SUC-2", "ABCDEFG"}) {
    for (std::int64_t number : {1, 12, 99}) {
      const auto folio = MakeFolio(FolioBranch(branch), number, kFolioWidth);
      ASSERT_TRUE(folio) << branch << " " << number;
      EXPECT_EQ(FormatFolio(*folio), *folio);
      std::string lower = *folio;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const std::string bare = std::string(branch) + "-" + std::to_string(number);
      for (const std::string& typed : {lower, bare, "  " + bare + " ", Upper(bare) + "\t"})
        EXPECT_EQ(FormatFolio(typed), *folio) << "typed \"" << typed << "\"";
    }
  }
  EXPECT_EQ(FolioBranch("s\xc3\xb1"), "S\xc3\xb1") << "non-ASCII bytes pass unchanged";
}

}  // namespace
}  // namespace nv407::host
