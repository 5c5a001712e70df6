#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/db/database.h"

namespace nv407::host {

struct ProgramOptions {
  std::optional<std::string> database;  // none: the demo database in the user's data folder
  std::optional<std::string> odbc;      // an ODBC connection string instead of a file
  std::optional<std::string> user;      // none: the settings', else ADMIN (the demo's)
  std::optional<std::string> clock;     // none: the system clock
  std::string parameters;               // Padre.iParametros
  std::optional<std::string> play;      // a polizas-script script to play on the window
  std::optional<std::string> shots;     // with --play: the folder for its pictures
  // With --play, where operators sign in: the file holding the operator's password.
  std::optional<std::string> password_file;
  bool help = false;
  bool version = false;
  bool settings = false;  // shows the settings in force and which files they came from
};

// `polizas [--db PATH | --odbc CONNECTION-STRING] [--user CODE] [--clock YYYY-MM-DDTHH:MM:SS]
// [--params TEXT] [--play SCRIPT [--shots DIR] [--password-file FILE]]`, or --settings,
// --version, --help; raises an Error naming what is wrong.
ProgramOptions ParseCommandLine(const std::vector<std::string>& arguments);
std::string Usage();

// Whether Qt has somewhere to draw: an X or Wayland display, or a platform chosen
// explicitly (QT_QPA_PLATFORM, e.g. offscreen).
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
bool HasDisplay(const Environment& environment);
std::string NoDisplayMessage();

// How the window names the database: the file's path, or for a server the database its
// connection string names ("polizas (servidor)"), never the string itself, which may hold
// a password.
std::string DatabaseName(const ProgramOptions& options, const std::string& demo_path);

// Opens the database of the options: the given file (which must exist), the server database
// of the connection string, or the demo database at `demo_path`, created with the demo
// data on first use.
std::unique_ptr<Database> OpenProgramDatabase(const ProgramOptions& options,
                                              const std::string& demo_path, Clock clock);

}  // namespace nv407::host
