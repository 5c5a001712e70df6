#include "host/db/text.h"

#include <gtest/gtest.h>

#include <string>

namespace nv407::host {
namespace {

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
