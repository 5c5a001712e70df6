#include "support/test_backend.h"

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <system_error>

#include "component/error.h"
#include "host/db/database.h"

namespace nv407::testing {
namespace {

// Where the test server listens, or why there is none: what tests/support/test_server
// wrote when it started.
struct ServerState {
  std::string socket_dir;
  std::string unavailable;
};

const ServerState& Server() {
  static const ServerState state = [] {
    ServerState read;
    const char* build = std::getenv("POLIZAS_BUILD_DIR");
    if (build == nullptr) {
      read.unavailable = "POLIZAS_BUILD_DIR is not set: run the tests through ctest";
      return read;
    }
    const std::string dir = std::string(build) + "/tests/postgresql";
    // The driver manager reads its configuration from the build tree, never the system's.
    ::setenv("ODBCSYSINI", (dir + "/odbc").c_str(), 1);
    ::setenv("ODBCINI", (dir + "/odbc/odbc.ini").c_str(), 1);
    std::ifstream file(dir + "/state");
    for (std::string line; std::getline(file, line);) {
      if (line.starts_with("socket=")) read.socket_dir = line.substr(7);
      if (line.starts_with("unavailable=")) read.unavailable = line.substr(12);
    }
    if (read.socket_dir.empty() && read.unavailable.empty())
      read.unavailable = "the test server was not started (ctest starts it: postgresql_start)";
    return read;
  }();
  return state;
}

// Databases are made and dropped through the server's own database.
host::Database& Administration() {
  static const std::unique_ptr<host::Database> database =
      host::OpenOdbcDatabase(ServerConnectionString("postgres"));
  return *database;
}

}  // namespace

Backend TestBackend() {
  const char* backend = std::getenv("POLIZAS_TEST_BACKEND");
  return backend && std::string(backend) == "postgresql" ? Backend::kPostgreSql : Backend::kSqlite;
}

std::string ServerUnavailable() {
  return TestBackend() == Backend::kPostgreSql ? Server().unavailable : std::string();
}

std::string ServerConnectionString(const std::string& database) {
  if (!Server().unavailable.empty()) throw Error("no test server: " + Server().unavailable);
  return "Driver={PostgreSQL Unicode};Servername=" + Server().socket_dir + ";Database=" + database +
         ";Username=postgres";
}

ServerDatabase::ServerDatabase(Contents contents, const std::string& options) {
  static std::atomic<int> made = 0;
  name_ = "test_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
  Administration().ForHost().Execute("CREATE DATABASE " + name_ + " TEMPLATE " +
                                     (contents == Contents::kDemo ? "polizas_demo" : "template0") +
                                     " " + options);
  // A copy does not take its template's rights of connection: closed as init closed the demo's.
  if (contents == Contents::kDemo)
    Administration().ForHost().Execute("REVOKE CONNECT ON DATABASE " + name_ + " FROM PUBLIC");
  connection_string_ = ServerConnectionString(name_);
}

ServerDatabase::~ServerDatabase() {
  try {
    Administration().ForHost().Execute("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  } catch (const std::exception&) {
    // Left for the server's removal at the end of the run.
  }
}

ScratchDatabase::ScratchDatabase(Contents contents) {
  if (TestBackend() == Backend::kPostgreSql) {
    server_ = std::make_unique<ServerDatabase>(ServerDatabase::Contents::kEmpty);
  } else {
    static std::atomic<int> made = 0;
    path_ =
        (std::filesystem::temp_directory_path() /
         ("polizas-scratch-" + std::to_string(::getpid()) + "-" + std::to_string(++made) + ".db"))
            .string();
    std::filesystem::remove(path_);
  }
  if (contents == Contents::kSchema) {
    auto database = server_ ? Open() : host::OpenSqliteDatabase(path_, {.create = true});
    host::CreateSchema(database->ForHost(), database->Dialect());
  }
}

ScratchDatabase::~ScratchDatabase() {
  if (path_.empty()) return;
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path_ + suffix, ignored);
}

std::unique_ptr<host::Database> ScratchDatabase::Open(host::Clock clock) const {
  if (server_) return host::OpenOdbcDatabase(server_->ConnectionString(), {.clock = clock});
  return host::OpenSqliteDatabase(path_, {.clock = clock});
}

std::vector<std::string> ScratchDatabase::ProgramArguments() const {
  if (server_) return {"--odbc", server_->ConnectionString()};
  return {"--db", path_};
}

void ScratchDatabase::RefuseWrites() {
  if (server_) {
    Open()->ForHost().Execute("ALTER DATABASE " + server_->Name() +
                              " SET default_transaction_read_only = on");
    return;
  }
  namespace fs = std::filesystem;
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

std::vector<std::string> ScratchDatabase::InitArguments() const {
  if (server_) return {"--odbc", server_->ConnectionString()};
  return {path_};
}

}  // namespace nv407::testing
