#include "host/programs/same_file.h"

#include <filesystem>
#include <system_error>

namespace nv407::host {
namespace {

namespace fs = std::filesystem;

// The files SQLite keeps beside a database, named after it.
constexpr const char* kSideSuffixes[] = {"-wal", "-shm", "-journal"};

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
  for (const char* suffix : kSideSuffixes) {
    if (SameFile(path, file + suffix))
      return file + suffix + ", which SQLite keeps beside the database";
  }
  return {};
}

std::string SideFileName(const std::string& path) {
  for (const std::string suffix : kSideSuffixes) {
    if (path.size() > suffix.size() && path.ends_with(suffix)) {
      return path + " is the name SQLite gives a file it keeps beside the database " +
             path.substr(0, path.size() - suffix.size());
    }
  }
  return {};
}

}  // namespace nv407::host
