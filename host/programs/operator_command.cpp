#include "host/programs/operator_command.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "component/error.h"
#include "host/db/access.h"
#include "host/db/database.h"
#include "host/db/sqlite_location.h"
#include "host/db/text.h"
#include "host/services/clock.h"
#include "host/services/host_records.h"
#include "host/services/operator_admin.h"
#include "host/services/operators.h"
#include "host/services/password_input.h"
#include "host/services/sign_in.h"

namespace nv407::host {

const char* const kOperatorUsage =
    "       polizas-db operator add PATH CODE [--name TEXT]\n"
    "       polizas-db operator (passwd | lock | unlock) PATH CODE\n"
    "       polizas-db operator (grant | revoke) PATH CODE [MODULE/]KEY\n"
    "       polizas-db operator list PATH\n"
    "         each with [--as CODE] [--password-file FILE]\n";

namespace {

constexpr int kFailed = 1;

struct Request {
  std::string action, path, code, permission;
  std::optional<std::string> name, as, password_file;
};

// How many words follow the action: PATH, then CODE, then the permission.
const std::map<std::string, std::size_t>& Actions() {
  static const std::map<std::string, std::size_t> actions = {
      {"add", 2},  {"passwd", 2}, {"grant", 3}, {"revoke", 3},
      {"lock", 2}, {"unlock", 2}, {"list", 1}};
  return actions;
}

Request Parse(const std::vector<std::string>& args) {
  if (args.empty()) throw DbUsageError{"no operator command given"};
  Request request{args[0], {}, {}, {}, {}, {}, {}};
  const auto action = Actions().find(request.action);
  if (action == Actions().end())
    throw DbUsageError{"unknown operator command '" + request.action + "'"};
  std::vector<std::string> words;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::optional<std::string>* option = arg == "--name"            ? &request.name
                                         : arg == "--as"            ? &request.as
                                         : arg == "--password-file" ? &request.password_file
                                                                    : nullptr;
    if (arg == "--odbc") {
      throw DbUsageError{
          "on a server database the operators are its logins: its administrator makes one "
          "with CREATE ROLE ... LOGIN and grants it " +
          std::string(kCaptureRole) + " or " + std::string(kSupervisorRole)};
    }
    if (option == nullptr && arg.starts_with("--"))
      throw DbUsageError{"unknown option '" + arg + "'"};
    if (option != nullptr) {
      if (i + 1 == args.size()) throw DbUsageError{arg + " needs a value"};
      if (*option) throw DbUsageError{arg + " given more than once"};
      *option = args[++i];
    } else {
      words.push_back(arg);
    }
  }
  if (words.size() != action->second)
    throw DbUsageError{"operator " + request.action + " takes " + std::to_string(action->second) +
                       (action->second == 1 ? " word" : " words") + " besides its options"};
  if (request.name && request.action != "add") throw DbUsageError{"--name goes with add only"};
  request.path = words[0];
  if (words.size() > 1) request.code = words[1];
  if (words.size() > 2) request.permission = words[2];
  return request;
}

// A module's or a key's name as permissions are held: letters (taken in upper case), digits
// and '_'.
std::optional<std::string> PermissionName(std::string_view text) {
  std::string name = UpperCaseText(text);
  const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
  if (name.empty() || !plain) return std::nullopt;
  return name;
}

// "KEY" is the screen's permission KEY (module NV407); "MODULE/KEY" names the module.
HeldPermission PermissionOf(const std::string& text) {
  const std::size_t slash = text.find('/');
  const std::string_view whole = text;
  const auto module = slash == std::string::npos ? std::optional(std::string(kChangeDate.module))
                                                 : PermissionName(whole.substr(0, slash));
  const auto key = PermissionName(slash == std::string::npos ? whole : whole.substr(slash + 1));
  if (!module || !key) {
    throw DbUsageError{"a permission is KEY or MODULE/KEY, each of letters, digits and '_': '" +
                       text + "'"};
  }
  return {*module, *key};
}

std::string Listed(const OperatorListing& entry, const ClockReading& now) {
  std::string line = entry.row.code;
  if (!entry.row.name.empty()) line += " (" + entry.row.name + ")";
  std::string permissions;
  for (const HeldPermission& held : entry.permissions)
    permissions += (permissions.empty() ? "" : ", ") + held.module + "/" + held.key;
  line += ": " + (permissions.empty() ? std::string("no permissions") : permissions);
  if (!entry.row.password_hash) line += "; no password";
  if (entry.row.locked) line += "; locked by an administrator";
  if (entry.row.LockedForFailures(now.utc))
    line += "; locked until " +
            entry.row.locked_until->AddMinutes(now.utc_offset_minutes).ToIsoDateTime() +
            " after failed sign-ins";  // kept in UTC
  return line;
}

// An operator may change its own password; anything else needs an administrator.
void RequireAdministration(Database& database, const Request& request, const std::string& as) {
  if (request.action == "passwd" && request.code == as) return;
  RequireAdministrator(database, as);
}

// Whether the database asks its operators to sign in: then `as` signs in and must hold the
// administration right, checked again as each change is made.
bool Authorise(Database& database, const Request& request, const std::string& as,
               PasswordPrompt& prompt) {
  const SessionAccess access = ReadSessionAccess(database);
  if (access.mode != SignInMode::kPassword) {
    RequireOperator(database, as);
    return false;
  }
  // An empty code or password is refused in the command line's words, not the dialog's
  // prompts (the attempt would refuse them, counting nothing).
  RequireOperatorCode(as);
  std::optional<std::string> password = GivenPassword(request.password_file);
  if (!password) password = prompt.Ask("Password of " + as + ": ");
  if (!password) throw Error("no password of " + as + " given");
  if (password->empty())
    throw Error("no password of " + as + " given: the line read from standard input is empty");
  const SignInResult result = PasswordSignIn(database, {}).Attempt(as, *password);
  if (!result.signed_in) {
    // An operator changing its own password without --as signs in as the default
    // administrator: the refusal says whose sign-in failed, and why that one.
    const std::string chosen =
        request.as ? "named with --as" : "the administrator by default; --as names another";
    throw Error("sign-in of " + as + " (" + chosen + ") refused: " + result.refusal);
  }
  RequireAdministration(database, request, as);
  return true;
}

void Act(OperatorAdministration& administration, const Request& request, PasswordPrompt& prompt,
         std::ostream& out) {
  const std::string& code = request.code;
  if (request.action == "list") {
    const ClockReading now = ReadClock();
    for (const OperatorListing& entry : administration.List()) out << Listed(entry, now) << "\n";
  } else if (request.action == "add") {
    const std::string password = prompt.AskNew("New password of " + code + ": ");
    // The file is kept from others once the hash is stored (a refused change leaves it as it
    // was); one this user could not keep from them is refused before.
    sqlite::KeepFromOthers(request.path, /*asking=*/true);
    administration.Add(code, request.name.value_or(""), password);
    out << KeepPasswordHashesFromOthers(request.path) << "Added the operator " << code << "\n";
  } else if (request.action == "passwd") {
    const std::string password = prompt.AskNew("New password of " + code + ": ");
    sqlite::KeepFromOthers(request.path, /*asking=*/true);
    administration.ChangePassword(code, password);
    out << KeepPasswordHashesFromOthers(request.path) << "Changed the password of " << code << "\n";
  } else if (request.action == "grant" || request.action == "revoke") {
    const HeldPermission permission = PermissionOf(request.permission);
    const bool grant = request.action == "grant";
    if (grant) administration.Grant(code, permission.module, permission.key);
    if (!grant) administration.Revoke(code, permission.module, permission.key);
    out << (grant ? "Granted " : "Revoked ") << permission.module << "/" << permission.key
        << (grant ? " to " : " from ") << code << "\n";
  } else {
    const bool lock = request.action == "lock";
    if (lock) administration.Lock(code);
    if (!lock) administration.Unlock(code);
    out << (lock ? "Locked " : "Unlocked ") << code << "\n";
  }
}

}  // namespace

std::string KeepPasswordHashesFromOthers(const std::string& path) {
  const std::optional<mode_t> kept = sqlite::KeepFromOthers(path);
  if (!kept) return {};
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(*kept));
  return "Took away other users' permissions on " + path +
         ", which holds password hashes: its mode is now " + mode + "\n";
}

int RunOperatorCommand(const std::vector<std::string>& args, std::istream& input, std::ostream& out,
                       std::ostream& err) {
  const Request request = Parse(args);
  if (!request.permission.empty()) PermissionOf(request.permission);  // a usage error first
  std::unique_ptr<Database> database;
  try {
    database = OpenSqliteDatabase(request.path);
  } catch (const std::exception& failure) {
    err << "polizas-db: cannot open " << request.path << ": " << OneLine(failure.what()) << "\n";
    return kFailed;
  }
  PasswordPrompt prompt(input);
  // Signing in drops the blanks at a code's ends; the checks after it go by the same code.
  const std::string as(WithoutBlanksAtEnds(request.as.value_or(kDefaultOperator)));
  try {
    if (database->ReadOnly() && !HoldsPasswords(*database)) {
      throw Error("the operators of " + request.path +
                  " were kept before they had passwords, and the file cannot be written here "
                  "to bring it up to date: run the command where it can be written");
    }
    // Said before any password is asked for, and in upgrade's words rather than SQLite's.
    if (database->ReadOnly() && request.action != "list")
      throw Error("cannot change the operators of " + request.path + ": " +
                  database->WhyReadOnly());
    const bool signed_in = Authorise(*database, request, as, prompt);
    OperatorAdministration administration(*database, as, {});
    if (signed_in)
      administration.CheckEachChange([&] { RequireAdministration(*database, request, as); });
    Act(administration, request, prompt, out);
  } catch (const std::exception& failure) {
    err << "polizas-db: " << OneLine(failure.what()) << "\n";
    return kFailed;
  }
  return 0;
}

}  // namespace nv407::host
