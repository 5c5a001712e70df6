#pragma once

#include <optional>
#include <string>

#include "host/db/database.h"
#include "host/services/reference_host.h"

namespace nv407::host {

// The operator a program works as when none is named: the demo's, and a new database's
// first administrator.
inline constexpr const char* kDefaultOperator = "ADMIN";

// Raises an Error for an empty code, as a program refuses one given on its command line.
void RequireOperatorCode(const std::string& user_code);
// Only an operator of the database's `operator` table may work: the code goes into the
// audit columns and the record log. Raises an Error saying why otherwise.
void RequireOperator(Database& database, const std::string& user_code);

// What a program started without a window to ask in knows of its operator.
struct SignOnRequest {
  std::optional<std::string> user;      // named on its command line
  std::optional<std::string> password;  // from its environment or a file
  Clock clock;
};
// Who works in the program's session: on a server, the connection's login (which no other
// name may contradict, nor a pinned clock move the day of); where operators are named, the one
// named, which must be an operator; where they sign in, the one named once its password signs it
// in. Raises an Error saying why no one may work.
SessionSettings SignOn(Database& database, const SignOnRequest& request);
// Where operators sign in, a clock pinned on the command line is refused: it would set when
// a lock ends and the dates of what the operator writes (a policy dated as its operator
// likes). Pinned clocks are for the demonstrations and the tests, whose databases ask no one.
void RequireTheComputersClock(const Clock& clock);

}  // namespace nv407::host
