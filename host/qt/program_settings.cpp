#include "host/qt/program_settings.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "component/error.h"
#include "host/db/odbc_connection_string.h"
#include "host/db/text.h"
#include "host/services/operators.h"
#include "host/services/password_input.h"

namespace nv407::host {
namespace {

// The `key = value` lines of a settings file's [General] group (or of no group). The file is
// read as written: a connection string keeps its semicolons and commas, and a value may be
// put in double quotes. Lines starting with # or ; are comments.
std::map<std::string, std::string> GeneralValues(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw Error("cannot read the settings file " + path + ": " + std::strerror(errno));
  std::map<std::string, std::string> values;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    line = Trim(number == 1 ? WithoutByteOrderMark(line) : line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const std::string where = path + ", line " + std::to_string(number);
    if (line.front() == '[' && line.back() == ']') {
      // A misspelt group would hide its keys as surely as a misspelt key.
      const std::string group = Trim(line.substr(1, line.size() - 2));
      if (group != "General")
        throw Error(where + ": unknown group \"[" + group + "]\" (known: [General])");
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) throw Error(where + ": expected key = value");
    if (line.find('\0') != std::string::npos)
      throw Error(where + ": holds a NUL character, which no setting has");
    const std::string key = Trim(line.substr(0, equals));
    std::string value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (key != "database" && key != "odbc" && key != "user")
      throw Error(where + ": unknown setting \"" + key + "\" (known: database, odbc, user)");
    // One file names one database: a second line for a key is a mistake, not its value.
    if (!values.emplace(key, value).second)
      throw Error(where + ": \"" + key + "\" is given a second time in this file");
  }
  // A read that failed ends the lines as the file's end would: the lines after it are not
  // there to be left out.
  if (file.bad())
    throw Error("cannot read the settings file " + path + ": " + std::strerror(errno));
  return values;
}

// A database file as a settings file names it: from the home folder, or from the settings
// file's own folder, never from wherever the program happened to start.
std::string NamedFile(const std::string& value, const std::string& settings_path,
                      const std::string& home) {
  namespace fs = std::filesystem;
  if (value.starts_with("~/") && !home.empty()) return (fs::path(home) / value.substr(2)).string();
  if (value.empty() || fs::path(value).is_absolute()) return value;
  return (fs::path(settings_path).parent_path() / value).lexically_normal().string();
}

// Only a missing file is no settings: anything else at the path that is not a file to read
// (a folder made by mistake, a device) would otherwise read as an empty file, and the
// program would quietly open another database than the one meant.
bool SettingsFileThere(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code unreachable;
  const fs::file_status status = fs::status(path, unreachable);
  if (status.type() == fs::file_type::not_found) return false;
  const auto refused = [&](const std::string& why) {
    return Error("cannot read the settings file " + path + ": " + why);
  };
  if (unreachable) throw refused(unreachable.message());
  if (fs::is_directory(status))
    throw refused(std::make_error_code(std::errc::is_a_directory).message());
  if (!fs::is_regular_file(status)) throw refused("not a regular file");
  return true;
}

void ReadFile(const std::string& path, const std::string& home, ProgramSettings& settings) {
  if (path.empty() || !SettingsFileThere(path)) return;
  const std::map<std::string, std::string> values = GeneralValues(path);
  settings.files.push_back(path);
  auto read = [&](const char* key) -> std::optional<SettingValue> {
    const auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    return SettingValue{found->second, path};
  };
  std::optional<SettingValue> database = read("database");
  if (database) database->value = NamedFile(database->value, path, home);
  const std::optional<SettingValue> odbc = read("odbc");
  if (database && odbc)
    throw Error(path + " names both a database file and a server: keep one of database, odbc");
  if (odbc && HoldsPassword(odbc->value) && OpenToOthers(path)) {
    // A site's file is for every operator to read: its password belongs in the data source.
    throw Error(path +
                " holds a database password and may be used by others than its owner: keep the "
                "password in the ODBC data source (odbc.ini) or the driver's own file "
                "(~/.pgpass), or make an operator's own file " +
                ReadableByItsOwnerAlone(path));
  }
  // A file that names a database replaces whichever the file before it named.
  if (database || odbc) {
    settings.database = database;
    settings.odbc = odbc;
  }
  if (auto user = read("user")) settings.user = *user;
}

}  // namespace

std::string UserFolder(const Environment& environment, const std::string& variable,
                       const std::string& in_home) {
  if (const auto named = environment(variable);
      named && std::filesystem::path(*named).is_absolute())
    return *named;
  const std::string home = environment("HOME").value_or("");
  return home.empty() ? "" : (std::filesystem::path(home) / in_home).string();
}

SettingsFiles SettingsFiles::Standard(const Environment& environment) {
  const std::string home = environment("HOME").value_or("");
  const std::filesystem::path config = UserFolder(environment, "XDG_CONFIG_HOME", ".config");
  if (config.empty()) return {"", "/etc/polizas/polizas.conf", "", home};
  return {(config / "polizas" / "polizas.conf").string(), "/etc/polizas/polizas.conf",
          (config / "polizas" / "window.conf").string(), home};
}

ProgramSettings ReadSettings(const SettingsFiles& files) {
  ProgramSettings settings;
  settings.user = {kDefaultOperator, kDefaultSource};
  ReadFile(files.site, files.home, settings);
  ReadFile(files.user, files.home, settings);
  return settings;
}

ProgramSettings ReadSettingsLeavingOutBroken(const SettingsFiles& files,
                                             std::vector<std::string>& left_out) {
  ProgramSettings settings;
  settings.user = {kDefaultOperator, kDefaultSource};
  // A file is refused before any of its values is taken: one left out changes nothing.
  for (const std::string& path : {files.site, files.user}) {
    try {
      ReadFile(path, files.home, settings);
    } catch (const Error& refused) {
      left_out.push_back(refused.Description());
    }
  }
  return settings;
}

ProgramSettings WithCommandLine(ProgramSettings settings, const ProgramOptions& options) {
  if (options.database || options.odbc) {
    settings.database.reset();
    settings.odbc.reset();
  }
  if (options.database) settings.database = SettingValue{*options.database, "command line"};
  if (options.odbc) settings.odbc = SettingValue{*options.odbc, "command line"};
  if (options.user) settings.user = {*options.user, "command line"};
  return settings;
}

void ApplyTo(const ProgramSettings& settings, ProgramOptions& options) {
  if (settings.database) options.database = settings.database->value;
  if (settings.odbc) options.odbc = settings.odbc->value;
  options.user = settings.user.value;
}

std::string Describe(const ProgramSettings& settings) {
  std::string text = "Settings files read:";
  if (settings.files.empty()) text += " none";
  for (const std::string& file : settings.files) text += "\n  " + file;
  text += "\nIn force:\n";
  if (settings.database) {
    text += "  database = " + settings.database->value + "   (" + settings.database->source + ")\n";
  } else if (settings.odbc) {
    text += "  odbc = " + WithPasswordHidden(settings.odbc->value) + "   (" +
            settings.odbc->source + ")\n";
  } else {
    text += "  database = the demo database in your data folder   (default)\n";
  }
  // On a server the login is the operator: the default operator is never the one in force.
  if (settings.odbc && settings.user.source == kDefaultSource) {
    text += "  user = the connection's login   (server database)\n";
  } else {
    text += "  user = " + settings.user.value + "   (" + settings.user.source + ")\n";
  }
  return text;
}

}  // namespace nv407::host
