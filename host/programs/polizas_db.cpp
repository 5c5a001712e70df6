// polizas-db: creates the service-policy database.
//
//   polizas-db init PATH [--demo]
//
// Creates PATH with the schema (and the demo catalogues, parameters and operators with
// --demo) in one transaction. An existing PATH is never touched.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "host/db/database.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage(const std::string& problem) {
  std::cerr << "polizas-db: " << problem << "\n"
            << "usage: polizas-db init PATH [--demo]\n";
  return kUsage;
}

// Creates the file itself, failing if it exists, so that two runs cannot both claim it.
bool ClaimNewFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wx");
  if (!file) return false;
  std::fclose(file);
  return true;
}

void RemoveDatabaseFiles(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::filesystem::remove(path + suffix, ignored);
  }
}

int Init(const std::string& path, bool demo) {
  if (std::filesystem::exists(path)) {
    std::cerr << "polizas-db: " << path << " already exists; it was left as it is\n";
    return kFailed;
  }
  if (!ClaimNewFile(path)) {
    std::cerr << "polizas-db: cannot create " << path << ": " << std::strerror(errno) << "\n";
    return kFailed;
  }
  try {
    // An empty file is an empty SQLite database: the claimed file is opened, not re-created.
    auto database = nv407::host::OpenSqliteDatabase(path);
    nv407::Connection& connection = database->ForHost();
    nv407::host::TransactionScope transaction(connection);
    nv407::host::CreateSchema(connection);
    if (demo) nv407::host::LoadDemoData(connection);
    transaction.Commit();
  } catch (const std::exception& failure) {
    RemoveDatabaseFiles(path);
    std::cerr << "polizas-db: cannot create " << path << ": " << failure.what() << "\n";
    return kFailed;
  }
  std::cout << "Created " << path
            << (demo ? " with the schema and the demo data" : " with the schema") << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  if (args[0] != "init") return Usage("unknown command '" + args[0] + "'");
  std::string path;
  bool demo = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--demo") {
      demo = true;
    } else if (args[i].starts_with("-")) {
      return Usage("unknown option '" + args[i] + "'");
    } else if (path.empty()) {
      path = args[i];
    } else {
      return Usage("more than one PATH given");
    }
  }
  if (path.empty()) return Usage("no PATH given");
  return Init(path, demo);
}
