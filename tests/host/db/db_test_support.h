#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "component/database.h"
#include "component/date.h"
#include "host/db/database.h"

namespace nv407::host::testing {

// A fresh directory per test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "polizas-db-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A value as a row shows it: dates between '#' so that their kind shows, Null as "Null".
inline std::string Shown(const Variant& value) {
  if (value.IsNull()) return "Null";
  return value.kind() == Variant::Kind::kDate ? "#" + value.ToText() + "#" : value.ToText();
}

// Every row of a query as the named columns' values joined by '|', the rows sorted.
inline std::vector<std::string> Rows(Connection& connection, const std::string& sql,
                                     const std::vector<std::string>& columns) {
  std::vector<std::string> rows;
  for (auto result = connection.Execute(sql); !result->Eof(); result->MoveNext()) {
    std::string row;
    for (const std::string& column : columns)
      row += (row.empty() ? "" : "|") + Shown(result->Fields(column).Value());
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

inline std::int64_t Count(Connection& connection, const std::string& from_where) {
  auto result = connection.Execute("SELECT COUNT(*) AS n FROM " + from_where);
  return result->Fields("n").Value().ToLong();
}

// A database file in a temporary directory with the schema, the demo data and a pinned
// clock, as the host opens it.
class DemoDatabaseTest : public ::testing::Test {
 protected:
  static Date Now() { return Date::FromYmd(2024, 3, 15, 10, 30, 45); }

  void SetUp() override {
    path_ = dir_.File("polizas.db");
    database_ = OpenSqliteDatabase(path_, {.create = true, .clock = [] { return Now(); }});
    TransactionScope transaction(database_->ForHost());
    CreateSchema(database_->ForHost());
    LoadDemoData(database_->ForHost());
    transaction.Commit();
  }

  Connection& Screen() { return database_->ForScreen(); }
  Connection& Host() { return database_->ForHost(); }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<Database> database_;
};

}  // namespace nv407::host::testing
