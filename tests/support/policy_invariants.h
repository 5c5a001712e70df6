#pragma once

#include <string>
#include <vector>

#include "component/database.h"
#include "tests/support/result_text.h"

namespace nv407::testing {

// What holds of the policies in a database that only the screen has written (every folio
// issued by the host's series, the catalogues unchanged since), whatever happened to the
// programs that wrote it: killed, refused, or racing each other. Each entry names a rule
// that is broken, with the rows that break it; none when all hold. Plain SQL, so that
// every dialect can be checked.
std::vector<std::string> BrokenPolicyRules(Connection& sql);

// SQLite's own checks of a database file (integrity_check, foreign_key_check): what they
// report, none when the file is sound.
std::vector<std::string> SqliteFileProblems(Connection& sql);

}  // namespace nv407::testing
