#pragma once

#include <string>
#include <string_view>

namespace nv407::host {

// UTF-8, the text of the component and the host, to and from UTF-16, the text of the ODBC
// wide-character calls. A byte or code unit that starts no character becomes U+FFFD.
std::u16string Widen(std::string_view utf8);
std::string Narrow(std::u16string_view utf16);

// The text less the UTF-8 byte order mark that some editors write at a file's start.
constexpr std::string_view WithoutByteOrderMark(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

// Keys as users type them: ASCII and Latin-1 letters in upper case (ñ -> Ñ), and their
// length in characters, not bytes.
std::string UpperCaseText(std::string_view text);
int CharacterCount(std::string_view text);

// ASCII letters in lower case, other bytes as they are: SQL names and keywords compare so.
std::string AsciiLower(std::string_view text);

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
