#pragma once

#include <string>
#include <string_view>

namespace nv407::host {

// What --version prints: "polizas-db 0.2.0 (git 1a2b3c4)", without the revision when the
// program was not built from a git checkout.
std::string VersionLine(std::string_view program);

}  // namespace nv407::host
