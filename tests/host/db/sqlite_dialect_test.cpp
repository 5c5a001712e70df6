#include "host/db/sqlite_dialect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace nv407::host {
namespace {

TEST(IsNullTranslation, RewritesOnlyCallsOfTheFunction) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"SELECT IsNull(a, 0) FROM t", "SELECT IfNull(a, 0) FROM t"},
      // Any letter case, blanks before the parenthesis, nested, after punctuation, at the end.
      {"ISNULL(a,0), isnull \t\n (b,0)", "IfNull(a,0), IfNull \t\n (b,0)"},
      {"IsNull(IsNull(a, b), 0)", "IfNull(IfNull(a, b), 0)"},
      {"x=IsNull(a,0)+(IsNull(b,0))", "x=IfNull(a,0)+(IfNull(b,0))"},
      {"IsNull(", "IfNull("},
      // Literals, quoted names and comments keep their text, doubled quotes included.
      {"SELECT 'IsNull(a)', 'it''s IsNull(', IsNull(b, 1)",
       "SELECT 'IsNull(a)', 'it''s IsNull(', IfNull(b, 1)"},
      {R"(SELECT "IsNull(", [IsNull(a)], `IsNull(`, IsNull(b,0))",
       R"(SELECT "IsNull(", [IsNull(a)], `IsNull(`, IfNull(b,0))"},
      {"SELECT 'IsNull(", "SELECT 'IsNull("},
      {"-- IsNull( it's\nIsNull(a,0) /* IsNull( */", "-- IsNull( it's\nIfNull(a,0) /* IsNull( */"},
      // Other words and the IS NULL operators are not calls of the function.
      {"SELECT MyIsNull(a), IsNullable(b) WHERE a ISNULL AND b IS NULL",
       "SELECT MyIsNull(a), IsNullable(b) WHERE a ISNULL AND b IS NULL"},
      {"SELECT IsNull", "SELECT IsNull"},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(sqlite::TranslateToSqlite(sql), expected);
}

}  // namespace
}  // namespace nv407::host
