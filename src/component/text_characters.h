#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nv407 {

// Text is UTF-8 throughout; widths and limits count code points, as the databases do.

// A UTF-8 byte that goes on a character begun before it.
constexpr bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The text's length in code points, not bytes.
int CharacterCount(std::string_view text);

// The code point that starts at byte `at`, and its length in bytes: 0 where none does (a
// stray byte, a cut sequence, a surrogate, a code point written longer than it need be).
struct DecodedCharacter {
  char32_t code = 0;
  std::size_t length = 0;
};
DecodedCharacter DecodeAt(std::string_view utf8, std::size_t at);

// What is drawn on the character before it: the combining marks of Latin, Greek and
// Cyrillic and of symbols, joiners, variation selectors, skin tones and tag characters.
// (Not every script's marks: enough that no Spanish letter loses its accent nor an emoji
// sequence its second half.)
bool GoesOnThePrevious(char32_t code);

// The text's first or last `count` code points, never parting a letter from the accents,
// joiners and selectors drawn on it, nor a flag from its other half: the cut goes back to the
// last whole character, or on to the next. A byte that starts no character counts as one,
// with the continuation bytes after it, as CharacterCount counts them.
std::string FirstCharacters(std::string_view text, int count);
std::string LastCharacters(std::string_view text, int count);

}  // namespace nv407
