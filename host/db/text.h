#pragma once

#include <string>
#include <string_view>

#include "component/text_characters.h"

namespace nv407::host {

// UTF-8, the text of the component and the host, to and from UTF-16, the text of the ODBC
// wide-character calls. A byte or code unit that starts no character becomes U+FFFD.
std::u16string Widen(std::string_view utf8);
std::string Narrow(std::u16string_view utf16);
// Every character whole and in its shortest form, none a surrogate or beyond U+10FFFF.
bool IsUtf8(std::string_view text);

// The text less the UTF-8 byte order mark that some editors write at a file's start.
constexpr std::string_view WithoutByteOrderMark(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

// Keys as users type them: ASCII and Latin-1 letters in upper case (ñ -> Ñ), and their
// length in characters, not bytes.
std::string UpperCaseText(std::string_view text);
using nv407::CharacterCount;
// A box's limit cuts as the component's reports do.
using nv407::FirstCharacters;
// Whether the text holds a character that shows nothing of its own: a format character (a
// joiner, a mark of direction, the soft hyphen, the word joiner, U+FEFF, a tag) or one drawn
// on the character before it (an accent written apart, a variation selector). Such a text
// looks like another without it, or with the accent as part of its letter.
bool HoldsUnseenCharacters(std::string_view text);
// A character as a refusal names one that cannot be told by its look: "U+212A".
std::string CodePointName(char32_t code);
// The text with each control character (C0, DEL, C1: NEL among them) and each byte that
// starts no character replaced by `mark`: a one-line box drops them (""), a note or a
// terminal shows a mark where they were.
std::string ControlsMarked(std::string_view text, std::string_view mark);
// The text less the blanks at its ends: the space and the Unicode spaces that look like
// one or like none (no-break, the typographic ones, the zero-width ones, the ideographic).
// An operator code has none there, so that a code pasted with one still names its operator.
std::string_view WithoutBlanksAtEnds(std::string_view text);
// Each character that UpperCaseText changes, once: a key that holds one is no key that a
// key field can hold.
std::string RaisedLetters();

using nv407::IsContinuationByte;
// A Latin-1 letter is 0xC3 and a second byte in UTF-8, its two cases 0x20 apart: U+00C0 to
// U+00DE capitals, U+00E0 to U+00FE small, but the multiplication and division signs. The
// second byte of the letter's other case, or 0 where `second` is no such letter.
constexpr unsigned char LatinOtherCase(unsigned char second) {
  if (second >= 0x80 && second <= 0x9E && second != 0x97) return second + 0x20;
  if (second >= 0xA0 && second <= 0xBE && second != 0xB7) return second - 0x20;
  return 0;
}

// ASCII letters in lower case, other bytes as they are: SQL names and keywords compare so.
std::string AsciiLower(std::string_view text);
// ASCII letters in upper case, other bytes as they are: table names, settings' values.
std::string AsciiUpper(std::string_view text);
// The text less the spaces, tabs and line ends at its ends: a line of a file, a name typed.
std::string_view TrimmedView(std::string_view text);
std::string Trim(std::string_view text);

// Bytes classified as the C locale classifies them, whatever locale the program runs in: a
// window runs in its user's, where <cctype> may differ (in Turkish 'I' has no lower case).
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr bool IsAsciiSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
constexpr bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
constexpr bool IsAsciiAlnum(char c) {
  return IsAsciiDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z');
}

}  // namespace nv407::host
