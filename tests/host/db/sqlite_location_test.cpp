// Databases in folders that cannot take SQLite's log: each case runs in a child process,
// as another user or in a mount namespace of its own, so nothing of it outlives the test.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "component/date.h"
#include "component/error.h"
#include "host/db/database.h"
#include "support/in_child.h"

namespace nv407::host {
namespace {

namespace fs = std::filesystem;
using testing::InChild;

// What opening the file says: how it opened and how many policies it holds, or why not.
std::string Opening(const std::string& path) {
  std::unique_ptr<Database> database = OpenSqliteDatabase(path);
  auto count = database->ForHost().Execute("SELECT COUNT(*) AS n FROM Poliza_Servicio");
  return std::string(database->ReadOnly() ? "for reading" : "for writing") + ", " +
         count->Fields("n").Value().ToText() + " policies";
}

std::string FileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Folder {
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "polizas-location-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder");
    path = pattern;
    fs::permissions(path, fs::perms::all);  // another user reaches what is inside
    std::unique_ptr<Database> made = OpenSqliteDatabase(File(), {.create = true});
    CreateSchema(made->ForHost(), SqlDialect::kSqlite);
    LoadDemoData(made->ForHost());
    LoadDemoPolicies(made->ForHost(), Date::FromYmd(2024, 3, 15));
  }
  ~Folder() {
    fs::permissions(path, fs::perms::all);
    fs::remove_all(path);
  }
  std::string File() const { return (path / "polizas.db").string(); }
  fs::path path;
};

// In a child process: a file system of `kilobytes` mounted at `mount_point`, in a mount
// namespace of the child's own, holding `bytes` as polizas.db; its path, or nothing where
// the machine lets no test mount.
std::optional<std::string> CopyOnAFileSystemOfItsOwn(const fs::path& mount_point,
                                                     const std::string& bytes,
                                                     std::size_t kilobytes) {
  const std::string size = "size=" + std::to_string(kilobytes) + "k";
  if (!testing::InMountNamespaceOfItsOwn() ||
      ::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, size.c_str()) != 0)
    return std::nullopt;
  const std::string copy = (mount_point / "polizas.db").string();
  std::ofstream(copy, std::ios::binary) << bytes;
  return copy;
}

// What `run` says run as the user nobody, in a child process: root writes and creates files
// anywhere, nobody cannot.
std::string AsNobody(const std::function<std::string()>& run) {
  return InChild([&] {
    if (::geteuid() == 0) {
      const passwd* nobody = ::getpwnam("nobody");
      if (!nobody || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
        return std::string("cannot become nobody");
    }
    return run();
  });
}

// Where another user may write the file but not create files beside it, nothing opens:
// SQLite could not keep its log there, and the refusal says so rather than SQLite's
// "attempt to write a readonly database".
TEST(SqliteLocation, AFolderThatCannotTakeTheLogIsRefusedSayingSo) {
  Folder folder;
  fs::permissions(folder.File(), fs::perms::all);
  fs::permissions(folder.path, fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  const std::string said = AsNobody([&] { return Opening(folder.File()); });
  EXPECT_EQ(said, "refused: the folder of " + folder.File() +
                      " cannot be written, and SQLite keeps the database's log beside it "
                      "(polizas.db-wal, polizas.db-shm): its users need the right to create "
                      "files in that folder");
  EXPECT_FALSE(fs::exists(folder.File() + "-wal"));
}

// A file another user may not read is refused with the cause, which SQLite leaves out (it
// says only "unable to open database file"), whatever the opening is for.
TEST(SqliteLocation, AFileTheUserMayNotReadIsRefusedWithTheCause) {
  Folder folder;
  fs::permissions(folder.File(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string cause = " (" + folder.File() + ": Permission denied)";
  for (const bool only_reads : {false, true}) {
    const std::string said = AsNobody([&] {
      OpenSqliteDatabase(folder.File(), {.only_reads = only_reads});
      return std::string("opened");
    });
    EXPECT_TRUE(said.starts_with("refused: " + folder.File() + ": ") && said.ends_with(cause))
        << said;
  }
}

// A log and an index that another user's program left beside a file this user may write
// (after a run on a write-protected file, say) cannot take this user's saves: the file opens
// for reading. Nor does an index left there stand for a folder that can take the log.
TEST(SqliteLocation, ALogOrIndexLeftThatCannotBeWrittenIsNotWrittenThrough) {
  Folder folder;
  fs::permissions(folder.File(), fs::perms::all);
  // Left open by a process that ended without closing it.
  InChild([&] {
    OpenSqliteDatabase(folder.File())
        .release()
        ->ForHost()
        .Execute("INSERT INTO host_parameter (name, value) VALUES ('SIN_CERRAR', 'SI')");
    return std::string();
  });
  ASSERT_TRUE(fs::exists(folder.File() + "-shm"));
  ASSERT_TRUE(fs::exists(folder.File() + "-wal"));
  const auto left = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(folder.File() + "-shm", left);
  fs::permissions(folder.File() + "-wal", left);
  EXPECT_EQ(AsNobody([&] { return Opening(folder.File()); }), "for reading, 26 policies");

  fs::permissions(folder.File() + "-shm", fs::perms::all);
  fs::permissions(folder.File() + "-wal", fs::perms::all);
  fs::permissions(folder.path, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  EXPECT_EQ(AsNobody([&] { return Opening(folder.File()); }),
            "refused: the folder of " + folder.File() +
                " cannot be written, and SQLite keeps the database's log beside it "
                "(polizas.db-wal, polizas.db-shm): its users need the right to create "
                "files in that folder");
}

// A write-protected file that its own user opens (for reading) gets a log and an index made
// as the file is, write-protected too, which SQLite leaves there. Once the file may be written
// again, they are given its permissions again as it opens, and it opens for writing; another
// user's are left as they are (above).
TEST(SqliteLocation, ALogAndIndexLeftWriteProtectedByItsOwnUserFollowTheFileAgain) {
  Folder folder;
  if (::geteuid() == 0) {
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(::chown(folder.File().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  const auto read_only = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const auto writable = read_only | fs::perms::owner_write;
  const auto left = [&](const char* suffix) {
    const fs::perms perms = fs::status(folder.File() + suffix).permissions();
    return std::string(suffix) + (perms == read_only ? " read-only" : "");
  };
  EXPECT_EQ(AsNobody([&] {
              fs::permissions(folder.File(), read_only);
              std::string said = Opening(folder.File());
              said += ", left " + left("-shm") + " " + left("-wal");
              fs::permissions(folder.File(), writable);
              return said + "; then " + Opening(folder.File());
            }),
            "for reading, 26 policies, left -shm read-only -wal read-only; then for writing, 26 "
            "policies");
}

// A copy on a read-only file system (a mounted backup) opens for reading, read as it is,
// whatever its path holds; a log beside it that SQLite cannot read without its index
// is refused rather than left out.
TEST(SqliteLocation, AFileOnAReadOnlyFileSystemOpensForReading) {
  Folder folder;
  const fs::path mount_point = folder.path / "copia de 2024 ?#%ñ";
  fs::create_directory(mount_point);
  const std::string copy = (mount_point / "polizas.db").string();
  const std::string bytes = FileBytes(folder.File());
  const auto read_only_copy = [&](bool with_log) {
    // Written as another user would, without its owner.
    if (!CopyOnAFileSystemOfItsOwn(mount_point, bytes, 4096))
      return std::string("no mount namespace");
    if (with_log) std::ofstream(copy + "-wal") << "a log";
    if (::mount(nullptr, mount_point.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      return std::string("cannot make it read-only");
    return Opening(copy);
  };
  const std::string said = InChild([&] { return read_only_copy(false); });
  if (said == "no mount namespace") GTEST_SKIP() << "this machine lets no test mount";
  EXPECT_EQ(said, "for reading, 26 policies");
  EXPECT_EQ(InChild([&] { return read_only_copy(true); }),
            "refused: " + copy +
                " lies on a read-only file system beside a log (polizas.db-wal) that SQLite "
                "cannot read without its index: copy both to a folder that can be written");
}

// A disk with no room for the index SQLite keeps beside the file is said to be full, not
// to be failing.
TEST(SqliteLocation, NoRoomForTheIndexIsSaidToBeAFullDisk) {
  Folder folder;
  const fs::path mount_point = folder.path / "lleno";
  fs::create_directory(mount_point);
  const std::string copy = (mount_point / "polizas.db").string();
  const std::string bytes = FileBytes(folder.File());
  const std::string said = InChild([&] {
    // Room for the file and a few kilobytes, less than the index takes.
    if (!CopyOnAFileSystemOfItsOwn(mount_point, bytes, bytes.size() / 1024 + 4))
      return std::string("no mount namespace");
    return Opening(copy);
  });
  if (said == "no mount namespace") GTEST_SKIP() << "this machine lets no test mount";
  EXPECT_EQ(said, "refused: the disk is full: there is no room beside " + copy +
                      " for the index SQLite keeps there (disk I/O error)");
}

// A file with a second name (a hard link) would get a log per name; it opens by neither
// until one name is left.
TEST(SqliteLocation, AFileWithTwoNamesIsRefusedByEither) {
  Folder folder;
  const std::string other = (folder.path / "otro nombre.db").string();
  fs::create_hard_link(folder.File(), other);
  for (const std::string& name : {folder.File(), other}) {
    EXPECT_EQ(InChild([&] { return Opening(name); }),
              "refused: " + name +
                  " has other names (hard links to the same file), and SQLite keeps the "
                  "database's log by name: programs opening it by different names would lose "
                  "each other's saves. Keep one name (find the others with find -samefile)");
  }
  EXPECT_FALSE(fs::exists(other + "-wal"));
  fs::remove(folder.File());
  EXPECT_EQ(InChild([&] { return Opening(other); }), "for writing, 26 policies");
}

// A folder (which has names of its own, its entries' "..") or a device is no database file:
// it is refused as what it is, not taken for a database file without tables (which SQLite
// makes of /dev/null) nor for one with other names, whose advice would be to remove it.
TEST(SqliteLocation, WhatIsNoFileIsRefusedAsWhatItIs) {
  Folder folder;
  const std::string link = (folder.path / "enlace.db").string();
  fs::create_symlink("/dev/null", link);
  const std::pair<std::string, std::string> cases[] = {
      {folder.path.string(), "a folder"},
      {"/dev/null", "a device"},
      {link, "a device"},
  };
  for (const auto& [path, kind] : cases) {
    EXPECT_EQ(InChild([&] { return Opening(path); }),
              "refused: " + path + " is " + kind + ", not a database file");
  }
}

}  // namespace
}  // namespace nv407::host
