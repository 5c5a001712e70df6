#include "host/db/text.h"

#include <gtest/gtest.h>

#include <string>

namespace nv407::host {
namespace {

// A box's limit counts characters as the database does (code points), and a cut goes back
// to the last whole letter or emoji rather than store half of one.
TEST(FirstCharacters, CutsAtTheLimitButNeverThroughALetterOrAnEmoji) {
  const std::string e_acute = "e\u0301";  // e and a combining acute accent
  const std::string mexico = "\U0001F1F2\U0001F1FD";
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  const struct {
    std::string text;
    int count;
    std::string kept;
  } cases[] = {
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
  };
  for (const auto& c : cases) EXPECT_EQ(FirstCharacters(c.text, c.count), c.kept) << c.text;
}

// What a one-line box drops and a note or a terminal marks: C0, DEL and C1 (NEL, CSI) and
// bytes that start no character; letters, emoji and line-separator-free text stay.
TEST(ControlsMarked, MarksControlCharactersAndBrokenBytes) {
  EXPECT_EQ(ControlsMarked("a\tb\nc\x7f"
                           "d",
                           "?"),
            "a?b?c?d");
  EXPECT_EQ(ControlsMarked("Acme\u009b2J\u0085FIN", " "), "Acme 2J FIN");
  EXPECT_EQ(ControlsMarked("X\xffY\xc3", "?"), "X?Y?");
  EXPECT_EQ(ControlsMarked("\xc1\x81|\xe0\x80\x80", "?"), "??|???")
      << "written longer than need be";
  EXPECT_EQ(ControlsMarked("Peña 😀 \u00a0ü", ""), "Peña 😀 \u00a0ü");
  EXPECT_EQ(ControlsMarked(std::string("a\0b", 3), ""), "ab");
}

}  // namespace
}  // namespace nv407::host
