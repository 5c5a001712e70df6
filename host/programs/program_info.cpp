#include "host/programs/program_info.h"

#include <cerrno>
#include <cstring>

#include "polizas_version.h"

namespace nv407::host {

std::string VersionLine(std::string_view program) {
  std::string line = std::string(program) + " " + POLIZAS_VERSION;
  const std::string_view revision = POLIZAS_REVISION;
  if (!revision.empty()) line += " (git " + std::string(revision) + ")";
  return line;
}

bool AnsweredHelpOrVersion(const std::vector<std::string>& args, std::string_view program,
                           std::string_view usage, std::ostream& out) {
  if (args.size() != 1) return false;
  if (args[0] == "--help")
    out << usage;
  else if (args[0] == "--version")
    out << VersionLine(program) << "\n";
  else
    return false;
  return true;
}

std::string OutputFailure(std::ostream& out) {
  // A stream already failed keeps the errno of the write that failed it.
  if (out.good()) {
    errno = 0;
    out.flush();
    if (out.good()) return {};
  }
  return errno != 0 ? std::strerror(errno) : "the write failed";
}

int EndStatus(std::string_view program, int status, int lost, std::ostream& out,
              std::ostream& err) {
  if (status != 0) return status;
  const std::string why = OutputFailure(out);
  if (why.empty()) return 0;
  err << program << ": cannot write the output: " << why << "\n";
  return lost;
}

}  // namespace nv407::host
