#include "host/db/sqlite_location.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>

#include "component/error.h"

namespace nv407::host::sqlite {
namespace {

namespace fs = std::filesystem;

enum class Folder { kWritable, kReadOnlyFileSystem, kClosed };

constexpr const char* kOnAReadOnlyFileSystem = "it lies on a read-only file system";

Folder FolderOf(const fs::path& file) {
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return Folder::kWritable;
  struct statvfs system {};
  if (::statvfs(folder.c_str(), &system) == 0 && (system.f_flag & ST_RDONLY) != 0)
    return Folder::kReadOnlyFileSystem;
  return Folder::kClosed;
}

// A file there that this user cannot write.
bool CannotBeWritten(const std::string& file) {
  return ::access(file.c_str(), F_OK) == 0 && ::access(file.c_str(), W_OK) != 0;
}

// What is there when it is not a plain file ("a folder", "a device", ...), or "". SQLite
// would open a device such as /dev/null as an empty database.
std::string NotAFile(const fs::path& file) {
  std::error_code unknown;
  const fs::file_status status = fs::status(file, unknown);
  if (unknown) return {};  // missing or out of reach: SQLite says so
  switch (status.type()) {
    case fs::file_type::directory:
      return "a folder";
    case fs::file_type::character:
    case fs::file_type::block:
      return "a device";
    case fs::file_type::fifo:
      return "a pipe";
    case fs::file_type::socket:
      return "a socket";
    default:
      return {};
  }
}

// A log or an index that this user's own session made while the file could not be written:
// SQLite gives them the file's permissions as it makes them, and a session that only read
// leaves them there, write-protected still once the file is not. They get the file's
// permissions again, as SQLite would make them now. Another user's are left as they are.
void FollowTheFilesPermissions(const std::string& file, const std::string& left) {
  struct stat database = {};
  struct stat side = {};
  if (::stat(file.c_str(), &database) != 0 || ::lstat(left.c_str(), &side) != 0) return;
  if (!S_ISREG(side.st_mode) || side.st_nlink != 1 || side.st_uid != ::geteuid()) return;
  // Never through a link, which SQLite does not open either; a failure leaves it as it was.
  ::fchmodat(AT_FDCWD, left.c_str(), database.st_mode & 0777, AT_SYMLINK_NOFOLLOW);
}

bool IsAsciiUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~/").find(c) != std::string_view::npos;
}

// Every byte of the absolute path but the plain ones written %HH, as SQLite reads URIs.
std::string ImmutableUri(const fs::path& file) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const char c : fs::absolute(file).string()) {
    if (IsAsciiUnreserved(c)) {
      uri += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      uri += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return uri + "?immutable=1";
}

// Where SQLite keeps the files beside the file `path` names: beside the file a link leads to.
fs::path Resolved(const std::string& path) {
  std::error_code unresolved;
  fs::path file = fs::canonical(path, unresolved);
  return unresolved ? fs::path(path) : file;
}

// Whether the file's header says it keeps a log (write and read versions 2).
bool KeepsALog(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char versions[2] = {};
  return in.seekg(18) && in.read(versions, 2) && versions[0] == 2 && versions[1] == 2;
}

// What SQLite keeps in the file named after a database with `suffix`.
const char* SideFileKind(std::string_view suffix) {
  if (suffix == "-wal") return "the log";
  if (suffix == "-shm") return "the log's index";
  return "the journal";
}

// The database whose file `path` names as one SQLite keeps beside it, and that file's kind;
// none for any other name.
std::optional<std::pair<std::string, const char*>> SideFileOf(const std::string& path) {
  for (const std::string_view suffix : kSideSuffixes) {
    if (path.size() > suffix.size() && path.ends_with(suffix))
      return std::pair(path.substr(0, path.size() - suffix.size()), SideFileKind(suffix));
  }
  return std::nullopt;
}

}  // namespace

std::string SideFileName(const std::string& path) {
  const auto side = SideFileOf(path);
  if (!side) return {};
  return path + " is the name SQLite gives " + side->second + " it keeps beside the database " +
         side->first;
}

void RefuseFilesLeftBeside(const std::string& path) {
  std::vector<std::string> left;
  for (const char* suffix : kSideSuffixes) {
    if (std::error_code none; fs::exists(fs::symlink_status(path + suffix, none)))
      left.push_back(path + suffix);
  }
  if (left.empty()) return;
  std::string listed;
  for (std::size_t i = 0; i < left.size(); ++i)
    listed += (i == 0 ? "" : i + 1 == left.size() ? " and " : ", ") + left[i];
  throw Error(listed + (left.size() == 1 ? " is" : " are") + " beside " + path +
              ", where a program has (or had) a database of that name open: SQLite would take " +
              (left.size() == 1 ? "it" : "them") +
              " for the new file's own. Nothing was written: name another file, or remove " +
              (left.size() == 1 ? "it" : "them") +
              " once no program has a database of that name open (also one renamed since)");
}

void RefuseASideFileName(const std::string& path) {
  const auto side = SideFileOf(path);
  if (!side) return;
  throw Error(SideFileName(path) + ", not a database: name " + side->first +
              " instead, and leave " + path + " where it is, as SQLite needs it beside " +
              side->first);
}

std::vector<std::string> FilesAReadingWouldLeave(const std::string& path) {
  const fs::path file = Resolved(path);
  const std::string beside = file.string(), name = file.filename().string();
  if (::access(beside.c_str(), W_OK) == 0 || FolderOf(file) != Folder::kWritable) return {};
  if (std::error_code none; fs::exists(fs::symlink_status(beside + "-shm", none))) return {};
  if (!KeepsALog(file)) return {};
  std::vector<std::string> left;
  for (const char* side : {"-wal", "-shm"}) {
    if (std::error_code none; !fs::exists(fs::symlink_status(beside + side, none)))
      left.push_back(name + side);
  }
  return left;
}

std::optional<mode_t> KeepFromOthers(const std::string& path, bool asking) {
  const fs::path file = Resolved(path);
  const std::string beside = file.string();
  const auto refused = [&](int error) {
    return Error("users other than its owner and its group may read " + path +
                 ", where password hashes are kept: this user cannot take their permissions away "
                 "(" +
                 std::string(std::strerror(error)) + "); its owner can, with chmod o-rwx " + path);
  };
  struct stat status = {};
  std::optional<mode_t> kept;
  // Asking, each file is given the permissions it has: only its owner may, as for others.
  const mode_t keep = asking ? 07777 : 07770;
  if (::stat(beside.c_str(), &status) == 0 && (status.st_mode & S_IROTH) != 0) {
    kept = status.st_mode & keep;
    if (::chmod(beside.c_str(), *kept) != 0) throw refused(errno);
  }
  // The hash passes through the log (or the journal), which another program may keep open
  // under these permissions; the index holds no rows. Never through a link, which SQLite does
  // not open either.
  for (const char* side : {"-wal", "-journal", "-shm"}) {
    struct stat kept_beside = {};
    const std::string left = beside + side;
    if (::lstat(left.c_str(), &kept_beside) != 0 || !S_ISREG(kept_beside.st_mode) ||
        (kept_beside.st_mode & S_IRWXO) == 0)
      continue;
    if (::fchmodat(AT_FDCWD, left.c_str(), kept_beside.st_mode & keep, AT_SYMLINK_NOFOLLOW) != 0 &&
        std::string_view(side) != "-shm")
      throw refused(errno);
  }
  return asking ? std::nullopt : kept;
}

OpenTarget OpenTargetFor(const std::string& path, int flags) {
  // SQLite keeps the log beside the file a link leads to.
  const fs::path file = Resolved(path);
  const std::string beside = file.string(), name = file.filename().string();
  if (const std::string kind = NotAFile(file); !kind.empty())
    throw Error(path + " is " + kind + ", not a database file");
  const Folder folder = FolderOf(file);
  // SQLite names the log after the name a file was opened by: two programs opening one file
  // by two names would each write a log of its own, and the later one folded into the file
  // would undo what the other one saved. (On a read-only file system nobody writes.)
  if (std::error_code none;
      fs::hard_link_count(file, none) > 1 && !none && folder != Folder::kReadOnlyFileSystem) {
    throw Error(path + " has other names (hard links to the same file), and SQLite keeps the " +
                "database's log by name: programs opening it by different names would lose " +
                "each other's saves. Keep one name (find the others with find -samefile)");
  }
  switch (folder) {
    case Folder::kWritable: {
      const bool file_writable = ::access(beside.c_str(), W_OK) == 0;
      if (file_writable) {
        for (const std::string& left : {beside + "-shm", beside + "-wal"})
          if (CannotBeWritten(left)) FollowTheFilesPermissions(beside, left);
      }
      // A log or an index there (another program has the database open, or one left them)
      // that this user cannot write: SQLite would read through them and fail every save. A
      // write-protected file is the reason first: SQLite says so of it.
      for (const char* side : {"-shm", "-wal"}) {
        if (!CannotBeWritten(beside + side)) continue;
        std::string because;
        if (file_writable) {
          because = name + side +
                    " beside it cannot be written by this user (another user's program keeps "
                    "it, or left it)";
        }
        return {path,
                (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY,
                std::move(because)};
      }
      return {path, flags};
    }
    case Folder::kReadOnlyFileSystem:
      // An index there: SQLite reads the log through it.
      if (fs::exists(beside + "-shm")) return {path, flags, kOnAReadOnlyFileSystem};
      if (std::error_code none; fs::file_size(beside + "-wal", none) > 0 && !none) {
        throw Error(path + " lies on a read-only file system beside a log (" + name +
                    "-wal) that SQLite cannot read without its index: copy both to a folder "
                    "that can be written");
      }
      return {ImmutableUri(file), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
              kOnAReadOnlyFileSystem};
    case Folder::kClosed:
      break;
  }
  // Even beside an index another program left or keeps: SQLite could not make its log here.
  throw Error("the folder of " + path + " cannot be written, and SQLite keeps the database's log " +
              "beside it (" + name + "-wal, " + name + "-shm): its users need the right to " +
              "create files in that folder");
}

void RefuseAMovedFile(sqlite3* db) {
  int moved = 0;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK || !moved)
    return;
  throw Error(std::string("the database file ") + sqlite3_db_filename(db, "main") +
              " was removed or replaced after this program opened it; nothing was written: "
              "close the program and open the database again");
}

}  // namespace nv407::host::sqlite
