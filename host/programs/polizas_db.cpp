// polizas-db: creates the service-policy database.
//
//   polizas-db init PATH [--demo [--clock YYYY-MM-DDTHH:MM:SS]]
//
// Creates PATH with the schema (and with --demo the demo catalogues, parameters,
// operators and policies, the policies dated around today or the --clock day) in one
// transaction. An existing PATH is never touched.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/services/clock.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage(const std::string& problem) {
  std::cerr << "polizas-db: " << problem << "\n"
            << "usage: polizas-db init PATH [--demo [--clock YYYY-MM-DDTHH:MM:SS]]\n";
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

// `demo`: none for the schema alone, else the day the demo's policies are dated around.
int Init(const std::string& path, const std::optional<nv407::Date>& demo) {
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
    if (demo) {
      nv407::host::LoadDemoData(connection);
      nv407::host::LoadDemoPolicies(connection, *demo);
    }
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
  nv407::host::Clock clock;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--demo") {
      demo = true;
    } else if (args[i] == "--clock") {
      if (i + 1 == args.size()) return Usage("--clock needs a value");
      try {
        clock = nv407::host::PinnedClock(args[++i]);
      } catch (const nv407::Error& error) {
        return Usage("--clock: " + error.Description());
      }
    } else if (args[i].starts_with("-")) {
      return Usage("unknown option '" + args[i] + "'");
    } else if (path.empty()) {
      path = args[i];
    } else {
      return Usage("more than one PATH given");
    }
  }
  if (path.empty()) return Usage("no PATH given");
  if (clock && !demo) return Usage("--clock dates the demo: give it with --demo");
  if (!demo) return Init(path, std::nullopt);
  return Init(path, clock ? clock() : nv407::host::LocalNow());
}
