#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/db/database.h"

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
  // `options`: what CREATE DATABASE takes after its template (an encoding, say).
  explicit ServerDatabase(Contents contents, const std::string& options = "");
  ~ServerDatabase();
  ServerDatabase(const ServerDatabase&) = delete;
  ServerDatabase& operator=(const ServerDatabase&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& ConnectionString() const { return connection_string_; }

 private:
  std::string name_;
  std::string connection_string_;
};

// A database of its own on the test backend that any process can open: a SQLite file in a
// temporary folder, or a database on the test server; removed at the end. Empty (on
// SQLite: no file yet, as polizas-db init wants it), or with the schema alone.
class ScratchDatabase {
 public:
  enum class Contents { kNothing, kSchema };
  explicit ScratchDatabase(Contents contents);
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  std::unique_ptr<host::Database> Open(host::Clock clock = {}) const;
  // How the programs name it: polizas-script and polizas ("--db" PATH or "--odbc"
  // CONNECTION), and polizas-db init (PATH or "--odbc" CONNECTION).
  std::vector<std::string> ProgramArguments() const;
  std::vector<std::string> InitArguments() const;
  // From now on the database refuses writes: the file is made read-only (which root still
  // writes), or the server database read-only for every new session.
  void RefuseWrites();

 private:
  std::string path_;                        // SQLite
  std::unique_ptr<ServerDatabase> server_;  // PostgreSQL
};

// Why the tests cannot run on their backend: "" on SQLite and where the server is up.
std::string ServerUnavailable();
// The ODBC connection string of a database on the test server.
std::string ServerConnectionString(const std::string& database);

}  // namespace nv407::testing
