#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace nv407::host {

// What --version prints: "polizas-db 0.2.0 (git 1a2b3c4)", without the revision when the
// program was not built from a git checkout.
std::string VersionLine(std::string_view program);

// "--help" or "--version" given alone: writes the usage or the version line and answers
// true, as every program does; false for any other command line.
bool AnsweredHelpOrVersion(const std::vector<std::string>& args, std::string_view program,
                           std::string_view usage, std::ostream& out);

// Flushes `out` and answers why what was written to it did not all reach it (a full disk, a
// file over its quota: "No space left on device"); empty when it did. A program whose output
// is cut must not end as if it were whole.
std::string OutputFailure(std::ostream& out);

// What a program ends with: `status`, but `lost` (the program's status for output it lost)
// when it would end well and what it wrote to `out` did not all reach it, which it says on
// `err` ("polizas-db: cannot write the output: ..."). A program that fails already said why.
int EndStatus(std::string_view program, int status, int lost, std::ostream& out, std::ostream& err);

}  // namespace nv407::host
