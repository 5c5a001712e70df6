#include "host/programs/program_info.h"

#include "polizas_version.h"

namespace nv407::host {

std::string VersionLine(std::string_view program) {
  std::string line = std::string(program) + " " + POLIZAS_VERSION;
  const std::string_view revision = POLIZAS_REVISION;
  if (!revision.empty()) line += " (git " + std::string(revision) + ")";
  return line;
}

}  // namespace nv407::host
