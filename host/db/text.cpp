#include "host/db/text.h"

#include <algorithm>
#include <vector>

namespace nv407::host {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The length of the sequence a UTF-8 lead byte starts and the bits it carries; 0 for a
// byte that cannot start one.
int SequenceLength(unsigned char lead, char32_t& bits) {
  if (lead < 0x80) return bits = lead, 1;
  if ((lead & 0xE0) == 0xC0) return bits = lead & 0x1F, 2;
  if ((lead & 0xF0) == 0xE0) return bits = lead & 0x0F, 3;
  if ((lead & 0xF8) == 0xF0) return bits = lead & 0x07, 4;
  return 0;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit < 0xDC00;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit < 0xE000;
}

// The character that starts at byte `at`, and its length in bytes: 0 where none does (a
// stray byte, a cut sequence, a surrogate).
struct Decoded {
  char32_t code = 0;
  std::size_t length = 0;
};
Decoded DecodeAt(std::string_view utf8, std::size_t at) {
  char32_t code = 0;
  const auto length =
      static_cast<std::size_t>(SequenceLength(static_cast<unsigned char>(utf8[at]), code));
  bool valid = length > 0 && at + length <= utf8.size();
  for (std::size_t k = 1; valid && k < length; ++k) {
    const auto next = static_cast<unsigned char>(utf8[at + k]);
    valid = (next & 0xC0) == 0x80;
    code = (code << 6) | (next & 0x3F);
  }
  // A character written longer than it need be is no character either.
  constexpr char32_t kFewest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (!valid || code < kFewest[length] || code > 0x10FFFF || IsHighSurrogate(code) ||
      IsLowSurrogate(code))
    return {};
  return {code, length};
}

// C0, DEL and C1 (NEL among them).
bool IsControl(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// What is drawn on the character before it: the combining marks of Latin, Greek and
// Cyrillic and of symbols, joiners, variation selectors, skin tones and tag characters.
// (Not every script's marks: enough that no Spanish letter loses its accent nor an emoji
// sequence its second half.)
bool GoesOnThePrevious(char32_t code) {
  const auto in = [code](char32_t first, char32_t last) { return code >= first && code <= last; };
  return in(0x0300, 0x036F) || in(0x0483, 0x0489) || in(0x1AB0, 0x1AFF) || in(0x1DC0, 0x1DFF) ||
         in(0x200C, 0x200D) || in(0x20D0, 0x20FF) || in(0xFE00, 0xFE0F) || in(0xFE20, 0xFE2F) ||
         in(0x1F3FB, 0x1F3FF) || in(0xE0020, 0xE007F) || in(0xE0100, 0xE01EF);
}

bool IsRegionalIndicator(char32_t code) {
  return code >= 0x1F1E6 && code <= 0x1F1FF;
}

}  // namespace

std::u16string Widen(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto [decoded, length] = DecodeAt(utf8, i);
    char32_t code = decoded;
    if (length == 0) {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Narrow(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t code = utf16[i];
    if (IsHighSurrogate(code) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
      code = kReplacement;
    }
    AppendUtf8(out, code);
  }
  return out;
}

// What Widen cannot read it marks, and a character written longer than it need be comes
// back shorter: either way the text is not as it went.
bool IsUtf8(std::string_view text) {
  return Narrow(Widen(text)) == text;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string UpperCaseText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 'a' && byte <= 'z') {
      out += static_cast<char>(byte - 'a' + 'A');
    } else if (byte == 0xC3 && i + 1 < text.size() && IsContinuationByte(text[i + 1])) {
      // (A lead byte followed by no continuation starts no character: what follows is read
      // on its own.)
      const auto next = static_cast<unsigned char>(text[++i]);
      const unsigned char other = LatinOtherCase(next);
      out += text[i - 1];
      out += static_cast<char>(other != 0 && other < next ? other : next);  // small: its capital
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string RaisedLetters() {
  std::string letters;
  const auto keep_raised = [&letters](std::string_view character) {
    if (UpperCaseText(character) != character) letters += character;
  };
  for (char c = 0x20; c < 0x7F; ++c) keep_raised({&c, 1});
  for (int second = 0x80; second <= 0xBF; ++second)
    keep_raised(std::string{'\xC3', static_cast<char>(second)});
  return letters;
}

int CharacterCount(std::string_view text) {
  int count = 0;
  for (char c : text)
    if (!IsContinuationByte(c)) ++count;
  return count;
}

std::string FirstCharacters(std::string_view text, int count) {
  // Each character before the cut: where it starts, and what it is.
  std::vector<Decoded> kept;
  std::size_t cut = 0;
  for (; cut < text.size(); cut += std::max<std::size_t>(kept.back().length, 1)) {
    if (std::ssize(kept) == count) break;
    kept.push_back(DecodeAt(text, cut));
  }
  if (cut >= text.size()) return std::string(text);
  const auto continues = [&](char32_t next) {
    if (kept.empty()) return false;
    if (GoesOnThePrevious(next) || kept.back().code == 0x200D) return true;
    if (!IsRegionalIndicator(next)) return false;
    // Flags are pairs of regional indicators: an odd run before the cut ends in half a flag.
    std::size_t run = 0;
    while (run < kept.size() && IsRegionalIndicator(kept[kept.size() - 1 - run].code)) ++run;
    return run % 2 == 1;
  };
  char32_t next = DecodeAt(text, cut).code;
  while (continues(next)) {
    next = kept.back().code;
    cut -= std::max<std::size_t>(kept.back().length, 1);
    kept.pop_back();
  }
  return std::string(text.substr(0, cut));
}

std::string ControlsMarked(std::string_view text, std::string_view mark) {
  // Printable ASCII, what is typed mostly, holds nothing to decode and nothing to mark.
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
    return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Decoded character = DecodeAt(text, i);
    if (character.length == 0 || IsControl(character.code)) {
      out += mark;
      i += std::max<std::size_t>(character.length, 1);
      continue;
    }
    out += text.substr(i, character.length);
    i += character.length;
  }
  return out;
}

}  // namespace nv407::host
