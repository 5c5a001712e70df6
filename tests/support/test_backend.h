#pragma once

#include <string>

namespace nv407::testing {

// The database the tests run on. The test programs run twice: on SQLite, and with
// POLIZAS_TEST_BACKEND=postgresql on the private PostgreSQL server that the test run
// starts (tests/support/test_server). Where that server could not start, every test of
// the program reports the reason and is skipped.
enum class Backend { kSqlite, kPostgreSql };
Backend TestBackend();

// A database of its own on the test server, dropped at the end: a copy of the demo
// database (the schema and the demo data), or an empty one.
class ServerDatabase {
 public:
  enum class Contents { kEmpty, kDemo };
  explicit ServerDatabase(Contents contents);
  ~ServerDatabase();
  ServerDatabase(const ServerDatabase&) = delete;
  ServerDatabase& operator=(const ServerDatabase&) = delete;

  const std::string& ConnectionString() const { return connection_string_; }

 private:
  std::string name_;
  std::string connection_string_;
};

// Why the tests cannot run on their backend: "" on SQLite and where the server is up.
std::string ServerUnavailable();
// The ODBC connection string of a database on the test server.
std::string ServerConnectionString(const std::string& database);

}  // namespace nv407::testing
