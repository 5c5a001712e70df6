#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace nv407::host {

// A command line polizas-db cannot act on; it prints the problem and the usage.
struct DbUsageError {
  std::string problem;
};

// polizas-db operator ACTION PATH ...: the arguments after "operator". Passwords not given
// in a file or the environment are read from `input`. Returns the exit status; raises
// DbUsageError for a bad command line.
int RunOperatorCommand(const std::vector<std::string>& args, std::istream& input, std::ostream& out,
                       std::ostream& err);

// Where users other than its owner and its group may read the database file at `path`,
// which holds password hashes or is about to: takes their permissions away and says so,
// naming the file and its new mode ("" where they could not read it). Throws Error where
// this user may not.
std::string KeepPasswordHashesFromOthers(const std::string& path);

// The usage lines of the operator commands, for polizas-db's usage text.
extern const char* const kOperatorUsage;

}  // namespace nv407::host
