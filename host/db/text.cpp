#include "host/db/text.h"

#include <algorithm>
#include <cstdio>

namespace nv407::host {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

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

// C0, DEL and C1 (NEL among them).
bool IsControl(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// Unicode's format characters, and the fillers and selectors drawn as nothing.
bool IsInvisible(char32_t code) {
  const auto in = [code](char32_t first, char32_t last) { return code >= first && code <= last; };
  return code == 0x00AD || in(0x0600, 0x0605) || code == 0x061C || code == 0x06DD ||
         code == 0x070F || in(0x0890, 0x0891) || code == 0x08E2 || code == 0x115F ||
         code == 0x1160 || in(0x180B, 0x180F) || in(0x200B, 0x200F) || in(0x202A, 0x202E) ||
         in(0x2060, 0x2064) || in(0x2066, 0x206F) || code == 0x3164 || code == 0xFEFF ||
         code == 0xFFA0 || in(0xFFF9, 0xFFFB) || code == 0x110BD || code == 0x110CD ||
         in(0x13430, 0x1343F) || in(0x1BCA0, 0x1BCA3) || in(0x1D173, 0x1D17A) || code == 0xE0001;
}

// Spaces that look like none, or like one where a code or a list shows them.
bool IsBlank(char32_t code) {
  return code == U' ' || code == 0x00A0 || code == 0x1680 || (code >= 0x2000 && code <= 0x200B) ||
         code == 0x2028 || code == 0x2029 || code == 0x202F || code == 0x205F || code == 0x3000 ||
         code == 0xFEFF;
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

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string_view TrimmedView(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Trim(std::string_view text) {
  return std::string(TrimmedView(text));
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

bool HoldsUnseenCharacters(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const DecodedCharacter character = DecodeAt(text, i);
    if (IsInvisible(character.code) || GoesOnThePrevious(character.code)) return true;
    i += std::max<std::size_t>(character.length, 1);
  }
  return false;
}

std::string CodePointName(char32_t code) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
  return name;
}

std::string ControlsMarked(std::string_view text, std::string_view mark) {
  // Printable ASCII, what is typed mostly, holds nothing to decode and nothing to mark.
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
    return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const DecodedCharacter character = DecodeAt(text, i);
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

std::string_view WithoutBlanksAtEnds(std::string_view text) {
  std::size_t first = text.size();
  std::size_t end = 0;
  for (std::size_t i = 0; i < text.size();) {
    const DecodedCharacter character = DecodeAt(text, i);
    const std::size_t length = std::max<std::size_t>(character.length, 1);
    if (character.length == 0 || !IsBlank(character.code)) {
      first = std::min(first, i);
      end = i + length;
    }
    i += length;
  }
  return first < end ? text.substr(first, end - first) : std::string_view();
}

}  // namespace nv407::host
