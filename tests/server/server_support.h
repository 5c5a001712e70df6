#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "component/database.h"
#include "component/error.h"
#include "component/variant.h"
#include "host/db/database.h"
#include "support/test_backend.h"
#include "support/test_database.h"

namespace nv407::testing {

using Lines = std::vector<std::string>;

// A value with its kind in sight: Null, #date#, n:12 (a whole number), d:1.5, 'text'.
inline std::string Shown(const Variant& value) {
  // Built by appending: GCC 12 at -O3 takes "x" + a temporary for an overlapping copy.
  std::string shown;
  switch (value.kind()) {
    case Variant::Kind::kNull:
      return "Null";
    case Variant::Kind::kDate:
      shown = "#";
      break;
    case Variant::Kind::kLong:
      shown = "n:";
      break;
    case Variant::Kind::kDouble:
      shown = "d:";
      break;
    default:
      shown = "'";
  }
  shown += value.ToText();
  if (shown.front() == '#' || shown.front() == '\'') shown += shown.front();
  return shown;
}

// Every row of a query as the named columns' values (Shown) joined by '|', in its order.
inline Lines Rows(Connection& connection, const std::string& sql, const Lines& columns) {
  Lines rows;
  for (auto result = connection.Execute(sql); !result->Eof(); result->MoveNext()) {
    std::string row;
    for (const std::string& column : columns) {
      if (!row.empty()) row += '|';
      row += Shown(result->Fields(column).Value());
    }
    rows.push_back(row);
  }
  return rows;
}

inline std::string Scalar(Connection& connection, const std::string& sql) {
  const Lines rows = Rows(connection, sql, {"v"});
  return rows.empty() ? "<no row>" : rows.front();
}

// The description of the Error that run raises.
inline std::string Refusal(const std::function<void()>& run) {
  try {
    run();
  } catch (const Error& error) {
    return error.Description();
  }
  return "no error";
}

// A copy of the demo database on the test server, and sessions on it.
class ServerTest : public ::testing::Test {
 protected:
  std::unique_ptr<host::Database> Open(host::OdbcOptions options = {}) {
    return host::OpenOdbcDatabase(database_.ConnectionString(), std::move(options));
  }

  ServerDatabase database_{ServerDatabase::Contents::kDemo};
};

}  // namespace nv407::testing
