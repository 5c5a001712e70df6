#pragma once

#include <string>
#include <string_view>

namespace nv407::host {

// UTF-8, the text of the component and the host, to and from UTF-16, the text of the ODBC
// wide-character calls. A byte or code unit that starts no character becomes U+FFFD.
std::u16string Widen(std::string_view utf8);
std::string Narrow(std::u16string_view utf16);

// ASCII letters in lower case, other bytes as they are: SQL names and keywords compare so.
std::string AsciiLower(std::string_view text);

}  // namespace nv407::host
