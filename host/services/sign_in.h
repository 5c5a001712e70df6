#pragma once

#include <string>

#include "component/date.h"
#include "host/db/database.h"
#include "host/services/clock.h"
#include "host/services/operator_records.h"

namespace nv407::host {

// How a database knows who is working.
enum class SignInMode {
  // Whoever starts the program names the operator, unproven: a database marked "no
  // sign-in" (the demo), or a server session of the database's administrators.
  kNamed,
  // An operator of the database proves who it is with its password.
  kPassword,
  // A server database: the connection's login is the operator.
  kLogin,
};

struct SessionAccess {
  SignInMode mode = SignInMode::kNamed;
  std::string login;  // kLogin: the operator
};

// Whether a database file keeps operators' passwords: one made before they had them gains
// them when first opened for writing.
bool HoldsPasswords(Database& database);

// How the database knows who works in this session. Raises an Error (one line) for a
// server login that is not granted the screen.
SessionAccess ReadSessionAccess(Database& database);

struct SignInResult {
  bool signed_in = false;
  std::string refusal;  // in Spanish, for the operator
  std::string user;     // signed in: the operator's code
};

// Signs operators in with their passwords. Five failed attempts in a row lock an operator
// for fifteen minutes (kept in UTC, whatever zone a program runs in); a success starts the
// count again. Every sign-in,
// failure and lock is a note in the record log, on the operator's code in table
// "operator". On a database that cannot be written the password is still checked, but
// nothing is counted or noted. An attempt that cannot take its turn while another program
// writes the database is refused, counting nothing, and says so. No code begins or ends
// with a blank: the blanks at the ends of a typed code are dropped before it is looked up.
class PasswordSignIn {
 public:
  static constexpr int kAttempts = 5;
  static constexpr int kLockMinutes = 15;

  PasswordSignIn(Database& database, Clock clock);
  SignInResult Attempt(const std::string& user, const std::string& password);

 private:
  SignInResult AttemptInTurn(const std::string& user, const std::string& password);
  ClockReading Now() const;
  SignInResult Failed(const std::string& user, const OperatorRow& row, const ClockReading& now);
  void Note(const std::string& user, const std::string& note, const Date& now);

  Database& database_;
  Clock clock_;
};

// The record log's table for notes on operators.
inline constexpr const char* kOperatorTable = "operator";

}  // namespace nv407::host
