#pragma once

#include <string>
#include <string_view>

namespace nv407::host::sqlite {

// Rewrites the one SQL Server construct that SQLite cannot parse in the screen's
// statements: the function IsNull( (any letter case, blanks allowed before the
// parenthesis) becomes IfNull(. SQLite reads ISNULL as a keyword, so a function of that
// name could never be called. String literals, quoted names and comments are left alone;
// nothing else changes.
std::string TranslateToSqlite(std::string_view sql);

}  // namespace nv407::host::sqlite
