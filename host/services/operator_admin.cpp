#include "host/services/operator_admin.h"

#include <algorithm>
#include <optional>

#include "component/error.h"
#include "host/db/access.h"
#include "host/db/text.h"
#include "host/services/clock.h"
#include "host/services/host_records.h"
#include "host/services/password.h"
#include "host/services/sign_in.h"

namespace nv407::host {
namespace {

std::string PermissionText(std::string_view module, std::string_view key) {
  return std::string(module) + "/" + std::string(key);
}

bool Administers(const std::vector<HeldPermission>& held) {
  return std::any_of(held.begin(), held.end(), [](const HeldPermission& permission) {
    return permission.module == kAdministrationModule && permission.key == kAdministrationKey;
  });
}

// What an operator's code and name share: text in UTF-8, as the window sends it, on one line
// and moving no terminal it is listed on (C0 and C1 controls, DEL).
std::string TextProblem(std::string_view text, const std::string& what) {
  if (!IsUtf8(text)) return what + " is UTF-8 text";
  for (char16_t c : Widen(text)) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return what + " has no control characters";
    if (c == 0x2028 || c == 0x2029) return what + " is on one line";
  }
  return {};
}

// The first character of a code that is neither printable ASCII nor a letter of Latin-1 (but
// the multiplication and division signs): the letters of the office's keyboards, in which no
// two characters look alike and UpperCaseText knows every letter's other case. A Kelvin
// sign, a Cyrillic I or a Greek A would list a second KARLA, ADMIN or ANA.
std::optional<char32_t> BeyondTheCodesLetters(std::string_view code) {
  for (std::size_t i = 0; i < code.size();) {
    const DecodedCharacter character = DecodeAt(code, i);
    const char32_t c = character.code;
    const bool latin1_letter = c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7;
    if (!(c >= 0x20 && c < 0x7F) && !latin1_letter) return c;
    i += std::max<std::size_t>(character.length, 1);
  }
  return std::nullopt;
}

void RequireGoodPassword(const std::string& password) {
  const std::string problem = PasswordProblem(password);
  if (!problem.empty()) throw Error(problem);
}

}  // namespace

std::string OperatorCodeProblem(std::string_view code) {
  if (code.empty()) return "the operator code is empty";
  if (std::string problem = TextProblem(code, "an operator code"); !problem.empty()) return problem;
  if (CharacterCount(code) > 60) return "an operator code has at most 60 characters";
  // The blank after "ADMIN\u00A0" would list it as a second ADMIN.
  if (WithoutBlanksAtEnds(code).size() != code.size())
    return "an operator code has no blanks at its ends";
  // Without Unicode's tables no two spellings of PEÑA can be made one, nor a Kelvin sign
  // told from a K: a code may hold no character that would let it look like another
  // operator's. (Codes stored before still sign in: the check is made where codes are added.)
  if (HoldsUnseenCharacters(code))
    return "an operator code has no invisible characters nor accents apart from their letter: "
           "write Ñ as one letter";
  if (const std::optional<char32_t> beyond = BeyondTheCodesLetters(code))
    return "an operator code holds " + CodePointName(*beyond) +
           ": a code is written with ASCII letters, digits, spaces and punctuation and the other "
           "letters of Latin-1 (Á, Ñ, Ü, Ç...), so that no two codes look alike";
  return {};
}

OperatorAdministration::OperatorAdministration(Database& database, std::string by, Clock clock)
    : database_(database), by_(std::move(by)), clock_(std::move(clock)), records_(database) {}

OperatorRow OperatorAdministration::Existing(const std::string& code) {
  std::optional<OperatorRow> row = records_.Find(code);
  if (!row) throw Error("there is no operator " + code);
  return *row;
}

// A holder of the permission with no operator row (written by another tool) cannot sign in.
bool OperatorAdministration::AnotherAdministratorUnlocked(const std::string& code) {
  for (const std::string& holder : records_.Holders(kAdministrationModule, kAdministrationKey)) {
    const std::optional<OperatorRow> row = holder == code ? std::nullopt : records_.Find(holder);
    if (row && !row->locked) return true;
  }
  return false;
}

void OperatorAdministration::Note(const std::string& code, const std::string& note) {
  HostRecords(database_).AppendNote(kOperatorTable, code, note + " por " + by_, by_,
                                    clock_ ? clock_() : LocalNow());
}

void OperatorAdministration::Add(const std::string& code, const std::string& name,
                                 const std::string& password) {
  if (std::string problem = OperatorCodeProblem(code); !problem.empty()) throw Error(problem);
  if (std::string problem = TextProblem(name, "an operator name"); !problem.empty())
    throw Error(problem);
  RequireGoodPassword(password);
  // The hash takes a tenth of a second: made before the write lock, and the codes checked
  // under it, so that two programs adding JUAN and juan at once cannot both pass the check.
  const std::string hash = HashPassword(password);
  TransactionScope transaction(database_.ForHost());
  StillAllowed();
  // Notes and lists name operators by code: ADMIN and admin would read as one.
  for (const OperatorRow& row : records_.All()) {
    if (row.code == code) throw Error("the operator " + code + " exists already");
    if (UpperCaseText(row.code) == UpperCaseText(code))
      throw Error("the operator " + row.code + " exists already, in other letter case");
  }
  records_.Add(code, name, hash);
  Note(code, "Alta del operador");
  transaction.Commit();
}

void OperatorAdministration::ChangePassword(const std::string& code, const std::string& password) {
  RequireGoodPassword(password);
  const std::string hash = HashPassword(password);
  TransactionScope transaction(database_.ForHost());
  StillAllowed();
  Existing(code);
  records_.SetPassword(code, hash);
  Note(code, "Contraseña cambiada");
  transaction.Commit();
}

void OperatorAdministration::Grant(const std::string& code, std::string_view module,
                                   std::string_view key) {
  TransactionScope transaction(database_.ForHost());
  StillAllowed();
  Existing(code);
  if (!records_.Grant(code, module, key))
    throw Error("the operator " + code + " holds " + PermissionText(module, key) + " already");
  Note(code, "Permiso " + PermissionText(module, key) + " otorgado");
  transaction.Commit();
}

// The schema refuses to take the permission from the last administrator; here, from the
// last one who can sign in (the others locked).
void OperatorAdministration::Revoke(const std::string& code, std::string_view module,
                                    std::string_view key) {
  TransactionScope transaction(database_.ForHost());
  StillAllowed();
  Existing(code);
  if (module == kAdministrationModule && key == kAdministrationKey &&
      !AnotherAdministratorUnlocked(code))
    throw Error(LastAdministratorMessage());
  if (!records_.Revoke(code, module, key))
    throw Error("the operator " + code + " does not hold " + PermissionText(module, key));
  Note(code, "Permiso " + PermissionText(module, key) + " retirado");
  transaction.Commit();
}

void OperatorAdministration::Lock(const std::string& code) {
  TransactionScope transaction(database_.ForHost());
  StillAllowed();
  if (Existing(code).locked) throw Error("the operator " + code + " is locked already");
  if (Administers(records_.PermissionsOf(code)) && !AnotherAdministratorUnlocked(code))
    throw Error("No se puede bloquear al último administrador que puede iniciar sesión");
  records_.SetLocked(code, true);
  Note(code, "Bloqueado");
  transaction.Commit();
}

void OperatorAdministration::Unlock(const std::string& code) {
  TransactionScope transaction(database_.ForHost());
  StillAllowed();
  const OperatorRow row = Existing(code);
  const Date utc_now = clock_ ? clock_() : ReadClock().utc;  // locks for failures are in UTC
  if (!row.locked && !row.LockedForFailures(utc_now))
    throw Error("the operator " + code + " is not locked");
  records_.SetLocked(code, false);
  Note(code, "Desbloqueado");
  transaction.Commit();
}

std::vector<OperatorListing> OperatorAdministration::List() {
  std::vector<OperatorListing> listing;
  for (OperatorRow& row : records_.All()) {
    std::vector<HeldPermission> held = records_.PermissionsOf(row.code);
    listing.push_back({std::move(row), std::move(held)});
  }
  return listing;
}

void RequireAdministrator(Database& database, const std::string& code) {
  const std::optional<OperatorRow> row = OperatorRecords(database).Find(code);
  if (row && row->locked) throw Error(code + " has been locked by an administrator");
  if (!HostRecords(database).HoldsPermission(code, std::string(kAdministrationModule),
                                             std::string(kAdministrationKey))) {
    throw Error(code + " may not administer operators: it does not hold " +
                std::string(kAdministrationModule) + "/" + std::string(kAdministrationKey));
  }
}

}  // namespace nv407::host
