#include "host/db/sqlite_backup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "component/error.h"
#include "host/db/sqlite_handles.h"

namespace nv407::host {
namespace {

// SQLite writes VACUUM INTO's file without syncing it; its name in its folder likewise.
void Sync(const std::filesystem::path& path, int open_flags) {
  const int fd = ::open(path.c_str(), open_flags | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw Error("cannot sync " + path.string() + " to the disk: " + std::strerror(error));
  }
  ::close(fd);
}

}  // namespace

void BackUpSqliteDatabase(Database& source, const std::string& target) {
  // Claimed empty first, so that no other file is ever written over or removed here; SQLite
  // copies into an empty file as into a new one.
  const int claimed = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (claimed < 0) {
    const int error = errno;
    if (error == EEXIST) throw Error(target + " already exists; it was left as it is");
    throw Error("cannot create " + target + ": " + std::strerror(error));
  }
  ::close(claimed);
  const std::filesystem::path path(target);
  try {
    // Into the file claimed, whatever its name.
    source.HostQuery("VACUUM INTO ?", {sqlite::FileName(target)})->Close();
    Sync(path, O_RDONLY);
    Sync(path.has_parent_path() ? path.parent_path() : ".", O_RDONLY | O_DIRECTORY);
  } catch (const Error&) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::filesystem::remove(target + "-journal", ignored);
    throw;
  }
}

}  // namespace nv407::host
