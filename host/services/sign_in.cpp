#include "host/services/sign_in.h"

#include "component/error.h"
#include "host/db/access.h"
#include "host/db/dialect.h"
#include "host/db/lock_wait.h"
#include "host/db/text.h"
#include "host/services/clock.h"
#include "host/services/host_records.h"
#include "host/services/operator_records.h"
#include "host/services/password.h"

namespace nv407::host {
namespace {

// The operator and the wrong-password cases get the same answer: it does not tell which
// codes are operators.
constexpr const char* kWrong = "Operador o contraseña incorrectos";

// An operator's code as a note's key: short, and on one line.
std::string AsKey(const std::string& code) {
  return FirstCharacters(ControlsMarked(code, "?"), 60);
}

SignInResult Refused(std::string refusal) {
  return {false, std::move(refusal), {}};
}

// Checking a password against a hash takes as long whether or not the operator exists. (A
// hash made here on first use would double the time of a program's one attempt.)
void SpendAsLongAsACheck(const std::string& password) {
  PasswordMatches(kStandInHash, password);
}

// Says what to do, as an administrator's lock does: wait, or ask one.
std::string LockedUntil(const std::string& user, const Date& until) {
  return "El operador " + user + " está bloqueado hasta " + until.ToIsoDateTime() + " tras " +
         std::to_string(PasswordSignIn::kAttempts) +
         " intentos fallidos; intente de nuevo a partir de esa hora, o un administrador puede "
         "desbloquearlo antes";
}

}  // namespace

bool HoldsPasswords(Database& database) {
  auto result = database.HostQuery(
      "SELECT 1 FROM pragma_table_info('operator') WHERE name = 'password_hash'", {});
  const bool holds = !result->Eof();
  result->Close();
  return holds;
}

SessionAccess ReadSessionAccess(Database& database) {
  const std::string login_query = Traits(database.Dialect()).session_login();
  if (login_query.empty()) {
    const auto mark = HostRecords(database).Parameter(std::string(kSignInParameter));
    // A file made before operators had passwords gets its mark when first opened for
    // writing; one that cannot be written is read as it was made: nobody signs in.
    const bool open = mark ? AsciiUpper(Trim(*mark)) == "NO" : !HoldsPasswords(database);
    return {open ? SignInMode::kNamed : SignInMode::kPassword, {}};
  }
  // A database nobody has made the tables in has none of the functions the query calls, nor
  // one made before the operators' roles.
  RequirePolicyTables(database);
  RequireOperatorRoles(database);
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

// A pinned clock is both the local time and UTC.
ClockReading PasswordSignIn::Now() const {
  if (!clock_) return ReadClock();
  const Date now = clock_();
  return {now, now, 0};
}

void PasswordSignIn::Note(const std::string& user, const std::string& note, const Date& now) {
  if (database_.ReadOnly()) return;
  HostRecords(database_).AppendNote(kOperatorTable, AsKey(user), note, AsKey(user), now);
}

SignInResult PasswordSignIn::Attempt(const std::string& typed, const std::string& password) {
  // A code pasted with the blank beside it still names its operator, and is noted under it.
  const std::string user(WithoutBlanksAtEnds(typed));
  try {
    return AttemptInTurn(user, password);
  } catch (const LockWaitExpired&) {
    // Nothing was counted: the attempt never had its turn.
    return Refused(
        "Otro programa está escribiendo en la base de datos y el inicio de sesión no pudo "
        "tomar su turno; intente de nuevo");
  }
}

SignInResult PasswordSignIn::AttemptInTurn(const std::string& user, const std::string& password) {
  // No code or password is empty: an Enter pressed twice is no attempt to count or note.
  if (user.empty()) return Refused("Escriba el operador");
  if (password.empty()) return Refused("Escriba la contraseña");
  const ClockReading now = Now();
  OperatorRecords operators(database_);
  if (!operators.Find(user)) {
    SpendAsLongAsACheck(password);
    // What was typed may be a password typed in the wrong field: the note names no code (no
    // operator's code is empty).
    Note("", "Inicio de sesión rechazado: operador inexistente", now.local);
    return Refused(kWrong);
  }
  // An operator's attempts take their turn, the check included, as if made one after the
  // other: programs started at once get no more than the attempts before a lock, and a lock
  // made meanwhile holds for the right password too. (A database that cannot be written
  // counts nothing.)
  std::optional<TransactionScope> turn;
  if (!database_.ReadOnly()) turn.emplace(database_.ForHost());
  const auto done = [&](SignInResult result) {
    if (turn) turn->Commit();
    return result;
  };
  const std::optional<OperatorRow> row = operators.Find(user);
  if (!row) return done(Refused(kWrong));  // removed since
  if (row->locked) {
    Note(user, "Inicio de sesión rechazado: bloqueado por un administrador", now.local);
    return done(
        Refused("El operador " + user + " está bloqueado; un administrador puede desbloquearlo"));
  }
  if (row->LockedForFailures(now.utc)) {
    const Date until = row->locked_until->AddMinutes(now.utc_offset_minutes);
    Note(user, "Inicio de sesión rechazado: bloqueado hasta " + until.ToIsoDateTime(), now.local);
    return done(Refused(LockedUntil(user, until)));
  }
  if (!row->password_hash) {
    Note(user, "Inicio de sesión rechazado: el operador no tiene contraseña", now.local);
    return done(
        Refused("El operador " + user + " no tiene contraseña; un administrador debe ponérsela"));
  }
  if (!PasswordMatches(*row->password_hash, password)) return done(Failed(user, *row, now));
  if (turn) {
    operators.SetFailures(user, 0, std::nullopt);
    if (NeedsRehash(*row->password_hash)) operators.SetPassword(user, HashPassword(password));
    Note(user, "Inicio de sesión", now.local);
  }
  return done({true, {}, user});
}

// Counted in the attempt's turn; locks are kept in UTC.
SignInResult PasswordSignIn::Failed(const std::string& user, const OperatorRow& row,
                                    const ClockReading& now) {
  if (database_.ReadOnly()) return Refused(kWrong);
  const bool lock_over = row.locked_until && !row.LockedForFailures(now.utc);
  const int failed = lock_over ? 1 : row.failed_attempts + 1;
  std::optional<Date> until;
  if (failed >= kAttempts) until = now.utc.AddMinutes(kLockMinutes);
  OperatorRecords(database_).SetFailures(user, failed, until);
  Note(user,
       "Contraseña incorrecta (intento " + std::to_string(failed) + " de " +
           std::to_string(kAttempts) + ")",
       now.local);
  if (!until) return Refused(kWrong);
  const Date shown = until->AddMinutes(now.utc_offset_minutes);
  Note(user,
       "Bloqueado hasta " + shown.ToIsoDateTime() + " tras " + std::to_string(kAttempts) +
           " intentos fallidos",
       now.local);
  return Refused(LockedUntil(user, shown));
}

}  // namespace nv407::host
