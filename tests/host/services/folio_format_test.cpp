#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "host/services/folio.h"

namespace nv407::host {
namespace {

// Beyond the ways of typing an issued folio (below): blanks anywhere around the dash,
// surplus zeros, a number too long for its digits (kept whole, never cut to another folio),
// and texts that are no folio (trimmed and upper-cased only).
TEST(FormatFolio, BringsWhatUsersTypeToStoredForm) {
  std::string stored;
  for (const char* typed : {" \t01-0000012\r\n", "01 - 12", "01-000000012", "01-0", "01-123456789",
                            "01-0123456789", "   ", "abc", "-12", "01-", "01-12a", "01-1 2"})
    stored += FormatFolio(typed) + "|";
  EXPECT_EQ(stored,
            "01-0000012|01-0000012|01-0000012|01-0000000|01-123456789|01-123456789||ABC|-12|01-|"
            "01-12A|01-1 2|");
}

// Every issued folio is its own stored form, and each way of typing it comes back to it.
TEST(FormatFolio, RoundTripsEveryWayOfTypingAnIssuedFolio) {
  for (const char* branch : {"01", "mty", "A", "SUC-2", "ABCDEFG"}) {
    for (std::int64_t number : {1, 12, 99}) {
      const auto folio = MakeFolio(FolioBranch(branch), number, kFolioWidth);
      ASSERT_TRUE(folio) << branch << " " << number;
      std::string lower = *folio;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const std::string bare = std::string(branch) + "-" + std::to_string(number);
      for (const std::string& text : {*folio, lower, bare, "  " + bare + " ", Upper(bare) + "\t"})
        EXPECT_EQ(FormatFolio(text), *folio) << "typed \"" << text << "\"";
    }
  }
  EXPECT_EQ(FolioBranch("s\xc3\xb1"), "S\xc3\xb1") << "non-ASCII bytes pass unchanged";
}

}  // namespace
}  // namespace nv407::host
