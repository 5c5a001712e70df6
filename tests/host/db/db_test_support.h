#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "component/database.h"
#include "component/date.h"
#include "component/error.h"
#include "host/db/database.h"

namespace nv407::host::testing {

using Lines = std::vector<std::string>;

// A fresh directory per test, removed with everything in it afterwards.
struct TempDir {
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "polizas-db-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    path = pattern;
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

// Every row of a query as the named columns' values joined by '|', the rows sorted; dates
// between '#' so that their kind shows, Null as "Null".
inline Lines Rows(Connection& connection, const std::string& sql, const Lines& columns) {
  Lines rows;
  for (auto result = connection.Execute(sql); !result->Eof(); result->MoveNext()) {
    std::string row;
    for (const std::string& column : columns) {
      const Variant value = result->Fields(column).Value();
      row += row.empty() ? "" : "|";
      row += value.IsNull()                         ? "Null"
             : value.kind() == Variant::Kind::kDate ? "#" + value.ToText() + "#"
                                                    : value.ToText();
    }
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

inline std::int64_t Count(Connection& connection, const std::string& from_where) {
  return connection.Execute("SELECT COUNT(*) AS n FROM " + from_where)
      ->Fields("n")
      .Value()
      .ToLong();
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

// A database file in a temporary directory with the schema, the demo data and a pinned
// clock, as the host opens it.
class DemoDatabaseTest : public ::testing::Test {
 protected:
  static Date Now() { return Date::FromYmd(2024, 3, 15, 10, 30, 45); }

  void SetUp() override {
    path_ = dir_.File("polizas.db");
    database_ = OpenSqliteDatabase(path_, {.create = true, .clock = [] { return Now(); }});
    TransactionScope transaction(Host());
    CreateSchema(Host());
    LoadDemoData(Host());
    transaction.Commit();
  }
  // A second, independent session on the same file, as another process would have.
  std::unique_ptr<Database> OtherSession(int busy_timeout_ms = 30000) {
    return OpenSqliteDatabase(path_, {.busy_timeout_ms = busy_timeout_ms});
  }

  Connection& Screen() { return database_->ForScreen(); }
  Connection& Host() { return database_->ForHost(); }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<Database> database_;
};

}  // namespace nv407::host::testing
