#include "host/db/sqlite_backup.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include "component/error.h"
#include "host/db/sqlite_handles.h"
#include "host/db/sqlite_location.h"

namespace nv407::host {
namespace {

namespace fs = std::filesystem;

// SQLite writes VACUUM INTO's file without syncing it; its name in its folder likewise.
void Sync(const fs::path& path, int open_flags) {
  const int fd = ::open(path.c_str(), open_flags | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw Error("cannot sync " + path.string() + " to the disk: " + std::strerror(error));
  }
  ::close(fd);
}

void SyncFolderOf(const fs::path& path) {
  Sync(path.has_parent_path() ? path.parent_path() : ".", O_RDONLY | O_DIRECTORY);
}

// The database file's read and write permissions: a copy is no easier to reach than the
// file it copies (the operators' password hashes among its rows). Only its owner's for a
// database with no file.
mode_t PermissionsOf(Database& source) {
  std::unique_ptr<Recordset> main =
      source.HostQuery("SELECT file FROM pragma_database_list WHERE name = 'main'", {});
  const std::string file = main->Eof() ? "" : main->Fields("file").Value().ToText();
  main->Close();
  struct stat status {};
  if (file.empty() || ::stat(file.c_str(), &status) != 0) return 0600;
  return status.st_mode & 0666;
}

Error AlreadyThere(const std::string& target) {
  return Error(target + " already exists; it was left as it is");
}

// The signals that end a program when asked to (a key, a shutdown, a closed terminal). While
// a copy is made they first remove it; kill -9 cannot be caught, and leaves the copy under
// its partial name.
constexpr std::array kEndingSignals = {SIGINT, SIGTERM, SIGHUP};

// The partial copy's files as the handler removes them: it may only use what was set before.
constexpr const char* kCompanions[] = {"", "-journal", "-wal", "-shm"};
char g_partial_files[std::size(kCompanions)][PATH_MAX + 16];
volatile std::sig_atomic_t g_partial_armed = 0;

extern "C" void RemovePartialCopyAndEnd(int signal) {
  if (g_partial_armed) {
    for (const char* file : g_partial_files) ::unlink(file);
  }
  // Then ends as the signal would have ended it (it is blocked until the handler returns).
  struct sigaction ending {};
  ending.sa_handler = SIG_DFL;
  ::sigaction(signal, &ending, nullptr);
  ::raise(signal);
}

// The ending signals held back while the copy's files change hands.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    ::sigemptyset(&held);
    for (const int signal : kEndingSignals) ::sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &before_);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_{};
};

// Renames `from` to `to` unless `to` exists; false when it does.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS) throw std::system_error(errno, std::generic_category());
  // A file system that cannot rename so (NFS): a second name made only where there is none.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  if (errno != EPERM && errno != EOPNOTSUPP)
    throw std::system_error(errno, std::generic_category());
  // Nor link (SMB): checked first, leaving only the moment between the check and the rename.
  struct stat there {};
  if (::lstat(to.c_str(), &there) == 0) return false;
  if (::rename(from.c_str(), to.c_str()) != 0)
    throw std::system_error(errno, std::generic_category());
  return true;
}

// The new file beside the target that a copy is made in until it is whole, named for what it
// is (TARGET.partial-XXXXXX): a copy cut short by a failure or an ending signal is removed,
// and one left by a program killed outright is neither taken for the backup nor in the way
// of the next one, which gets a name of its own.
class PartialCopy {
 public:
  // `mode`: the permissions the file is made with (less the umask).
  PartialCopy(const std::string& target, mode_t mode) {
    const SignalsHeld held;
    Claim(target, mode);
    for (std::size_t i = 0; i < std::size(kCompanions); ++i)
      std::strcpy(g_partial_files[i], (path_ + kCompanions[i]).c_str());
    g_partial_armed = 1;
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
      ::sigaction(kEndingSignals[i], nullptr, &before_[i]);
      if (before_[i].sa_handler == SIG_IGN) continue;  // left ignored (nohup)
      struct sigaction removing {};
      removing.sa_handler = RemovePartialCopyAndEnd;
      ::sigemptyset(&removing.sa_mask);
      ::sigaction(kEndingSignals[i], &removing, nullptr);
    }
  }
  PartialCopy(const PartialCopy&) = delete;
  PartialCopy& operator=(const PartialCopy&) = delete;

  ~PartialCopy() {
    const SignalsHeld held;
    if (!placed_) {
      std::error_code ignored;
      for (const char* companion : kCompanions) fs::remove(path_ + companion, ignored);
    }
    g_partial_armed = 0;
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i)
      ::sigaction(kEndingSignals[i], &before_[i], nullptr);
  }

  const std::string& path() const { return path_; }

  // Gives the copy the target's name, which no file may have taken meanwhile.
  void PutInPlace(const std::string& target) {
    const SignalsHeld held;
    // The rename makes it the backup: asked last before it, the copy removed if refused.
    sqlite::RefuseFilesLeftBeside(target);
    try {
      if (!RenameWithoutReplacing(path_, target)) throw AlreadyThere(target);
    } catch (const std::system_error& failure) {
      throw Error("cannot name the copy " + target + ": " + failure.code().message());
    }
    placed_ = true;
    g_partial_armed = 0;
  }

 private:
  void Claim(const std::string& target, mode_t mode) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = target + ".partial-";
      for (int i = 0; i < 6; ++i) path_ += kLetters[letter(random)];
      if (path_.size() + std::strlen("-journal") >= sizeof g_partial_files[0])
        throw Error("cannot create " + target + ": " + std::strerror(ENAMETOOLONG));
      const int claimed = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (claimed >= 0) {
        ::close(claimed);
        return;
      }
      if (errno != EEXIST)
        throw Error("cannot create " + path_ + " for the copy: " + std::strerror(errno));
    }
    throw Error("cannot create " + target +
                ".partial-XXXXXX for the copy: every name tried is taken");
  }

  std::string path_;
  bool placed_ = false;
  std::array<struct sigaction, kEndingSignals.size()> before_{};
};

}  // namespace

void BackUpSqliteDatabase(Database& source, const std::string& target,
                          const std::function<void(const std::string& copy)>& read_back) {
  // Refused before the copy is made; checked again as the copy is put in place.
  if (std::error_code none; fs::exists(fs::symlink_status(target, none)))
    throw AlreadyThere(target);
  sqlite::RefuseFilesLeftBeside(target);
  PartialCopy copy(target, PermissionsOf(source));
  // Into the file claimed, whatever its name; SQLite copies into an empty file as into a new
  // one.
  source.HostQuery("VACUUM INTO ?", {sqlite::FileName(copy.path())})->Close();
  Sync(copy.path(), O_RDONLY);
  if (read_back) read_back(copy.path());
  copy.PutInPlace(target);
  try {
    SyncFolderOf(target);
  } catch (const Error&) {
    std::error_code ignored;
    fs::remove(target, ignored);  // a name that may not last is no backup
    throw;
  }
}

}  // namespace nv407::host
