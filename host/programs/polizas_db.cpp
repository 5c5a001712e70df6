// polizas-db: creates the service-policy database.
//
//   polizas-db init (PATH | --odbc CONNECTION-STRING) [--catalogues | --demo [--clock T]]
//
// Creates the SQLite file PATH, or the tables in an empty server database, with the schema,
// in one transaction. --demo adds the demo's catalogues, parameters, operators and
// policies, the policies dated around today or the day of --clock (YYYY-MM-DDTHH:MM:SS);
// --catalogues the demo without its policies (what the tests start from). An existing PATH,
// or a server database that holds any of the tables, is never touched.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/services/clock.h"
#include "host/programs/program_info.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageText =
    "usage: polizas-db init (PATH | --odbc CONNECTION-STRING)"
    " [--catalogues | --demo [--clock YYYY-MM-DDTHH:MM:SS]]\n"
    "       polizas-db --version | --help\n";

int Usage(const std::string& problem) {
  std::cerr << "polizas-db: " << problem << "\n" << kUsageText;
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

// What a new database holds besides the schema.
struct Demo {
  bool catalogues = false;              // the demo's catalogues, parameters and operators
  std::optional<nv407::Date> policies;  // its policies too, dated around this day
};

void Fill(nv407::host::Database& database, const Demo& demo) {
  nv407::Connection& connection = database.ForHost();
  nv407::host::TransactionScope transaction(connection);
  nv407::host::CreateSchema(connection, database.Dialect());
  if (demo.catalogues) nv407::host::LoadDemoData(connection);
  if (demo.policies) nv407::host::LoadDemoPolicies(connection, *demo.policies);
  transaction.Commit();
}

const char* What(const Demo& demo) {
  if (demo.policies) return " with the schema and the demo data";
  return demo.catalogues ? " with the schema and the demo catalogues" : " with the schema";
}

int InitFile(const std::string& path, const Demo& demo) {
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
    Fill(*nv407::host::OpenSqliteDatabase(path), demo);
  } catch (const std::exception& failure) {
    RemoveDatabaseFiles(path);
    std::cerr << "polizas-db: cannot create " << path << ": " << failure.what() << "\n";
    return kFailed;
  }
  std::cout << "Created " << path << What(demo) << "\n";
  return 0;
}

// A server database is created by its administrator; this fills an empty one. DDL runs in
// the transaction too, so a failure leaves the database as it was.
int InitServer(const std::string& connection_string, const Demo& demo) {
  std::unique_ptr<nv407::host::Database> database;
  try {
    database = nv407::host::OpenOdbcDatabase(connection_string);
  } catch (const std::exception& failure) {
    std::cerr << "polizas-db: cannot connect to the database: "
              << nv407::host::OneLine(failure.what()) << "\n";
    return kFailed;
  }
  try {
    const std::vector<std::string> present = nv407::host::SchemaTablesPresent(database->ForHost());
    if (!present.empty()) {
      std::string names;
      for (const std::string& name : present) {
        if (!names.empty()) names += ", ";
        names += name;
      }
      std::cerr << "polizas-db: the database already holds " << names << "; it was left as it is\n";
      return kFailed;
    }
    Fill(*database, demo);
  } catch (const std::exception& failure) {
    std::cerr << "polizas-db: cannot create the tables: " << nv407::host::OneLine(failure.what())
              << "\n";
    return kFailed;
  }
  std::cout << "Created the tables" << What(demo) << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << nv407::host::VersionLine("polizas-db") << "\n";
    return 0;
  }
  if (args.size() == 1 && args[0] == "--help") {
    std::cout << kUsageText;
    return 0;
  }
  if (args[0] != "init") return Usage("unknown command '" + args[0] + "'");
  std::string path;
  std::optional<std::string> odbc;
  bool demo = false;
  bool catalogues = false;
  nv407::host::Clock clock;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--demo") {
      demo = true;
    } else if (args[i] == "--catalogues") {
      catalogues = true;
    } else if (args[i] == "--clock") {
      if (i + 1 == args.size()) return Usage("--clock needs a value");
      try {
        clock = nv407::host::PinnedClock(args[++i]);
      } catch (const nv407::Error& error) {
        return Usage("--clock: " + error.Description());
      }
    } else if (args[i] == "--odbc" && !odbc && i + 1 < args.size()) {
      odbc = args[++i];
    } else if (args[i].starts_with("-")) {
      return Usage("unknown option '" + args[i] + "'");
    } else if (path.empty()) {
      path = args[i];
    } else {
      return Usage("more than one PATH given");
    }
  }
  if (odbc && !path.empty()) return Usage("both PATH and --odbc given");
  if (demo && catalogues) return Usage("give --demo or --catalogues, not both");
  if (clock && !demo) return Usage("--clock dates the demo: give it with --demo");
  Demo contents{demo || catalogues, std::nullopt};
  if (demo) contents.policies = clock ? clock() : nv407::host::LocalNow();
  if (odbc) return InitServer(*odbc, contents);
  if (path.empty()) return Usage("no PATH given");
  return InitFile(path, contents);
}
