#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

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

// The first row's value of one column, the result closed afterwards.
inline Variant FirstValue(Connection& connection, const std::string& sql,
                          const std::string& column) {
  auto result = connection.Execute(sql);
  if (result->Eof()) throw std::runtime_error("no row from: " + sql);
  Variant value = result->Fields(column).Value();
  result->Close();
  return value;
}

inline std::int64_t Count(Connection& connection, const std::string& from_where) {
  return FirstValue(connection, "SELECT COUNT(*) AS n FROM " + from_where, "n").ToLong();
}

// A database file in a temporary directory with the schema, the demo data and a pinned
// clock, as the host opens it.
class DemoDatabaseTest : public ::testing::Test {
 protected:
  static Date Now() { return Date::FromYmd(2024, 3, 15, 10, 30, 45); }

  void SetUp() override {
    path_ = dir_.File("polizas.db");
    SqliteOptions options;
    options.create = true;
    options.clock = [] { return Now(); };
    database_ = OpenSqliteDatabase(path_, options);
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
