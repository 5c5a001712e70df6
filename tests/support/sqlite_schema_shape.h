#pragma once

#include <algorithm>
#include <string>

#include "host/db/database.h"
#include "tests/support/result_text.h"

namespace nv407::testing {

// The SQLite schema as the host makes it, for the other dialects' schemas to match: each
// table as "table: column, ...; key (a, b)", in lower case, sorted. With `details`, each
// column also says " not null" (a key column always is) and " default D", and each index is
// a line "index on table (a, b)": an index of some rows alone is for what SQLite alone can
// hold (a quantity stored as text), and is left out.
inline Lines SqliteSchemaShape(bool details) {
  auto database = host::OpenSqliteMemoryDatabase();
  Connection& sql = database->ForHost();
  host::CreateSchema(sql, host::SqlDialect::kSqlite);
  const auto texts = [&](const std::string& query) {
    Lines texts;
    for (auto result = sql.Execute("SELECT lower(" + query); !result->Eof(); result->MoveNext())
      texts.push_back(result->Fields("v").Value().ToText());
    return texts;
  };
  const std::string column =
      details ? "name || CASE WHEN \"notnull\" OR pk THEN ' not null' ELSE '' END || "
                "IFNULL(' default ' || dflt_value, '')"
              : "name";
  Lines shape;
  for (const std::string& table : texts("name) AS v FROM sqlite_master WHERE type = 'table'")) {
    const std::string info = ") AS v FROM pragma_table_info('" + table + "')";
    shape.push_back(table + ": " + Joined(texts(column + info + " ORDER BY cid")) + "; key (" +
                    Joined(texts("name" + info + " WHERE pk ORDER BY pk")) + ")");
    if (!details) continue;
    for (const std::string& index : texts("name) AS v FROM pragma_index_list('" + table +
                                          "') WHERE origin = 'c' AND NOT partial"))
      shape.push_back(
          "index on " + table + " (" +
          Joined(texts("name) AS v FROM pragma_index_info('" + index + "') ORDER BY seqno")) + ")");
  }
  std::sort(shape.begin(), shape.end());
  return shape;
}

}  // namespace nv407::testing
