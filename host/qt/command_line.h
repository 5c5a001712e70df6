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
  std::string user = "ADMIN";           // the demo operator that holds both permissions
  std::string clock;                    // "" the system clock
  std::string parameters;               // Padre.iParametros
  std::string screenshot;               // grab the window into this PNG file and quit
  bool help = false;
};

// `polizas [--db PATH | --odbc CONNECTION-STRING] [--user CODE] [--clock YYYY-MM-DDTHH:MM:SS]
// [--params TEXT]`;
// raises an Error naming what is wrong.
ProgramOptions ParseCommandLine(const std::vector<std::string>& arguments);
std::string Usage();

// Whether Qt has somewhere to draw: an X or Wayland display, or a platform chosen
// explicitly (QT_QPA_PLATFORM, e.g. offscreen).
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
bool HasDisplay(const Environment& environment);
std::string NoDisplayMessage();

// Opens the database of the options: the given file (which must exist), the server database
// of the connection string, or the demo database at `demo_path`, created with the demo
// data on first use.
std::unique_ptr<Database> OpenProgramDatabase(const ProgramOptions& options,
                                              const std::string& demo_path, Clock clock);

}  // namespace nv407::host
