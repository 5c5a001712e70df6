#include "host/programs/same_file.h"

#include <filesystem>
#include <system_error>

#include "host/db/sqlite_location.h"

namespace nv407::host {
namespace {

namespace fs = std::filesystem;

// Where a file opened by `path` is: its symbolic links followed, also one that leads to no
// file yet (opening it for writing would create that file).
fs::path Resolved(const fs::path& path) {
  fs::path at = path;
  for (int hops = 0; hops < 40; ++hops) {  // the system's limit on a chain of links
    std::error_code none;
    if (!fs::is_symlink(fs::symlink_status(at, none))) break;
    const fs::path target = fs::read_symlink(at, none);
    if (none) break;
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  std::error_code none;
  fs::path resolved = fs::weakly_canonical(fs::absolute(at, none), none);
  return none ? at : resolved;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code none;
  if (fs::equivalent(a, b, none) && !none) return true;
  return Resolved(a) == Resolved(b);
}

std::string DatabaseFileAt(const std::string& path, const std::string& database) {
  if (SameFile(path, database)) return "the database " + database;
  // SQLite names them after the file a link leads to.
  const std::string file = Resolved(database).string();
  for (const char* suffix : sqlite::kSideSuffixes) {
    if (SameFile(path, file + suffix))
      return file + suffix + ", which SQLite keeps beside the database";
  }
  return {};
}

}  // namespace nv407::host
