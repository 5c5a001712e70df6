#include "host/services/operators.h"

#include "component/error.h"
#include "host/db/text.h"
#include "host/services/host_records.h"
#include "host/services/password_input.h"
#include "host/services/sign_in.h"

namespace nv407::host {
namespace {

// Enough of a code to recognise it in a message that must stay one line.
std::string Shown(const std::string& code) {
  constexpr int kLongest = 40;
  const std::string marked = ControlsMarked(code, "?");
  const std::string shown = FirstCharacters(marked, kLongest);
  return "\"" + shown + (shown.size() < marked.size() ? "...\"" : "\"");
}

void RefusePinnedClock(const Clock& clock, const std::string& whose) {
  if (clock) {
    throw Error("--clock is for databases whose operators do not sign in: this one goes by " +
                whose + " clock");
  }
}

}  // namespace

void RequireOperatorCode(const std::string& user_code) {
  if (user_code.empty()) throw Error("no operator given: the operator code is empty");
}

void RequireOperator(Database& database, const std::string& user_code) {
  RequireOperatorCode(user_code);
  if (!HostRecords(database).OperatorExists(user_code)) {
    throw Error("unknown operator " + Shown(user_code) +
                ": only an operator of the database's operator table may work");
  }
}

void RequireTheComputersClock(const Clock& clock) {
  RefusePinnedClock(clock, "the computer's");
}

SessionSettings SignOn(Database& database, const SignOnRequest& request) {
  // No code begins or ends with a blank: a code given with one still names its operator.
  std::optional<std::string> named;
  if (request.user) named = std::string(WithoutBlanksAtEnds(*request.user));
  const SessionAccess access = ReadSessionAccess(database);
  if (access.mode == SignInMode::kLogin) {
    if (named && *named != access.login) {
      throw Error("on this server database the operator is the connection's login, " +
                  Shown(access.login) + ", not " + Shown(*named));
    }
    // The server refuses a policy dated other than its day, but the screen would propose it.
    RefusePinnedClock(request.clock, "the server's");
    return SessionSettings{access.login, request.clock, nullptr, SignInMode::kLogin};
  }
  const std::string user = named.value_or(kDefaultOperator);
  // Said in the program's words rather than the sign-in dialog's prompt.
  RequireOperatorCode(user);
  if (access.mode == SignInMode::kNamed) {
    RequireOperator(database, user);
    return SessionSettings{user, request.clock, nullptr, SignInMode::kNamed};
  }
  RequireTheComputersClock(request.clock);
  if (!request.password) {
    throw Error("the operators of this database sign in: give the password of " + Shown(user) +
                " in the environment variable " + kPasswordVariable +
                " or with --password-file FILE");
  }
  const SignInResult result =
      PasswordSignIn(database, request.clock).Attempt(user, *request.password);
  if (!result.signed_in) throw Error("sign-in refused: " + result.refusal);
  return SessionSettings{user, request.clock, nullptr, SignInMode::kPassword};
}

}  // namespace nv407::host
