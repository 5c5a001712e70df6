#include "host/services/sign_in.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/services/host_records.h"
#include "host/services/operator_admin.h"
#include "host/services/operator_records.h"
#include "host/services/operators.h"
#include "host/services/password.h"
#include "support/database_file.h"
#include "support/result_text.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kPassword = "clave de Laura";
constexpr const char* kWrong = "Operador o contraseña incorrectos";

// The demo's operators, CAPTURA with a password, on a clock the test moves.
class SignInTest : public ::testing::Test {
 protected:
  SignInTest() {
    db.SetNow(Date::FromYmd(2024, 3, 15, 10, 30, 0));
    host::OperatorRecords(db.db()).SetPassword("CAPTURA", host::HashPassword(kPassword));
  }
  host::SignInResult Attempt(const std::string& user, const std::string& password) {
    return sign_in.Attempt(user, password);
  }
  // The notes on operators since the last call, as "CODE: note".
  Lines Notes() {
    const Lines notes = Column(db.sql(),
                               "SELECT record_key || ': ' || note AS v FROM record_log WHERE "
                               "table_name = 'operator' AND id > " +
                                   std::to_string(last_note_) + " ORDER BY id");
    last_note_ = std::stoll(db.Scalar("SELECT COALESCE(MAX(id), 0) AS v FROM record_log"));
    return notes;
  }

  TestDatabase db;
  host::PasswordSignIn sign_in{db.db(), db.clock()};
  long long last_note_ = 0;
};

TEST_F(SignInTest, OnlyTheRightPasswordSignsInAndEveryAttemptIsNoted) {
  const struct {
    const char* user;
    const char* password;
    bool signed_in;
    const char* refusal;
  } attempts[] = {
      {"CAPTURA", kPassword, true, ""},
      {"CAPTURA", "clave de laura", false, kWrong},
      {"CAPTURA", "", false, "Escriba la contraseña"},  // no attempt: neither noted nor counted
      {"", kPassword, false, "Escriba el operador"},
      {"captura", kPassword, false, kWrong},  // codes are exact
      {"NADIE", kPassword, false, kWrong},    // the same answer: it tells no codes
      {"ADMIN", kPassword, false,
       "El operador ADMIN no tiene contraseña; un administrador debe ponérsela"},
      {"CAPTURA", kPassword, true, ""},
      {" CAPTURA\u00A0", kPassword, true, ""},  // no code has blanks at its ends
  };
  for (const auto& attempt : attempts) {
    const host::SignInResult result = Attempt(attempt.user, attempt.password);
    EXPECT_EQ(result.signed_in, attempt.signed_in) << attempt.user << " " << attempt.password;
    EXPECT_EQ(result.refusal, attempt.refusal);
    EXPECT_EQ(result.user, attempt.signed_in ? "CAPTURA" : "");
  }
  EXPECT_THAT(
      Notes(),
      ElementsAre("CAPTURA: Inicio de sesión", "CAPTURA: Contraseña incorrecta (intento 1 de 5)",
                  ": Inicio de sesión rechazado: operador inexistente",
                  ": Inicio de sesión rechazado: operador inexistente",
                  "ADMIN: Inicio de sesión rechazado: el operador no tiene contraseña",
                  "CAPTURA: Inicio de sesión", "CAPTURA: Inicio de sesión"));
  // The success counted the failure out; the password is kept only as its Argon2id hash.
  EXPECT_EQ(db.Scalar("SELECT failed_attempts FROM operator WHERE user_code = 'CAPTURA'"), "0");
  const std::string hash =
      db.Scalar("SELECT password_hash FROM operator WHERE user_code = 'CAPTURA'");
  EXPECT_THAT(hash, ::testing::StartsWith("$argon2id$v=19$m=65536,t=2,p=1$"));
  EXPECT_THAT(hash, ::testing::Not(HasSubstr("Laura")));
}

// An unknown code may be a password typed in the operator's field: its note, which viewers
// and administrators read, keeps the failure but nothing of what was typed.
TEST_F(SignInTest, AnUnknownCodeIsNotedWithoutWhatWasTyped) {
  std::string accented = "a";
  for (int i = 0; i < 100; ++i) accented += "é";
  for (const std::string& typed : {std::string("MiClave$ecreta2024"), std::string(kPassword),
                                   accented, std::string("X\xffY\u0085Z\x7f")}) {
    EXPECT_EQ(Attempt(typed, kPassword).refusal, kWrong);
    EXPECT_THAT(Notes(), ElementsAre(": Inicio de sesión rechazado: operador inexistente"))
        << typed;
  }
  EXPECT_EQ(db.Scalar("SELECT COUNT(*) AS v FROM record_log WHERE table_name = 'operator' AND "
                      "record_key = '' AND user_code = '' AND note = 'Inicio de sesión rechazado: "
                      "operador inexistente'"),
            "4");
  EXPECT_EQ(db.Scalar("SELECT COUNT(*) AS v FROM record_log WHERE record_key LIKE '%Clave%' OR "
                      "user_code LIKE '%Clave%' OR note LIKE '%Clave%'"),
            "0");
}

TEST_F(SignInTest, FiveFailuresInARowLockTheOperatorForAQuarterOfAnHour) {
  for (int attempt = 1; attempt <= 4; ++attempt)
    EXPECT_EQ(Attempt("CAPTURA", "no").refusal, kWrong);
  // The refusal says what to do: wait, or ask an administrator, as an administrator's lock's
  // does.
  const std::string locked =
      "El operador CAPTURA está bloqueado hasta 2024-03-15 10:45:00 tras 5 intentos fallidos; "
      "intente de nuevo a partir de esa hora, o un administrador puede desbloquearlo antes";
  EXPECT_EQ(Attempt("CAPTURA", "no").refusal, locked);
  EXPECT_THAT(Notes(), ::testing::IsSupersetOf({"CAPTURA: Contraseña incorrecta (intento 5 de 5)",
                                                "CAPTURA: Bloqueado hasta 2024-03-15 10:45:00 "
                                                "tras 5 intentos fallidos"}));

  db.SetNow(Date::FromYmd(2024, 3, 15, 10, 44, 59));
  EXPECT_EQ(Attempt("CAPTURA", kPassword).refusal, locked) << "not even the right password";
  EXPECT_THAT(Notes(), ElementsAre("CAPTURA: Inicio de sesión rechazado: bloqueado hasta "
                                   "2024-03-15 10:45:00"));
  db.SetNow(Date::FromYmd(2024, 3, 15, 10, 45, 0));
  EXPECT_TRUE(Attempt("CAPTURA", kPassword).signed_in);
  // A failure after a lock is over counts from one again.
  for (int attempt = 1; attempt <= 5; ++attempt) Attempt("CAPTURA", "no");
  db.SetNow(Date::FromYmd(2024, 3, 15, 11, 30, 0));
  EXPECT_EQ(Attempt("CAPTURA", "no").refusal, kWrong);
  EXPECT_THAT(Notes(),
              ::testing::Contains("CAPTURA: Contraseña incorrecta (intento 1 de 5)").Times(2));
}

// Attempts made at once, each by a program of its own, take their turns: no more than five
// wrong passwords are tried before the lock, and the right one is refused once it is set.
TEST(SignInAtOnceTest, AttemptsMadeTogetherCountAsIfMadeOneAfterAnother) {
  if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are its logins";
  TestDatabase db(TestDatabase::Storage::kFile);
  db.SetNow(Date::FromYmd(2024, 3, 15, 10, 30, 0));
  host::OperatorRecords(db.db()).SetPassword("CAPTURA", host::HashPassword(kPassword));
  std::vector<std::unique_ptr<host::Database>> programs;
  for (int i = 0; i < 7; ++i) programs.push_back(db.OpenAnotherSession());
  std::vector<std::thread> attempts;
  std::latch ready(static_cast<std::ptrdiff_t>(programs.size()));
  for (std::size_t i = 0; i < programs.size(); ++i) {
    attempts.emplace_back([&, i] {
      ready.arrive_and_wait();
      // The last one knows the password.
      host::PasswordSignIn(*programs[i], db.clock())
          .Attempt("CAPTURA", i + 1 == programs.size() ? kPassword : "no");
    });
  }
  for (std::thread& attempt : attempts) attempt.join();
  const Lines notes = Column(db.sql(),
                             "SELECT note AS v FROM record_log WHERE table_name = 'operator' "
                             "ORDER BY id");
  // In the order written: failures counted one by one, never past the lock, and no sign-in
  // after it.
  int expected = 1;
  bool locked = false;
  for (const std::string& note : notes) {
    if (note.starts_with("Contraseña incorrecta")) {
      EXPECT_FALSE(locked) << note;
      EXPECT_EQ(note, "Contraseña incorrecta (intento " + std::to_string(expected++) + " de 5)");
    } else if (note.starts_with("Bloqueado hasta")) {
      locked = true;
    } else if (note == "Inicio de sesión") {
      EXPECT_FALSE(locked);
      expected = 1;
    }
  }
  EXPECT_EQ(notes.size(), programs.size() + (locked ? 1 : 0));
}

// Another program holds the write lock past the busy timeout: the attempt, counted nowhere,
// says why it could not be made, whether or not the code is an operator's.
TEST(SignInAtOnceTest, AnAttemptBehindAnotherProgramsWriteSaysSo) {
  if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are its logins";
  const DatabaseFile file;
  const std::unique_ptr<host::Database> writer = file.Open();
  host::OperatorRecords(*writer).SetPassword("CAPTURA", host::HashPassword(kPassword));
  const std::unique_ptr<host::Database> program =
      host::OpenSqliteDatabase(file.Path(), {.busy_timeout_ms = 100});
  host::PasswordSignIn sign_in(*program, {});
  writer->ForHost().BeginTrans();
  const std::string busy =
      "Otro programa está escribiendo en la base de datos y el inicio de sesión no pudo tomar "
      "su turno; intente de nuevo";
  const auto refusal = [&](const char* user) {
    try {
      return sign_in.Attempt(user, kPassword).refusal;
    } catch (const Error& error) {
      return error.Description();
    }
  };
  EXPECT_EQ(refusal("CAPTURA"), busy);
  EXPECT_EQ(refusal("NADIE"), busy);
  writer->ForHost().RollbackTrans();
  EXPECT_TRUE(sign_in.Attempt("CAPTURA", kPassword).signed_in);
}

TEST_F(SignInTest, AnAdministratorsLockLastsUntilAnAdministratorLiftsIt) {
  host::OperatorAdministration administration(db.db(), "ADMIN", db.clock());
  administration.Lock("CAPTURA");
  db.SetNow(Date::FromYmd(2024, 3, 16));
  EXPECT_EQ(Attempt("CAPTURA", kPassword).refusal,
            "El operador CAPTURA está bloqueado; un administrador puede desbloquearlo");
  administration.Unlock("CAPTURA");
  EXPECT_TRUE(Attempt("CAPTURA", kPassword).signed_in);

  // Unlocking also ends a lock for failed attempts.
  for (int attempt = 1; attempt <= 5; ++attempt) Attempt("CAPTURA", "no");
  administration.Unlock("CAPTURA");
  EXPECT_TRUE(Attempt("CAPTURA", kPassword).signed_in);
  EXPECT_THAT(Notes(), ::testing::IsSupersetOf(
                           {"CAPTURA: Bloqueado por ADMIN", "CAPTURA: Desbloqueado por ADMIN"}));
}

// A hash made at a lower cost (another program's, an older setting) still signs in, and is
// made again at the host's cost.
TEST_F(SignInTest, AHashOfAnotherCostIsMadeAgainWhenItSignsIn) {
  db.Execute(
      "UPDATE operator SET password_hash = "
      "'$argon2id$v=19$m=8,t=1,p=1$B9JFRjC/"
      "VXZC1Sqnku7BWg$TJ5kqcte0aZSOKSn0a7WCbKIeARI+jCcF8I4E8aswAY' "
      "WHERE user_code = 'CAPTURA'");
  EXPECT_TRUE(Attempt("CAPTURA", kPassword).signed_in);
  const std::string hash =
      db.Scalar("SELECT password_hash FROM operator WHERE user_code = 'CAPTURA'");
  EXPECT_THAT(hash, ::testing::StartsWith("$argon2id$v=19$m=65536,t=2,p=1$"));
  EXPECT_TRUE(Attempt("CAPTURA", kPassword).signed_in);
  // What an unknown code is checked against costs as much.
  EXPECT_FALSE(host::NeedsRehash(host::kStandInHash));
  EXPECT_FALSE(host::PasswordMatches(host::kStandInHash, kPassword));
}

// Where operators are named, the code must be an operator's; where they sign in, the
// password must sign it in. (On a server, the tests' login administers the database, and
// names its operators.)
TEST_F(SignInTest, AProgramsOperatorIsNamedOrSignedInAsTheDatabaseSays) {
  const auto sign_on = [&](std::optional<std::string> user, std::optional<std::string> password,
                           host::Clock clock = {}) {
    try {
      const host::SessionSettings session = host::SignOn(db.db(), {user, password, clock});
      return session.user_code +
             (session.sign_in == host::SignInMode::kPassword ? " signed in" : " named");
    } catch (const Error& error) {
      return error.Description();
    }
  };
  EXPECT_EQ(sign_on(std::nullopt, std::nullopt, db.clock()), "ADMIN named");
  EXPECT_EQ(sign_on("CAPTURA", "any"), "CAPTURA named");
  EXPECT_EQ(sign_on("CAPTURA ", "any"), "CAPTURA named");  // no code ends with a blank
  // A program's refusals are its own, not the sign-in dialog's prompts.
  const std::string no_code = "no operator given: the operator code is empty";
  EXPECT_EQ(sign_on(" ", "any"), no_code);
  EXPECT_THAT(sign_on("NADIE", kPassword), HasSubstr("unknown operator \"NADIE\""));
  if (TestBackend() == Backend::kPostgreSql) return;

  db.Execute("DELETE FROM host_parameter WHERE name = 'INICIO_SESION'");
  EXPECT_EQ(host::ReadSessionAccess(db.db()).mode, host::SignInMode::kPassword) << "by default";
  // (A missing or wrong password's refusals: the program tests, polizas-script signing in.)
  EXPECT_EQ(sign_on("CAPTURA", kPassword), "CAPTURA signed in");
  EXPECT_EQ(sign_on("\u3000CAPTURA ", kPassword), "CAPTURA signed in");
  EXPECT_EQ(sign_on(" ", kPassword), no_code);
  // The computer's clock alone sets when a lock ends and what day a policy is made.
  EXPECT_THAT(sign_on("CAPTURA", kPassword, db.clock()), HasSubstr("--clock is for databases"));
  db.Execute("INSERT INTO host_parameter VALUES ('INICIO_SESION', 'no')");
  EXPECT_EQ(host::ReadSessionAccess(db.db()).mode, host::SignInMode::kNamed);
}

// The operator tables of a server are its administrators' (its operators are logins):
// these run on SQLite.
class OperatorAdministrationTest : public SignInTest {
 protected:
  void SetUp() override {
    if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are logins";
  }
  host::OperatorAdministration administration{db.db(), "ADMIN", db.clock()};
};

TEST_F(OperatorAdministrationTest, NewOperatorsNeedAGoodCodeAndPassword) {
  const struct {
    const char *code, *password, *refusal;
  } added[] = {
      {"", kPassword, "the operator code is empty"},
      {" ROSA", kPassword, "an operator code has no blanks at its ends"},
      {"RO\tSA", kPassword, "an operator code has no control characters"},
      {"CAPTURA", kPassword, "the operator CAPTURA exists already"},
      {"ROSA", "siete77", "La contraseña debe tener al menos 8 caracteres"},
      {"ROSA", "año años", "no error"},  // eight characters, ten bytes
  };
  for (const auto& [code, password, refusal] : added)
    EXPECT_EQ(Refusal([&] { administration.Add(code, "Rosa", password); }), refusal) << code;
  EXPECT_TRUE(Attempt("ROSA", "año años").signed_in);
  administration.ChangePassword("ROSA", "otra clave");
  EXPECT_EQ(Attempt("ROSA", "año años").refusal, kWrong);
  EXPECT_TRUE(Attempt("ROSA", "otra clave").signed_in);
  EXPECT_THAT(Notes(), ::testing::IsSupersetOf({"ROSA: Alta del operador por ADMIN",
                                                "ROSA: Contraseña cambiada por ADMIN"}));
}

// Another administrator may revoke or lock one after it signed in: each change asks again,
// under the write lock, and one refused changes nothing.
TEST_F(OperatorAdministrationTest, AChangeAsksAgainWhetherItsAdministratorStillIsOne) {
  administration.Grant("CAPTURA", "SISTEMA", "OPERADORES");
  host::OperatorAdministration second(db.db(), "CAPTURA", db.clock());
  second.CheckEachChange([&] { host::RequireAdministrator(db.db(), "CAPTURA"); });
  second.Add("ROSA", "Rosa", kPassword);
  administration.Lock("CAPTURA");
  EXPECT_EQ(Refusal([&] { second.Add("PACO", "Paco", kPassword); }),
            "CAPTURA has been locked by an administrator");
  administration.Unlock("CAPTURA");
  administration.Revoke("CAPTURA", "SISTEMA", "OPERADORES");
  EXPECT_EQ(Refusal([&] { second.Grant("ROSA", "NV407", "INISERV"); }),
            "CAPTURA may not administer operators: it does not hold SISTEMA/OPERADORES");
  EXPECT_FALSE(host::OperatorRecords(db.db()).Find("PACO"));
  EXPECT_FALSE(host::HostRecords(db.db()).HoldsPermission("ROSA", "NV407", "INISERV"));
}

// A lock or an unlock that would change nothing is refused, and leaves no note saying it
// was made: an operator not locked, or with failed attempts short of a lock or with its lock
// for them over, is not unlocked (nor its count of failures reset).
TEST_F(OperatorAdministrationTest, OnlyALockedOperatorIsUnlockedAndOnlyAnUnlockedOneLocked) {
  Notes();
  const std::string not_locked = "the operator CAPTURA is not locked";
  EXPECT_EQ(Refusal([&] { administration.Unlock("CAPTURA"); }), not_locked);
  for (int attempt = 1; attempt <= 3; ++attempt) Attempt("CAPTURA", "no");
  Notes();
  EXPECT_EQ(Refusal([&] { administration.Unlock("CAPTURA"); }), not_locked);
  EXPECT_EQ(host::OperatorRecords(db.db()).Find("CAPTURA")->failed_attempts, 3);
  for (int attempt = 4; attempt <= 5; ++attempt) Attempt("CAPTURA", "no");
  db.SetNow(Date::FromYmd(2024, 3, 15, 10, 46, 0));  // the quarter of an hour is over
  Notes();
  EXPECT_EQ(Refusal([&] { administration.Unlock("CAPTURA"); }), not_locked);
  EXPECT_THAT(Notes(), ::testing::IsEmpty());

  administration.Lock("CAPTURA");
  EXPECT_EQ(Refusal([&] { administration.Lock("CAPTURA"); }),
            "the operator CAPTURA is locked already");
  administration.Unlock("CAPTURA");
  EXPECT_EQ(Refusal([&] { administration.Unlock("CAPTURA"); }), not_locked);
  EXPECT_THAT(Notes(),
              ElementsAre("CAPTURA: Bloqueado por ADMIN", "CAPTURA: Desbloqueado por ADMIN"));
}

TEST_F(OperatorAdministrationTest, TheLastAdministratorKeepsItsPermissionAndCannotBeLocked) {
  administration.Grant("CAPTURA", "NV407", "INISERV");
  EXPECT_TRUE(host::HostRecords(db.db()).HoldsPermission("CAPTURA", "NV407", "INISERV"));
  EXPECT_EQ(Refusal([&] { administration.Grant("CAPTURA", "NV407", "INISERV"); }),
            "the operator CAPTURA holds NV407/INISERV already");
  EXPECT_EQ(Refusal([&] { administration.Revoke("CAPTURA", "NV407", "CHFECHA"); }),
            "the operator CAPTURA does not hold NV407/CHFECHA");
  const std::string last = "El último administrador no puede perder el permiso SISTEMA/OPERADORES";
  const std::string locked =
      "No se puede bloquear al último administrador que puede iniciar sesión";
  EXPECT_EQ(Refusal([&] { administration.Revoke("ADMIN", "SISTEMA", "OPERADORES"); }), last);
  EXPECT_EQ(Refusal([&] { administration.Lock("ADMIN"); }), locked);
  // Nor can another client take it.
  for (const char* statement :
       {"DELETE FROM operator_permission WHERE module = 'SISTEMA'",
        "UPDATE operator_permission SET user_code = 'CAPTURA' WHERE module = 'SISTEMA'"})
    EXPECT_EQ(Refusal([&] { db.Execute(statement); }), last) << statement;

  // With a second administrator the first may go, but the one left unlocked stays.
  administration.Grant("CAPTURA", "SISTEMA", "OPERADORES");
  administration.Lock("ADMIN");
  EXPECT_EQ(Refusal([&] { administration.Lock("CAPTURA"); }), locked);
  administration.Revoke("ADMIN", "SISTEMA", "OPERADORES");
  EXPECT_EQ(Refusal([&] { administration.Revoke("CAPTURA", "SISTEMA", "OPERADORES"); }), last);
  // An administrator left locked, or one another tool named without its operator row, is
  // none who can sign in: the last one who can keeps the permission and the lock is refused.
  administration.Grant("ADMIN", "SISTEMA", "OPERADORES");
  EXPECT_EQ(Refusal([&] { administration.Revoke("CAPTURA", "SISTEMA", "OPERADORES"); }), last);
  db.Execute("PRAGMA foreign_keys = OFF");  // as the sqlite3 shell writes
  db.Execute("INSERT INTO operator_permission VALUES ('NADIE', 'SISTEMA', 'OPERADORES')");
  db.Execute("PRAGMA foreign_keys = ON");
  EXPECT_EQ(Refusal([&] { administration.Revoke("CAPTURA", "SISTEMA", "OPERADORES"); }), last);
  EXPECT_EQ(Refusal([&] { administration.Lock("CAPTURA"); }), locked);
  EXPECT_TRUE(host::HostRecords(db.db()).HoldsPermission("CAPTURA", "SISTEMA", "OPERADORES"));
  EXPECT_THAT(Notes(), ::testing::IsSupersetOf({"CAPTURA: Permiso NV407/INISERV otorgado por ADMIN",
                                                "ADMIN: Permiso SISTEMA/OPERADORES retirado por "
                                                "ADMIN"}));
}

}  // namespace
}  // namespace nv407::testing
