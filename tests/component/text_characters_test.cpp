#include "component/text_characters.h"

#include <gtest/gtest.h>

#include <string>

namespace nv407 {
namespace {

const std::string e_acute = "e\u0301";  // e and a combining acute accent
const std::string mexico = "\U0001F1F2\U0001F1FD";
const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";

struct CutCase {
  std::string text;
  int count;
  std::string kept;
};

// A limit counts characters as the database does (code points), and a cut goes back to the
// last whole letter or emoji rather than keep half of one.
TEST(FirstCharacters, CutsAtTheLimitButNeverThroughALetterOrAnEmoji) {
  const CutCase cases[] = {
      {"abcdef", 3, "abc"},
      {"ñañaña", 4, "ñaña"},
      {"ab", 5, "ab"},
      {e_acute + e_acute + e_acute, 5, e_acute + e_acute},
      {e_acute + e_acute, 4, e_acute + e_acute},
      {"a" + mexico + mexico, 4, "a" + mexico},
      {"a" + mexico + mexico, 5, "a" + mexico + mexico},
      {"ab" + family, 4, "ab"},
      {"ab" + family, 7, "ab" + family},
      {"x\U0001F44D\U0001F3FD", 2, "x"},  // a thumb and its skin tone
      {e_acute, 0, ""},
      // Bytes that make no character (a surrogate, an overlong form), counted as
      // CharacterCount counts them: one with the continuation bytes after it.
      {"a\xED\xA0\x80"
       "b",
       2, "a\xED\xA0\x80"},
      {"\xE0\x80\x80"
       "ab",
       1, "\xE0\x80\x80"},
  };
  for (const auto& c : cases) {
    const std::string kept = FirstCharacters(c.text, c.count);
    EXPECT_EQ(kept, c.kept) << c.text;
    EXPECT_LE(CharacterCount(kept), c.count) << c.text;
  }
}

// Kept from the end, the cut goes on past a letter, an emoji sequence or a flag it would split.
TEST(LastCharacters, CutsAtTheLimitButNeverThroughALetterOrAnEmoji) {
  const CutCase cases[] = {
      {"abcdef", 3, "def"},
      {"ñañaña", 4, "ñaña"},
      {"ab", 5, "ab"},
      {e_acute + e_acute + e_acute, 5, e_acute + e_acute},
      {e_acute + "x", 1, "x"},
      {mexico + mexico + "a", 4, mexico + "a"},
      {mexico + mexico + mexico, 5, mexico + mexico},
      {family + "ab", 4, "ab"},
      {family + "ab", 7, family + "ab"},
      {"\U0001F44D\U0001F3FDx", 2, "x"},
      {e_acute, 0, ""},
      {"a\xED\xA0\x80"
       "b",
       2,
       "\xED\xA0\x80"
       "b"},
  };
  for (const auto& c : cases) EXPECT_EQ(LastCharacters(c.text, c.count), c.kept) << c.text;
}

}  // namespace
}  // namespace nv407
