#include "host/qt/command_line.h"

#include <filesystem>
#include <system_error>

#include "component/error.h"

namespace nv407::host {

std::string Usage() {
  return "usage: polizas [--db PATH | --odbc CONNECTION-STRING] [--user CODE]\n"
         "               [--clock YYYY-MM-DDTHH:MM:SS] [--params TEXT]\n"
         "  --db PATH      an existing database (polizas-db init PATH --demo makes one);\n"
         "                 without it, a demo database in your data folder\n"
         "  --odbc TEXT    a server database, by its ODBC connection string\n"
         "  --user CODE    the operator (default ADMIN)\n"
         "  --clock TIME   pins the server date and time\n"
         "  --params TEXT  the start parameters: NUEVO, or EDICION,FOLIO\n";
}

ProgramOptions ParseCommandLine(const std::vector<std::string>& arguments) {
  ProgramOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    auto value = [&]() -> std::string {
      if (i + 1 >= arguments.size()) throw Error(argument + " needs a value");
      return arguments[++i];
    };
    if (argument == "--db") {
      options.database = value();
      if (options.database->empty()) throw Error("--db needs a path");
    } else if (argument == "--odbc") {
      options.odbc = value();
      if (options.odbc->empty()) throw Error("--odbc needs a connection string");
    } else if (argument == "--user") {
      options.user = value();
      if (options.user.empty()) throw Error("--user needs an operator code");
    } else if (argument == "--clock") {
      options.clock = value();
    } else if (argument == "--params") {
      options.parameters = value();
    } else if (argument == "--screenshot") {
      options.screenshot = value();
    } else {
      throw Error("unknown argument " + argument);
    }
  }
  if (options.database && options.odbc) throw Error("give either --db or --odbc, not both");
  return options;
}

bool HasDisplay(const Environment& environment) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const std::optional<std::string> value = environment(name);
    if (value && !value->empty()) return true;
  }
  return false;
}

std::string NoDisplayMessage() {
  return "polizas: there is no display to open the window on.\n"
         "Run it from a desktop session, or under a virtual display:\n"
         "  xvfb-run -a polizas\n"
         "To work the screen without a window, use polizas-script.\n";
}

std::unique_ptr<Database> OpenProgramDatabase(const ProgramOptions& options,
                                              const std::string& demo_path, Clock clock) {
  if (options.odbc) return OpenOdbcDatabase(*options.odbc, OdbcOptions{.clock = clock});
  if (options.database) {
    SqliteOptions existing;
    existing.clock = clock;
    return OpenSqliteDatabase(*options.database, existing);
  }
  namespace fs = std::filesystem;
  if (fs::exists(demo_path)) {
    SqliteOptions existing;
    existing.clock = clock;
    return OpenSqliteDatabase(demo_path, existing);
  }
  std::error_code ignored;
  fs::create_directories(fs::path(demo_path).parent_path(), ignored);
  try {
    SqliteOptions create;
    create.create = true;
    create.clock = clock;
    std::unique_ptr<Database> database = OpenSqliteDatabase(demo_path, create);
    TransactionScope scope(database->ForHost());
    CreateSchema(database->ForHost(), SqlDialect::kSqlite);
    LoadDemoData(database->ForHost());
    scope.Commit();
    return database;
  } catch (...) {
    // A half-made demo database would be taken as complete next time.
    fs::remove(demo_path, ignored);
    fs::remove(demo_path + "-wal", ignored);
    fs::remove(demo_path + "-shm", ignored);
    throw;
  }
}

}  // namespace nv407::host
