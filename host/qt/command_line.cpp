#include "host/qt/command_line.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

#include "component/error.h"
#include "host/db/odbc_connection_string.h"
#include "host/db/sqlite_location.h"
#include "host/services/clock.h"

namespace nv407::host {

std::string Usage() {
  return "usage: polizas [--db PATH | --odbc CONNECTION-STRING] [--user CODE]\n"
         "               [--clock YYYY-MM-DDTHH:MM:SS] [--params TEXT]\n"
         "               [--play SCRIPT [--shots DIR] [--password-file FILE]]\n"
         "       polizas --settings | --version | --help\n"
         "  --db PATH      an existing database (polizas-db init PATH --demo makes one);\n"
         "                 without it (nor one in the settings), a demo database in your\n"
         "                 data folder\n"
         "  --odbc TEXT    a server database, by its ODBC connection string\n"
         "  --user CODE    the operator (default: the settings', else ADMIN); where operators\n"
         "                 sign in, the one the sign-in proposes; on a server, the login\n"
         "  --clock TIME   pins the server date and time\n"
         "  --params TEXT  the start parameters: NUEVO, or EDICION,FOLIO\n"
         "  --play SCRIPT  plays a polizas-script script on the window and writes its events\n"
         "  --shots DIR    with --play, saves a picture of the window at each show and dialog\n"
         "  --password-file FILE  with --play, where operators sign in: the operator's\n"
         "                 password (else the environment variable POLIZAS_PASSWORD)\n"
         "  --settings     shows the settings in force and the files they come from\n"
         "Settings: /etc/polizas/polizas.conf, then ~/.config/polizas/polizas.conf over it.\n";
}

ProgramOptions ParseCommandLine(const std::vector<std::string>& arguments) {
  ProgramOptions options;
  std::set<std::string> given;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    if (argument == "--version") {
      options.version = true;
      continue;
    }
    if (argument == "--settings") {
      options.settings = true;
      continue;
    }
    auto value = [&]() -> std::string {
      // An option given twice is a mistake in one of them: neither is guessed.
      if (!given.insert(argument).second) throw Error(argument + " given more than once");
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
      if (options.user->empty()) throw Error("--user needs an operator code");
    } else if (argument == "--clock") {
      options.clock = value();
    } else if (argument == "--params") {
      options.parameters = value();
    } else if (argument == "--play") {
      options.play = value();
    } else if (argument == "--shots") {
      options.shots = value();
    } else if (argument == "--password-file") {
      options.password_file = value();
    } else {
      throw Error("unknown argument " + argument);
    }
  }
  if (options.shots && !options.play) throw Error("--shots needs --play");
  if (options.password_file && !options.play)
    throw Error("--password-file needs --play: the window asks for the password");
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

std::string DatabaseName(const ProgramOptions& options, const std::string& demo_path) {
  if (!options.odbc) return options.database.value_or(demo_path);
  // The database, else the data source.
  const std::string database = AttributeValue(*options.odbc, "Database");
  const std::string source = AttributeValue(*options.odbc, "DSN");
  const std::string name = !database.empty() ? database : !source.empty() ? source : "ODBC";
  return name + " (servidor)";
}

namespace {

// Puts the made file at `target` unless a file is there already (another program made it
// first), in which case the made one is left where it is.
void PutInPlaceUnlessTaken(const std::string& made, const std::string& target) {
  if (::renameat2(AT_FDCWD, made.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0 ||
      errno == EEXIST)
    return;
  // A file system that cannot rename without replacing: a second name, then the first goes.
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    throw Error("cannot put the demo database in place at " + target + ": " + std::strerror(errno));
  if (::link(made.c_str(), target.c_str()) != 0 && errno != EEXIST)
    throw Error("cannot put the demo database in place at " + target + ": " + std::strerror(errno));
  ::unlink(made.c_str());
}

// The demo is made under a name of its own and put in place whole: a second program
// started at the same time opens the first one's, never a half-made file.
void MakeDemoDatabase(const std::string& demo_path, const Clock& clock) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  const fs::path folder = fs::path(demo_path).parent_path();
  if (std::error_code failed; !fs::create_directories(folder, failed) && failed)
    throw Error("cannot make the folder of the demo database " + folder.string() + ": " +
                failed.message());
  std::string made = demo_path + ".making-XXXXXX";
  const int claimed = ::mkstemp(made.data());
  if (claimed < 0)
    throw Error("cannot make the demo database beside " + demo_path + ": " + std::strerror(errno));
  ::close(claimed);
  try {
    {
      SqliteOptions create;
      create.create = true;
      create.clock = clock;
      std::unique_ptr<Database> database = OpenSqliteDatabase(made, create);
      TransactionScope scope(database->ForHost());
      CreateSchema(database->ForHost(), SqlDialect::kSqlite);
      LoadDemoData(database->ForHost());
      LoadDemoPolicies(database->ForHost(), clock ? clock() : LocalNow());
      scope.Commit();
    }  // closed: SQLite has folded its log into the file and removed it
    PutInPlaceUnlessTaken(made, demo_path);
  } catch (...) {
    for (const char* beside : {"", "-wal", "-shm"}) fs::remove(made + beside, ignored);
    throw;
  }
  fs::remove(made, ignored);  // when another program's demo was put in place first
}

}  // namespace

std::unique_ptr<Database> OpenProgramDatabase(const ProgramOptions& options,
                                              const std::string& demo_path, Clock clock) {
  if (options.odbc) return OpenOdbcDatabase(*options.odbc, OdbcOptions{.clock = clock});
  SqliteOptions existing;
  existing.clock = clock;
  if (options.database) return OpenSqliteDatabase(*options.database, existing);
  if (!std::filesystem::exists(demo_path)) {
    // Asked before it is made: a program that has made one meanwhile has its own beside it.
    sqlite::RefuseFilesLeftBeside(demo_path);
    MakeDemoDatabase(demo_path, clock);
  }
  return OpenSqliteDatabase(demo_path, existing);
}

}  // namespace nv407::host
