#include "host/db/text.h"

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

}  // namespace

std::u16string Widen(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t code = 0;
    const auto length =
        static_cast<std::size_t>(SequenceLength(static_cast<unsigned char>(utf8[i]), code));
    bool valid = length > 0 && i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid || code > 0x10FFFF || IsHighSurrogate(code) || IsLowSurrogate(code)) {
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

}  // namespace nv407::host
