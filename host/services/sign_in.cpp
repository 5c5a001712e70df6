#include "host/services/sign_in.h"

#include "component/error.h"
#include "host/db/access.h"
#include "host/db/dialect.h"
#include "host/services/clock.h"
#include "host/services/folio.h"
#include "host/services/host_records.h"
#include "host/services/operator_records.h"
#include "host/services/password.h"

namespace nv407::host {
namespace {

// The operator and the wrong-password cases get the same answer: it does not tell which
// codes are operators.
constexpr const char* kWrong = "Operador o contraseña incorrectos";

// A typed code as a note's key: short, and on one line.
std::string AsKey(const std::string& code) {
  constexpr std::size_t kLongest = 60;
  std::string key;
  for (char c : code.substr(0, kLongest)) key += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return key;
}

SignInResult Refused(std::string refusal) {
  return {false, std::move(refusal)};
}

// Checking a password against a hash takes as long whether or not the operator exists. (A
// hash made here on first use would double the time of a program's one attempt.)
void SpendAsLongAsACheck(const std::string& password) {
  PasswordMatches(kStandInHash, password);
}

std::string LockedUntil(const std::string& user, const Date& until) {
  return "El operador " + user + " está bloqueado hasta " + until.ToIsoDateTime() + " tras " +
         std::to_string(PasswordSignIn::kAttempts) + " intentos fallidos";
}

}  // namespace

void RequirePolicyTables(Database& database) {
  if (!HasTable(database, "poliza_servicio")) {
    throw Error(
        "the database holds no service policies: its owner makes the tables with "
        "polizas-db init --odbc");
  }
}

SessionAccess ReadSessionAccess(Database& database) {
  const std::string login_query = Traits(database.Dialect()).session_login();
  if (login_query.empty()) {
    const auto mark = HostRecords(database).Parameter(std::string(kSignInParameter));
    const bool open = mark && Upper(Trim(*mark)) == "NO";
    return {open ? SignInMode::kNamed : SignInMode::kPassword, {}};
  }
  // A database nobody has made the tables in has none of the functions the query calls.
  RequirePolicyTables(database);
  auto result = database.HostQuery(login_query, {});
  if (result->Eof()) throw Error("the server did not say who the session's login is");
  const std::string login = result->Fields("v").Value().ToText();
  const bool administers = result->Fields("administers").Value().ToLong() != 0;
  const bool operates = result->Fields("operates").Value().ToLong() != 0;
  result->Close();
  if (administers) return {SignInMode::kNamed, {}};
  if (!operates) {
    throw Error("the login " + login + " is not an operator of this database: its administrator " +
                "grants it the role " + std::string(kCaptureRole) + " or " +
                std::string(kSupervisorRole));
  }
  return {SignInMode::kLogin, login};
}

PasswordSignIn::PasswordSignIn(Database& database, Clock clock)
    : database_(database), clock_(std::move(clock)) {}

Date PasswordSignIn::Now() const {
  return clock_ ? clock_() : LocalNow();
}

void PasswordSignIn::Note(const std::string& user, const std::string& note, const Date& now) {
  if (database_.ReadOnly()) return;
  HostRecords(database_).AppendNote(kOperatorTable, AsKey(user), note, AsKey(user), now);
}

SignInResult PasswordSignIn::Attempt(const std::string& user, const std::string& password) {
  // No code or password is empty: an Enter pressed twice is no attempt to count or note.
  if (user.empty()) return Refused("Escriba el operador");
  if (password.empty()) return Refused("Escriba la contraseña");
  const Date now = Now();
  OperatorRecords operators(database_);
  const std::optional<OperatorRow> row = operators.Find(user);
  if (!row) {
    SpendAsLongAsACheck(password);
    Note(user, "Inicio de sesión rechazado: operador inexistente", now);
    return Refused(kWrong);
  }
  if (row->locked) {
    Note(user, "Inicio de sesión rechazado: bloqueado por un administrador", now);
    return Refused("El operador " + user + " está bloqueado; un administrador puede desbloquearlo");
  }
  if (row->locked_until && now < *row->locked_until) {
    Note(user, "Inicio de sesión rechazado: bloqueado hasta " + row->locked_until->ToIsoDateTime(),
         now);
    return Refused(LockedUntil(user, *row->locked_until));
  }
  if (!row->password_hash) {
    Note(user, "Inicio de sesión rechazado: el operador no tiene contraseña", now);
    return Refused("El operador " + user + " no tiene contraseña; un administrador debe ponérsela");
  }
  if (!PasswordMatches(*row->password_hash, password)) return Failed(user, now);
  if (!database_.ReadOnly()) {
    TransactionScope transaction(database_.ForHost());
    operators.SetFailures(user, 0, std::nullopt);
    if (NeedsRehash(*row->password_hash)) operators.SetPassword(user, HashPassword(password));
    Note(user, "Inicio de sesión", now);
    transaction.Commit();
  }
  return {true, {}};
}

SignInResult PasswordSignIn::Failed(const std::string& user, const Date& now) {
  if (database_.ReadOnly()) return Refused(kWrong);
  TransactionScope transaction(database_.ForHost());
  // Read again inside the transaction: another program may have counted a failure since.
  OperatorRecords operators(database_);
  const OperatorRow row = *operators.Find(user);
  const bool lock_over = row.locked_until && now >= *row.locked_until;
  const int failed = lock_over ? 1 : row.failed_attempts + 1;
  std::optional<Date> until;
  if (failed >= kAttempts) until = now.AddMinutes(kLockMinutes);
  operators.SetFailures(user, failed, until);
  Note(user,
       "Contraseña incorrecta (intento " + std::to_string(failed) + " de " +
           std::to_string(kAttempts) + ")",
       now);
  if (until) {
    Note(user,
         "Bloqueado hasta " + until->ToIsoDateTime() + " tras " + std::to_string(kAttempts) +
             " intentos fallidos",
         now);
  }
  transaction.Commit();
  return Refused(until ? LockedUntil(user, *until) : kWrong);
}

}  // namespace nv407::host
