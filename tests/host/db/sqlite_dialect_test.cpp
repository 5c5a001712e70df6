#include "host/db/sqlite_dialect.h"

#include <gtest/gtest.h>

#include "db_test_support.h"

namespace nv407::host {
namespace {

using sqlite::TranslateToSqlite;
using testing::FirstValue;

struct Translation {
  const char* name;
  const char* sql;
  const char* expected;
};

class IsNullTranslation : public ::testing::TestWithParam<Translation> {};

TEST_P(IsNullTranslation, RewritesOnlyTheFunctionCall) {
  EXPECT_EQ(TranslateToSqlite(GetParam().sql), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsNullTranslation,
    ::testing::Values(
        // Calls, in any letter case and with blanks before the parenthesis.
        Translation{"Plain", "SELECT IsNull(a, 0) FROM t", "SELECT IfNull(a, 0) FROM t"},
        Translation{"UpperCase", "SELECT ISNULL(a,0)", "SELECT IfNull(a,0)"},
        Translation{"LowerCase", "select isnull(a,0)", "select IfNull(a,0)"},
        Translation{"BlanksBeforeParenthesis", "SELECT IsNull \t\n (a, 0)",
                    "SELECT IfNull \t\n (a, 0)"},
        Translation{"Nested", "IsNull(IsNull(a, b), 0)", "IfNull(IfNull(a, b), 0)"},
        Translation{"AfterPunctuation", "x=IsNull(a,0)+(IsNull(b,0))",
                    "x=IfNull(a,0)+(IfNull(b,0))"},
        Translation{"AtTheEnd", "IsNull(", "IfNull("},
        // Literals and quoted names keep their text, with doubled quotes inside them.
        Translation{"InLiteral", "SELECT 'IsNull(a)'", "SELECT 'IsNull(a)'"},
        Translation{"AfterDoubledQuote", "SELECT 'it''s IsNull(', IsNull(b, 1)",
                    "SELECT 'it''s IsNull(', IfNull(b, 1)"},
        Translation{"InDoubleQuotedName", R"(SELECT "IsNull(" FROM t)",
                    R"(SELECT "IsNull(" FROM t)"},
        Translation{"InBracketName", "SELECT [IsNull(a)], IsNull(b,0)",
                    "SELECT [IsNull(a)], IfNull(b,0)"},
        Translation{"InBacktickName", "SELECT `IsNull(` FROM t", "SELECT `IsNull(` FROM t"},
        Translation{"UnterminatedLiteral", "SELECT 'IsNull(", "SELECT 'IsNull("},
        Translation{"InLineComment", "-- IsNull( it's\nIsNull(a,0)",
                    "-- IsNull( it's\nIfNull(a,0)"},
        Translation{"InBlockComment", "/* IsNull( */ IsNull(a,0)", "/* IsNull( */ IfNull(a,0)"},
        // Other words and the IS NULL operators are not calls of the function.
        Translation{"LongerName", "SELECT MyIsNull(a), IsNullable(b)",
                    "SELECT MyIsNull(a), IsNullable(b)"},
        Translation{"PostfixOperator", "WHERE a ISNULL AND b IS NULL",
                    "WHERE a ISNULL AND b IS NULL"},
        Translation{"NoParenthesis", "SELECT IsNull", "SELECT IsNull"}),
    [](const auto& info) { return std::string(info.param.name); });

class IsNullOnTheDatabase : public testing::DemoDatabaseTest {};

TEST_F(IsNullOnTheDatabase, RunsTheCallAndKeepsLiteralsAndNamesAsWritten) {
  auto result = Screen().Execute(
      "SELECT IsNull(NULL, 'y') AS called, ISNULL (NULL, 2) AS upper_case, "
      "'IsNull(x), it''s' AS literal, 1 AS \"IsNull(a)\"");
  ASSERT_FALSE(result->Eof());
  EXPECT_EQ(result->Fields("called").Value(), Variant("y"));
  EXPECT_EQ(result->Fields("upper_case").Value(), Variant(2));
  EXPECT_EQ(result->Fields("literal").Value(), Variant("IsNull(x), it's"));
  EXPECT_EQ(result->Fields("IsNull(a)").Value(), Variant(1));
  result->Close();

  Screen().Execute("INSERT INTO host_parameter VALUES ('NOTA', 'IsNull(a, 0) -- it''s')");
  EXPECT_EQ(FirstValue(Host(), "SELECT value FROM host_parameter WHERE name = 'NOTA'", "value"),
            Variant("IsNull(a, 0) -- it's"));
}

}  // namespace
}  // namespace nv407::host
