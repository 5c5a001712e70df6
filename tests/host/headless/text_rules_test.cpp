#include "host/headless/text_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace nv407::host {
namespace {

// An edit of a box of five characters, written with '|' where the cursor is: what it keeps,
// the cursor where the box leaves it.
std::string Kept(const std::string& before, const std::string& after_with_cursor, int max = 5) {
  const std::size_t cursor = after_with_cursor.find('|');
  const std::string after =
      after_with_cursor.substr(0, cursor) + after_with_cursor.substr(cursor + 1);
  const KeptEdit kept = KeptOfEdit(before, after, cursor, max);
  return kept.text.substr(0, kept.cursor) + "|" + kept.text.substr(kept.cursor);
}

TEST(KeptOfEdit, TypingAndPastingStopAtTheLimitInCharactersWhereverTheCursorIs) {
  EXPECT_EQ(Kept("abcd", "abcde|"), "abcde|") << "up to the limit";
  EXPECT_EQ(Kept("abcde", "abcdef|"), "abcde|") << "at the end";
  EXPECT_EQ(Kept("abcde", "abX|cde"), "ab|cde") << "in the middle: the text stays as it was";
  EXPECT_EQ(Kept("ab", "aXYZWV|b"), "aXYZ|b") << "a paste keeps what fits";
  EXPECT_EQ(Kept("ab", "añ😀ñé|b"), "añ😀ñ|b") << "an accent or an emoji is one character";
  EXPECT_EQ(Kept("", "ñññññ😀|"), "ñññññ|") << "never half a character";
  EXPECT_EQ(Kept("abcde", "aXY|e"), "aXY|e") << "a selection replaced by less";
  EXPECT_EQ(Kept("abcde", "aXYZW|e"), "aXYZ|e") << "a selection replaced by more";
  EXPECT_EQ(Kept("aaaaa", "aa|aaaa"), "a|aaaa") << "a letter like its neighbours";
  EXPECT_EQ(Kept("abcdef", "abcdefg|", 0), "abcdefg|") << "no limit";
}

// A one-line box drops line breaks, tabs and the like before it counts what fits.
TEST(KeptOfEdit, ControlCharactersAreDroppedBeforeTheCut) {
  EXPECT_EQ(Kept("ab", "a\r\nXY\tZW|b"), "aXYZ|b") << "they take no room";
  EXPECT_EQ(Kept("", "\n12345|"), "12345|") << "one ahead of the text";
  EXPECT_EQ(Kept("ab", "a\tX\n|b", 0), "aX|b") << "no limit";
  EXPECT_EQ(Kept("", "uno\u2028dos\u2029tres\u0085|", 0), "unodostres|") << "separators, NEL";
}

// A longer text than the box takes (the database's, another program's) is the screen's
// doing, not the user's: it stays, can be shortened, and takes nothing more.
TEST(KeptOfEdit, ALongerTextGivenStaysUntilTheUserShortensIt) {
  EXPECT_EQ(Kept("REF-1234", "REF-|234"), "REF-|234") << "a deletion";
  EXPECT_EQ(Kept("REF-1234", "REF-X|1234"), "REF-|1234") << "an insertion";
  EXPECT_EQ(Kept("REF-1234", "REF|"), "REF|") << "cut down below the limit";
}

}  // namespace
}  // namespace nv407::host
