#include "host/services/operator_admin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "component/error.h"
#include "host/services/operator_records.h"
#include "host/services/password.h"
#include "host/services/sign_in.h"
#include "support/result_text.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

constexpr const char* kPassword = "clave de Rosa";

std::string Repeated(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

// The demo's operators, ADMIN and CAPTURA among them. (A server's operators are its
// logins: these run on SQLite.)
class OperatorAdministrationRules : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are logins";
  }
  std::vector<std::string> Codes() {
    std::vector<std::string> codes;
    for (const host::OperatorRow& row : host::OperatorRecords(db.db()).All())
      codes.push_back(row.code);
    return codes;
  }

  TestDatabase db;
  host::OperatorAdministration administration{db.db(), "ADMIN", db.clock()};
};

constexpr const char* kUnseen =
    "an operator code has no invisible characters nor accents apart from their letter: write Ñ "
    "as one letter";

// A code is read as the people who list operators and read the notes read it: in
// characters, with no blank they cannot see at its ends, and one operator whatever the
// case of its letters.
TEST_F(OperatorAdministrationRules, ACodeIsCheckedAsTheCharactersItShows) {
  const std::string forty = Repeated("Ñ", 40);
  const struct {
    std::string code, refusal;
  } added[] = {
      {forty, "no error"},  // 40 characters, 80 bytes
      {Repeated("Ñ", 61), "an operator code has at most 60 characters"},
      {"ADMIN\u00A0", "an operator code has no blanks at its ends"},
      {"\u2003ROSA", "an operator code has no blanks at its ends"},
      {"ROSA\u200B", "an operator code has no blanks at its ends"},
      {"\u3000ROSA", "an operator code has no blanks at its ends"},
      {"ROSA\uFEFF", "an operator code has no blanks at its ends"},
      {"ROSA MARÍA", "no error"},  // a blank within is the code's
      {"ADMIN\u2060", kUnseen},    // a word joiner
      {"\u200CCAPTURA", kUnseen},  // a zero-width non-joiner
      {"AD\u00ADMIN", kUnseen},    // a soft hyphen
      {"ADMIN\u200E", kUnseen},    // a mark of direction
      {"PEN\u0303A", kUnseen},     // N and a tilde apart: PEÑA to the eye
      {"PEÑA", "no error"},
      {"A\xff", "an operator code is UTF-8 text"},
      {"A\xC3", "an operator code is UTF-8 text"},
      {"A\xC1\x81", "an operator code is UTF-8 text"},  // 'A' written long
      {"RO\x7FSA", "an operator code has no control characters"},
      {"RO\u0085SA", "an operator code has no control characters"},
      {"admin", "the operator ADMIN exists already, in other letter case"},
      {"Captura", "the operator CAPTURA exists already, in other letter case"},
      {"ñoño", "no error"},
      {"ÑOÑO", "the operator ñoño exists already, in other letter case"},
  };
  for (const auto& [code, refusal] : added)
    EXPECT_EQ(Refusal([&] { administration.Add(code, "Rosa", kPassword); }), refusal) << code;
  EXPECT_THAT(Codes(), ::testing::UnorderedElementsAre("ADMIN", "CAPTURA", forty, "ROSA MARÍA",
                                                       "PEÑA", "ñoño"));
}

// A code is written in the letters the office's keyboards type: a letter of another script,
// or a sign drawn as a Latin letter, would list a second operator that reads as the first.
// A code stored before, by another tool, still signs in.
TEST_F(OperatorAdministrationRules, ACodeIsWrittenInLatinLettersThatLookLikeNoOther) {
  const auto beyond = [](const char* code_point) {
    return "an operator code holds " + std::string(code_point) +
           ": a code is written with ASCII letters, digits, spaces and punctuation and the "
           "other letters of Latin-1 (Á, Ñ, Ü, Ç...), so that no two codes look alike";
  };
  const struct {
    std::string code, refusal;
  } added[] = {
      {"KARLA", "no error"},
      {"\u212AARLA", beyond("U+212A")},  // KELVIN SIGN
      {"ÅNGEL", "no error"},
      {"\u212BNGEL", beyond("U+212B")},    // ANGSTROM SIGN
      {"ADM\u0406N", beyond("U+0406")},    // Cyrillic І
      {"\u0391DMIN", beyond("U+0391")},    // Greek Alpha
      {"\uFF23APTURA", beyond("U+FF23")},  // fullwidth C
      {"ROSA\u00A0MARÍA", beyond("U+00A0")},
      {"ŁUKASZ", beyond("U+0141")},
      {"3×4", beyond("U+00D7")},
      {"ROSA \U0001F600", beyond("U+1F600")},
      {"O'BRIEN-2 #3", "no error"},
      {"ÆSIR ÞÓR ßÿ", "no error"},
  };
  for (const auto& [code, refusal] : added)
    EXPECT_EQ(Refusal([&] { administration.Add(code, "", kPassword); }), refusal) << code;
  EXPECT_THAT(Codes(), ::testing::UnorderedElementsAre("ADMIN", "CAPTURA", "KARLA", "ÅNGEL",
                                                       "O'BRIEN-2 #3", "ÆSIR ÞÓR ßÿ"));

  host::OperatorRecords(db.db()).Add("\u212AARLA", "", host::HashPassword(kPassword));
  EXPECT_TRUE(host::PasswordSignIn(db.db(), db.clock()).Attempt("\u212AARLA", kPassword).signed_in);
}

// Another program adds an operator while this one hashes the new password: the code is
// checked against what that program wrote, whichever letter case it used, and the refusal
// says so rather than what the table's key said.
TEST(OperatorAdministrationAtOnceTest, ACodeAddedMeanwhileByAnotherProgramIsSeen) {
  if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are logins";
  using namespace std::chrono_literals;
  TestDatabase db(TestDatabase::Storage::kFile);
  const std::unique_ptr<host::Database> other = db.OpenAnotherSession();
  const std::string hash = host::HashPassword(kPassword);
  const struct {
    std::string held, added, refusal;
  } cases[] = {
      {"juan", "JUAN", "the operator juan exists already, in other letter case"},
      {"PEDRO", "PEDRO", "the operator PEDRO exists already"},
  };
  for (const auto& [held, added, refusal] : cases) {
    other->ForHost().BeginTrans();
    host::OperatorRecords(*other).Add(held, "", hash);
    std::string refused;
    std::thread adding([&, added = added] {
      host::OperatorAdministration administration(db.db(), "ADMIN", db.clock());
      refused = Refusal([&] { administration.Add(added, "", kPassword); });
    });
    std::this_thread::sleep_for(300ms);  // past any look at the codes made before the lock
    other->ForHost().CommitTrans();
    adding.join();
    EXPECT_EQ(refused, refusal) << added;
  }
  EXPECT_EQ(db.Count("operator", "user_code IN ('juan', 'JUAN', 'PEDRO')"), 2);
}

// A name is listed after its code on one line: a line break in it would list a second
// operator that is not there.
TEST_F(OperatorAdministrationRules, ANameIsOneLineOfText) {
  const struct {
    std::string name, refusal;
  } added[] = {
      {"Paco\nFALSO: SISTEMA/OPERADORES", "an operator name has no control characters"},
      {"Paco\r", "an operator name has no control characters"},
      {"Paco\x1b[2J", "an operator name has no control characters"},
      {"Paco\u2028FALSO", "an operator name is on one line"},
      {"Pe\xf1"
       "a",
       "an operator name is UTF-8 text"},
      {"Francisco Peña", "no error"},
  };
  for (const auto& [name, refusal] : added)
    EXPECT_EQ(Refusal([&] { administration.Add("PACO", name, kPassword); }), refusal) << name;
  EXPECT_EQ(host::OperatorRecords(db.db()).Find("PACO")->name, "Francisco Peña");
}

// A password the window's sign-in could never send again is refused rather than kept for an
// operator who then cannot sign in there: from a file saved in Latin-1 (the window sends
// UTF-8), or with an accent written apart from its letter (the window sends ñ as one).
TEST_F(OperatorAdministrationRules, ANewPasswordIsTextTheWindowSendsAlike) {
  const auto apart = [](const char* code_point) {
    return "La contraseña no puede llevar un acento ni otro signo escrito aparte de su letra (" +
           std::string(code_point) +
           "): escriba la letra acentuada como una sola, que es como la envía la ventana al "
           "iniciar sesión";
  };
  const struct {
    std::string password, refusal;
  } passwords[] = {
      {"contrase\xf1"
       "a1",
       "La contraseña debe ser texto UTF-8, como la envía la ventana al iniciar sesión"},
      {"contrasen\u0303a1", apart("U+0303")},
      {"Ene\u0301rgico ya", apart("U+0301")},
  };
  for (const auto& [password, refusal] : passwords) {
    EXPECT_EQ(Refusal([&] { administration.Add("ROSA", "Rosa", password); }), refusal);
    EXPECT_EQ(Refusal([&] { administration.ChangePassword("CAPTURA", password); }), refusal);
  }
  EXPECT_EQ(Refusal([&] { administration.Add("ROSA", "Rosa", "contraseña1"); }), "no error");
}

}  // namespace
}  // namespace nv407::testing
