// polizas-db: creates the service-policy database and administers its operators.
//
//   polizas-db init (PATH | --odbc CONNECTION-STRING)
//                   [--admin CODE | --catalogues | --demo [--clock T]]
//   polizas-db operator ACTION PATH ...          (operator_command.cpp)
//   polizas-db upgrade (PATH | --odbc CONNECTION-STRING)
//   polizas-db backup PATH TARGET
//
// Creates the SQLite file PATH, or the tables in an empty server database, with the schema,
// in one transaction. A new file asks its operators to sign in and has one administrator
// (CODE, default ADMIN), whose password is read from standard input (asked twice on a
// terminal, without showing it). --demo adds the demo's catalogues, parameters, operators
// and policies, the policies dated around today or the day of --clock
// (YYYY-MM-DDTHH:MM:SS), and asks nobody to sign in; --catalogues is the demo without its
// policies (what the tests start from). An existing PATH, or a server database that holds
// any of the tables, is never touched.
//
// upgrade brings a database made by an earlier version up to this one's: a file's tables are
// stored as a new file stores them (keyed by text, without row numbers), the rows as they
// are, in one transaction, then the indexes it lacks are made in another, and the triggers
// it lacks or holds in another text in a third; a server database gains the finder's kept
// orders, any index of the schema it lacks and its guards and functions as this version
// writes them, in one transaction (run as its owner).
//
// backup copies a database file into the new file TARGET while operators go on working: what
// was committed when it began, synced to the disk and checked before it is reported done. It
// is made in TARGET.partial-XXXXXX, which is renamed TARGET once checked, and removed if the
// copy fails or is interrupted (a kill -9 leaves it under that name). Like init, it makes no
// file where a log, an index or a journal is left at its name, which SQLite would take for
// the new file's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "component/error.h"
#include "host/db/access.h"
#include "host/db/database.h"
#include "host/db/odbc_connection_string.h"
#include "host/db/odbc_handles.h"
#include "host/db/sqlite_backup.h"
#include "host/db/sqlite_location.h"
#include "host/db/sqlite_rebuild.h"
#include "host/programs/operator_command.h"
#include "host/programs/program_info.h"
#include "host/programs/same_file.h"
#include "host/services/clock.h"
#include "host/services/host_records.h"
#include "host/services/operator_admin.h"
#include "host/services/operator_records.h"
#include "host/services/operators.h"
#include "host/services/password.h"
#include "host/services/password_input.h"
#include "host/services/sign_in.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageText =
    "usage: polizas-db init (PATH | --odbc CONNECTION-STRING)\n"
    "                       [--admin CODE | --catalogues | --demo [--clock YYYY-MM-DDTHH:MM:SS]]\n"
    "       polizas-db upgrade (PATH | --odbc CONNECTION-STRING)\n"
    "       polizas-db backup PATH TARGET\n";

void PrintUsage(std::ostream& out) {
  out << kUsageText << nv407::host::kOperatorUsage << "       polizas-db --version | --help\n";
}

int Usage(const std::string& problem) {
  std::cerr << "polizas-db: " << problem << "\n";
  PrintUsage(std::cerr);
  return kUsage;
}

// Creates the file itself, failing if it exists, so that two runs cannot both claim it. A
// file of password hashes is its owner's alone, whatever the umask lets others read; SQLite
// gives its journals the file's permissions.
bool ClaimNewFile(const std::string& path, bool holds_passwords) {
  const mode_t mode = holds_passwords ? S_IRUSR | S_IWUSR : 0666;
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (file < 0) return false;
  ::close(file);
  return true;
}

void NoteCommandLinePassword(const std::string& connection) {
  if (const std::string note = nv407::host::CommandLinePasswordNote(connection); !note.empty())
    std::cerr << "polizas-db: " << note << "\n";
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

// The first administrator of a database whose operators sign in.
struct Administrator {
  std::string code;
  std::string password;
};

void AddAdministrator(nv407::host::Database& database, const Administrator& administrator) {
  using namespace nv407::host;
  database
      .HostQuery("INSERT INTO host_parameter (name, value) VALUES (?, 'SI')",
                 {std::string(kSignInParameter)})
      ->Close();
  OperatorRecords operators(database);
  operators.Add(administrator.code, "Administrador", HashPassword(administrator.password));
  operators.Grant(administrator.code, kAdministrationModule, kAdministrationKey);
  HostRecords(database).AppendNote(kOperatorTable, administrator.code,
                                   "Alta del primer administrador", administrator.code, LocalNow());
}

void Fill(nv407::host::Database& database, const Demo& demo,
          const std::optional<Administrator>& administrator = std::nullopt) {
  nv407::Connection& connection = database.ForHost();
  nv407::host::TransactionScope transaction(connection);
  nv407::host::CreateSchema(connection, database.Dialect());
  if (demo.catalogues) nv407::host::LoadDemoData(connection);
  if (demo.policies) nv407::host::LoadDemoPolicies(connection, *demo.policies);
  if (administrator) AddAdministrator(database, *administrator);
  transaction.Commit();
}

std::string What(const Demo& demo, const std::optional<Administrator>& administrator) {
  if (demo.policies) return " with the schema and the demo data";
  if (demo.catalogues) return " with the schema and the demo catalogues";
  if (administrator) return " with the schema and the administrator " + administrator->code;
  return " with the schema";
}

// The administrator's password, from standard input: asked twice on a terminal.
Administrator ReadAdministrator(const std::string& code) {
  nv407::host::PasswordPrompt prompt(std::cin);
  return {code, prompt.AskNew("Password of the administrator " + code + ": ")};
}

int InitFile(const std::string& path, const Demo& demo, const std::string& admin) {
  if (std::filesystem::exists(path)) {
    std::cerr << "polizas-db: " << path << " already exists; it was left as it is\n";
    return kFailed;
  }
  // SQLite would discard a log left there, the saves of the program it is left for with it.
  try {
    nv407::host::sqlite::RefuseFilesLeftBeside(path);
  } catch (const nv407::Error& left) {
    std::cerr << "polizas-db: " << left.Description() << "\n";
    return kFailed;
  }
  std::optional<Administrator> administrator;
  if (!demo.catalogues) {
    try {
      const std::string problem = nv407::host::OperatorCodeProblem(admin);
      if (!problem.empty()) throw nv407::Error(problem);
      administrator = ReadAdministrator(admin);
    } catch (const nv407::Error& failure) {
      std::cerr << "polizas-db: " << failure.Description() << "; nothing was created\n";
      return kFailed;
    }
  }
  if (!ClaimNewFile(path, administrator.has_value())) {
    std::cerr << "polizas-db: cannot create " << path << ": " << std::strerror(errno) << "\n";
    return kFailed;
  }
  try {
    // An empty file is an empty SQLite database: the claimed file is opened, not re-created.
    Fill(*nv407::host::OpenSqliteDatabase(path, {.create = true}), demo, administrator);
  } catch (const std::exception& failure) {
    RemoveDatabaseFiles(path);
    std::cerr << "polizas-db: cannot create " << path << ": " << failure.what() << "\n";
    return kFailed;
  }
  std::cout << "Created " << path << What(demo, administrator) << "\n";
  return 0;
}

// "a, b, c".
std::string Listed(const std::vector<std::string>& names, const std::string& between = ", ") {
  std::string listed;
  for (const std::string& name : names) listed += (listed.empty() ? "" : between) + name;
  return listed;
}

// The server database, or none once the reason it cannot be reached has been told.
std::unique_ptr<nv407::host::Database> Connect(const std::string& connection_string) {
  try {
    return nv407::host::OpenOdbcDatabase(connection_string);
  } catch (const std::exception& failure) {
    std::cerr << "polizas-db: cannot connect to the database: "
              << nv407::host::OneLine(failure.what()) << "\n";
    return nullptr;
  }
}

// A server database is created by its administrator; this fills an empty one. DDL runs in
// the transaction too, so a failure leaves the database as it was.
int InitServer(const std::string& connection_string, const Demo& demo) {
  const std::unique_ptr<nv407::host::Database> database = Connect(connection_string);
  if (!database) return kFailed;
  try {
    const std::vector<std::string> present = nv407::host::SchemaTablesPresent(database->ForHost());
    if (!present.empty()) {
      std::cerr << "polizas-db: the database already holds " << Listed(present)
                << "; it was left as it is\n";
      return kFailed;
    }
    Fill(*database, demo);
  } catch (const std::exception& failure) {
    std::cerr << "polizas-db: cannot create the tables: " << nv407::host::OneLine(failure.what())
              << "\n";
    return kFailed;
  }
  std::cout << "Created the tables" << What(demo, std::nullopt) << "\n";
  return 0;
}

int Init(const std::vector<std::string>& args) {
  std::string path;
  std::map<std::string, std::string> values;  // "--admin" -> CODE, ...
  bool demo = false;
  bool catalogues = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--demo" || args[i] == "--catalogues") {
      bool& flag = args[i] == "--demo" ? demo : catalogues;
      if (flag) return Usage(args[i] + " given more than once");
      flag = true;
    } else if (args[i] == "--clock" || args[i] == "--admin" || args[i] == "--odbc") {
      if (i + 1 == args.size()) return Usage(args[i] + " needs a value");
      if (!values.emplace(args[i], args[i + 1]).second)
        return Usage(args[i] + " given more than once");
      ++i;
    } else if (args[i].starts_with("-")) {
      return Usage("unknown option '" + args[i] + "'");
    } else if (path.empty()) {
      path = args[i];
    } else {
      return Usage("more than one PATH given");
    }
  }
  const auto value = [&values](const std::string& option) {
    const auto found = values.find(option);
    return found == values.end() ? std::nullopt : std::optional(found->second);
  };
  const std::optional<std::string> odbc = value("--odbc"), admin = value("--admin");
  if (odbc) NoteCommandLinePassword(*odbc);
  nv407::host::Clock clock;
  try {
    if (const auto pinned = value("--clock")) clock = nv407::host::PinnedClock(*pinned);
  } catch (const nv407::Error& error) {
    return Usage("--clock: " + error.Description());
  }
  if (odbc && !path.empty()) return Usage("both PATH and --odbc given");
  if (demo && catalogues) return Usage("give --demo or --catalogues, not both");
  if (clock && !demo) return Usage("--clock dates the demo: give it with --demo");
  if (admin && (demo || catalogues))
    return Usage(
        "--admin names the first administrator of a database that asks for sign-in, "
        "which the demo does not");
  if (admin && odbc) return Usage("--admin: on a server database the operators are its logins");
  Demo contents{demo || catalogues, std::nullopt};
  if (demo) contents.policies = clock ? clock() : nv407::host::LocalNow();
  if (odbc) return InitServer(*odbc, contents);
  if (path.empty()) return Usage("no PATH given");
  if (const std::string side = nv407::host::sqlite::SideFileName(path); !side.empty())
    return Usage(side);
  return InitFile(path, contents, admin.value_or(nv407::host::kDefaultOperator));
}

// "DONE: a, b" for what an upgrade changed, nothing when it changed none of it.
void ReportChanged(const std::string& done, const std::vector<std::string>& names) {
  if (!names.empty()) std::cout << done << ": " << Listed(names) << "\n";
}

void ReportUpToDate(const std::string& what) {
  std::cout << what << " is up to date; nothing was changed\n";
}

// The SQLSTATE of a statement refused for want of a right over what it changes.
constexpr const char* kInsufficientPrivilege = "42501";

int UpgradeServer(const std::string& connection_string) {
  const std::unique_ptr<nv407::host::Database> database = Connect(connection_string);
  if (!database) return kFailed;
  try {
    const nv407::host::SchemaUpgrade done = nv407::host::UpgradeServerSchema(*database);
    ReportChanged("Added to the database", done.added);
    ReportChanged("Dropped from the database, replaced by this version's", done.dropped);
    if (done.added.empty() && done.dropped.empty()) ReportUpToDate("The database");
    return 0;
  } catch (const std::exception& failure) {
    std::cerr << "polizas-db: cannot upgrade the database: "
              << nv407::host::OneLine(failure.what());
    // The server names the first object refused (a schema, a function), which a grant of it
    // would only move on to the next.
    const auto* refused = dynamic_cast<const nv407::host::odbc::DriverError*>(&failure);
    if (refused && refused->SqlState() == kInsufficientPrivilege)
      std::cerr << ": run the upgrade as the login that owns the tables";
    std::cerr << "\n";
    return kFailed;
  }
}

// A file holding password hashes that others may read, made by an earlier version or given
// its hashes by one, is kept from them as a new hash would keep it. One that this user may
// not change is upgraded all the same: its owner is told how. Whether it was kept from them.
bool KeepHashesFromOthers(nv407::host::Database& database, const std::string& path) {
  auto hashes =
      database.HostQuery("SELECT 1 AS held FROM operator WHERE password_hash IS NOT NULL", {});
  const bool held = !hashes->Eof();
  hashes->Close();
  if (!held) return false;
  try {
    const std::string kept = nv407::host::KeepPasswordHashesFromOthers(path);
    std::cout << kept;
    return !kept.empty();
  } catch (const nv407::Error& refused) {
    std::cerr << "polizas-db: " << refused.Description() << "\n";
    return false;
  }
}

int Upgrade(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[0] == "--odbc") {
    NoteCommandLinePassword(args[1]);
    return UpgradeServer(args[1]);
  }
  if (args.size() != 1 || args[0].starts_with("-"))
    return Usage("upgrade takes one PATH or --odbc CONNECTION-STRING");
  const std::string& path = args[0];
  try {
    // Opening a file for writing adds what no earlier version's file can go without.
    std::vector<std::string> opened;
    auto database = nv407::host::OpenSqliteDatabase(path, {.added_on_opening = &opened});
    if (database->ReadOnly()) throw nv407::Error(database->WhyReadOnly());
    const bool kept = KeepHashesFromOthers(*database, path);
    ReportChanged("Added to " + path + " on opening it", opened);
    const std::vector<std::string> rebuilt = nv407::host::RebuildTablesStoredByRowNumber(*database);
    ReportChanged("Rebuilt " + std::to_string(rebuilt.size()) + " tables of " + path, rebuilt);
    std::vector<std::string> added = nv407::host::AddMissingIndexes(*database);
    for (std::string& guard : nv407::host::AddMissingGuards(*database))
      added.push_back(std::move(guard));
    ReportChanged("Added to " + path, added);
    const std::vector<std::string> dropped = nv407::host::DropReplacedIndexes(*database);
    ReportChanged("Dropped from " + path + ", replaced by this version's", dropped);
    if (!kept && opened.empty() && rebuilt.empty() && added.empty() && dropped.empty())
      ReportUpToDate(path);
    return 0;
  } catch (const std::exception& failure) {
    std::cerr << "polizas-db: cannot upgrade " << path << ": "
              << nv407::host::OneLine(failure.what()) << "\n";
    return kFailed;
  }
}

// The copy as SQLite reads it back: its pages whole, and how many policies it holds.
std::string CheckedCopy(const std::string& target) {
  const auto copy = nv407::host::OpenSqliteDatabase(target, {.only_reads = true});
  auto check = copy->HostQuery("PRAGMA quick_check", {});
  const std::string verdict = check->Fields("quick_check").Value().ToText();
  check->Close();
  if (verdict != "ok") throw nv407::Error("the copy fails SQLite's check: " + verdict);
  auto count = copy->HostQuery("SELECT COUNT(*) AS n FROM Poliza_Servicio", {});
  const std::string policies = count->Fields("n").Value().ToText();
  count->Close();
  return policies + " policies";
}

int Backup(const std::vector<std::string>& args) {
  if (!args.empty() && args[0] == "--odbc")
    return Usage(
        "backup copies a database file; a server database is backed up with the "
        "server's own tools (pg_dump)");
  if (args.size() != 2 || args[0].starts_with("-") || args[1].starts_with("-"))
    return Usage("backup takes a PATH and a TARGET");
  const std::string& path = args[0];
  const std::string& target = args[1];
  if (const std::string file = nv407::host::DatabaseFileAt(target, path); !file.empty())
    return Usage("the backup " + target + " would write over " + file);
  if (const std::string side = nv407::host::sqlite::SideFileName(target); !side.empty())
    return Usage("the backup " + side);
  // Asked before the database is opened: opening it reads it, which makes them.
  if (const auto left = nv407::host::sqlite::FilesAReadingWouldLeave(path); !left.empty()) {
    std::cerr << "polizas-db: cannot back up " << path
              << ": this user cannot write it, and reading it would leave " << Listed(left, " and ")
              << " beside it as this user's, which would keep the programs of its owner from "
                 "changing it: run the backup as the file's owner or as a member of its group "
                 "who may write it, or while a program of the office has the database open\n";
    return kFailed;
  }
  std::string held;
  try {
    // A copy that does not read back is no backup: it is never given TARGET's name.
    nv407::host::BackUpSqliteDatabase(
        *nv407::host::OpenSqliteDatabase(path, {.only_reads = true}), target,
        [&held](const std::string& copy) { held = CheckedCopy(copy); });
  } catch (const std::exception& failure) {
    std::cerr << "polizas-db: cannot back up " << path << ": "
              << nv407::host::OneLine(failure.what()) << "\n";
    return kFailed;
  }
  std::cout << "Backed up " << path << " to " << target << ": " << held << "\n";
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("no command given");
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << nv407::host::VersionLine("polizas-db") << "\n";
    return 0;
  }
  if (args.size() == 1 && args[0] == "--help") {
    PrintUsage(std::cout);
    return 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "init") return Init(rest);
  if (args[0] == "upgrade") return Upgrade(rest);
  if (args[0] == "backup") return Backup(rest);
  if (args[0] != "operator") return Usage("unknown command '" + args[0] + "'");
  try {
    return nv407::host::RunOperatorCommand(rest, std::cin, std::cout, std::cerr);
  } catch (const nv407::host::DbUsageError& error) {
    return Usage(error.problem);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // What was made and the operators listed are what its caller reads: a cut one fails.
  return nv407::host::EndStatus("polizas-db", Run(std::vector<std::string>(argv + 1, argv + argc)),
                                kFailed, std::cout, std::cerr);
}
