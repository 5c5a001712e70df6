#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/qt/command_line.h"

namespace nv407::host {

// Where the desktop program's settings live: the operator's own file, then the site's.
struct SettingsFiles {
  std::string user;  // UserFolder(XDG_CONFIG_HOME, .config)/polizas/polizas.conf
  std::string site;  // /etc/polizas/polizas.conf
  // The window's size, kept by the program beside the operator's file: the program never
  // rewrites a file a person wrote.
  std::string window;
  std::string home;  // where a path written "~/..." in a file leads: $HOME
  static SettingsFiles Standard(const Environment& environment);
};

// The folder of the operator's own files that the XDG base directory variable `variable`
// names (XDG_CONFIG_HOME, XDG_DATA_HOME), or `in_home` in the home folder (".config",
// ".local/share") where it is unset, empty or relative: a relative one would make the folder
// depend on where the program was started, and the rules of those variables ask that it be
// ignored. "" without either.
std::string UserFolder(const Environment& environment, const std::string& variable,
                       const std::string& in_home);

// One value in force and where it came from: a file's path, "command line" or "default".
inline constexpr const char* kDefaultSource = "default";
struct SettingValue {
  std::string value;
  std::string source;
};

// The database and the operator the program starts with. The files are INI files whose
// [General] group may hold `database` (an SQLite file: "~/" is the home folder, and a
// relative path is read from the settings file's folder), `odbc` (a connection string or
// DSN=...) and `user`; the operator's file overrides the site's, the command line both.
struct ProgramSettings {
  std::optional<SettingValue> database, odbc;
  SettingValue user;
  std::vector<std::string> files;  // the files that were read, site first
};

// Reads the files (a missing one is skipped). Raises an Error when a file holds a password
// in an ODBC connection string and others than its owner may read it, or when it names
// both a database file and a server.
ProgramSettings ReadSettings(const SettingsFiles& files);
// As ReadSettings, but a file that cannot be read or is refused is left out, the others read
// as they are, its error added to `left_out`: for a command line that names the database.
ProgramSettings ReadSettingsLeavingOutBroken(const SettingsFiles& files,
                                             std::vector<std::string>& left_out);
// The options of the command line over the settings: what the program then opens.
ProgramSettings WithCommandLine(ProgramSettings settings, const ProgramOptions& options);
void ApplyTo(const ProgramSettings& settings, ProgramOptions& options);
// What `polizas --settings` prints: the files read and each value in force with its source,
// a password in a connection string shown as "****".
std::string Describe(const ProgramSettings& settings);

}  // namespace nv407::host
