#include "component/text_characters.h"

#include <algorithm>
#include <vector>

namespace nv407 {
namespace {

// The length of the sequence a UTF-8 lead byte starts and the bits it carries; 0 for a
// byte that cannot start one.
std::size_t SequenceLength(unsigned char lead, char32_t& bits) {
  if (lead < 0x80) return bits = lead, 1;
  if ((lead & 0xE0) == 0xC0) return bits = lead & 0x1F, 2;
  if ((lead & 0xF0) == 0xE0) return bits = lead & 0x0F, 3;
  if ((lead & 0xF8) == 0xF0) return bits = lead & 0x07, 4;
  return 0;
}

bool IsRegionalIndicator(char32_t code) {
  return code >= 0x1F1E6 && code <= 0x1F1FF;
}

struct Placed {
  std::size_t at = 0;
  char32_t code = 0;
};

std::vector<Placed> Characters(std::string_view text) {
  std::vector<Placed> characters;
  for (std::size_t at = 0; at < text.size();) {
    const DecodedCharacter character = DecodeAt(text, at);
    characters.push_back({at, character.code});
    std::size_t next = at + std::max<std::size_t>(character.length, 1);
    // A byte that starts no character (a surrogate, an overlong form) goes with the
    // continuation bytes after it, as CharacterCount counts them: no cut parts them.
    if (character.length == 0)
      while (next < text.size() && IsContinuationByte(text[next])) ++next;
    at = next;
  }
  return characters;
}

// No cut may fall just before character `i`.
bool ContinuesThePrevious(const std::vector<Placed>& characters, std::size_t i) {
  if (i == 0 || i >= characters.size()) return false;
  const char32_t code = characters[i].code;
  if (GoesOnThePrevious(code) || characters[i - 1].code == 0x200D) return true;
  if (!IsRegionalIndicator(code)) return false;
  // Flags are pairs of regional indicators: an odd run before this one ends in half a flag.
  std::size_t run = 0;
  while (run < i && IsRegionalIndicator(characters[i - 1 - run].code)) ++run;
  return run % 2 == 1;
}

}  // namespace

bool GoesOnThePrevious(char32_t code) {
  const auto in = [code](char32_t first, char32_t last) { return code >= first && code <= last; };
  return in(0x0300, 0x036F) || in(0x0483, 0x0489) || in(0x1AB0, 0x1AFF) || in(0x1DC0, 0x1DFF) ||
         in(0x200C, 0x200D) || in(0x20D0, 0x20FF) || in(0xFE00, 0xFE0F) || in(0xFE20, 0xFE2F) ||
         in(0x1F3FB, 0x1F3FF) || in(0xE0020, 0xE007F) || in(0xE0100, 0xE01EF);
}

int CharacterCount(std::string_view text) {
  return static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

DecodedCharacter DecodeAt(std::string_view utf8, std::size_t at) {
  char32_t code = 0;
  const std::size_t length = SequenceLength(static_cast<unsigned char>(utf8[at]), code);
  bool valid = length > 0 && at + length <= utf8.size();
  for (std::size_t k = 1; valid && k < length; ++k) {
    const auto next = static_cast<unsigned char>(utf8[at + k]);
    valid = (next & 0xC0) == 0x80;
    code = (code << 6) | (next & 0x3F);
  }
  // A character written longer than it need be is no character either.
  constexpr char32_t kFewest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (!valid || code < kFewest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
    return {};
  return {code, length};
}

std::string FirstCharacters(std::string_view text, int count) {
  const std::vector<Placed> characters = Characters(text);
  std::size_t end = std::min<std::size_t>(std::max(count, 0), characters.size());
  if (end == characters.size()) return std::string(text);
  while (ContinuesThePrevious(characters, end)) --end;
  return std::string(text.substr(0, characters[end].at));
}

std::string LastCharacters(std::string_view text, int count) {
  const std::vector<Placed> characters = Characters(text);
  std::size_t start =
      characters.size() - std::min<std::size_t>(std::max(count, 0), characters.size());
  while (ContinuesThePrevious(characters, start)) ++start;
  if (start == characters.size()) return {};
  return std::string(text.substr(characters[start].at));
}

}  // namespace nv407
