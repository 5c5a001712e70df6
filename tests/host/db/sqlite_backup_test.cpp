// Copies of a database file taken while operators work on it.
#include "host/db/sqlite_backup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "support/in_child.h"

namespace nv407::host {
namespace {

namespace fs = std::filesystem;

class SqliteBackup : public ::testing::Test {
 protected:
  SqliteBackup() {
    std::string pattern = (fs::temp_directory_path() / "polizas-backup-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    CreateSchema(OpenSqliteDatabase(Source(), {.create = true})->ForHost(), SqlDialect::kSqlite);
  }
  ~SqliteBackup() override { fs::remove_all(folder_); }

  std::string Source() const { return (folder_ / "polizas.db").string(); }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  static std::string Parameters(Database& database) {
    auto rows = database.ForHost().Execute(
        "SELECT group_concat(name, ' ') AS names FROM (SELECT name FROM host_parameter "
        "WHERE name LIKE 'B%' ORDER BY name)");
    return rows->Fields("names").Value().ToText();
  }

  // The names in the folder, sorted, but those SQLite keeps beside the source.
  std::string Files() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (!name.starts_with("polizas.db-")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string listed;
    for (const std::string& name : names) listed += (listed.empty() ? "" : " ") + name;
    return listed;
  }

  fs::path folder_;
};

// The copy holds every commit, also those still in the log beside the file, and nothing of
// a transaction another session has open; that session goes on and commits.
TEST_F(SqliteBackup, ACopyTakenWhileOthersWorkHoldsWhatWasCommitted) {
  auto working = OpenSqliteDatabase(Source());
  working->ForHost().Execute("INSERT INTO host_parameter VALUES ('B1', 'committed')");
  working->ForHost().BeginTrans();
  working->ForHost().Execute("INSERT INTO host_parameter VALUES ('B2', 'not yet')");

  BackUpSqliteDatabase(*OpenSqliteDatabase(Source()), Path("copia.db"));
  working->ForHost().CommitTrans();

  EXPECT_EQ(Parameters(*OpenSqliteDatabase(Path("copia.db"))), "B1");
  EXPECT_EQ(Parameters(*working), "B1 B2");
}

// A copy is no easier to reach than the file it copies, whatever the umask lets new files be.
TEST_F(SqliteBackup, ACopyHasTheDatabasesPermissions) {
  const std::string said = testing::InChild([&] {
    ::umask(002);
    std::string modes;
    for (const fs::perms perms : {fs::perms::owner_read | fs::perms::owner_write,
                                  fs::perms::owner_read | fs::perms::owner_write |
                                      fs::perms::group_read | fs::perms::others_read}) {
      fs::permissions(Source(), perms);
      const std::string target = Path("copia-" + std::to_string(modes.size()) + ".db");
      BackUpSqliteDatabase(*OpenSqliteDatabase(Source()), target);
      modes += std::to_string(static_cast<int>(fs::status(target).permissions())) + " ";
    }
    return modes;
  });
  EXPECT_EQ(said, std::to_string(0600) + " " + std::to_string(0644) + " ");
}

// A target that exists is left as it is; one that cannot be written whole (a full disk)
// leaves no file behind.
TEST_F(SqliteBackup, AnExistingTargetIsLeftAndAFailedCopyLeavesNothing) {
  std::ofstream(Path("existente.db")) << "de otro";
  const auto refusal = [&](const std::string& target) {
    try {
      BackUpSqliteDatabase(*OpenSqliteDatabase(Source()), target);
    } catch (const Error& refused) {
      return refused.Description();
    }
    return std::string("copied");
  };
  EXPECT_EQ(refusal(Path("existente.db")),
            Path("existente.db") + " already exists; it was left as it is");
  std::ifstream kept(Path("existente.db"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "de otro");

  const fs::path full = folder_ / "lleno";
  fs::create_directory(full);
  const std::string said = testing::InChild([&] {
    if (!testing::InMountNamespaceOfItsOwn() ||
        ::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=8k") != 0)
      return std::string("no mount namespace");
    const std::string why = refusal((full / "copia.db").string());
    return why + (fs::exists(full / "copia.db") ? " (a file left)" : "");
  });
  if (said == "no mount namespace") GTEST_SKIP() << "this machine lets no test mount";
  EXPECT_EQ(said, "database or disk is full");
}

// The copy is made and read back under a name of its own beside the target, which it takes
// only then: one that does not read back is removed, and a target another program made
// meanwhile is left as it is.
TEST_F(SqliteBackup, TheCopyTakesTheTargetsNameOnlyOnceReadBack) {
  OpenSqliteDatabase(Source())->ForHost().Execute("INSERT INTO host_parameter VALUES ('B1', 'x')");
  const std::string target = Path("copia.db");
  std::string partial;
  const auto refused = [&](const std::function<void(const std::string&)>& read_back) {
    try {
      BackUpSqliteDatabase(*OpenSqliteDatabase(Source()), target, read_back);
    } catch (const Error& refusal) {
      return refusal.Description();
    }
    return std::string("copied");
  };
  EXPECT_EQ(refused([&](const std::string& copy) {
              partial = copy;
              EXPECT_FALSE(fs::exists(target));
              EXPECT_EQ(Parameters(*OpenSqliteDatabase(copy, {.only_reads = true})), "B1");
              throw Error("does not read back");
            }),
            "does not read back");
  EXPECT_THAT(partial, ::testing::MatchesRegex(".*/copia\\.db\\.partial-[A-Za-z0-9]{6}"));
  EXPECT_EQ(Files(), "polizas.db");

  EXPECT_EQ(refused([&](const std::string&) { std::ofstream(target) << "de otro"; }),
            target + " already exists; it was left as it is");
  EXPECT_EQ(Files(), "copia.db polizas.db");
  std::ifstream kept(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "de otro");
  fs::remove(target);

  // Nor is it put in place beside a log or a journal another program left there meanwhile,
  // which SQLite would apply to it.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    SCOPED_TRACE(suffix);
    EXPECT_THAT(refused([&](const std::string&) { std::ofstream(target + suffix) << "de otro"; }),
                ::testing::StartsWith(target + suffix + " is beside " + target));
    EXPECT_EQ(Files(), "copia.db" + std::string(suffix) + " polizas.db");
    fs::remove(target + suffix);
  }
}

// A signal that asks the program to end removes the copy being made before it ends the
// program as it would have; one the program ignores (run with nohup) lets the copy finish.
// A program killed outright leaves its copy under the name that says what it is.
TEST_F(SqliteBackup, ASignalThatEndsTheProgramRemovesTheCopyBeingMade) {
  const auto interrupted = [&](int signal, void (*disposition)(int),
                               const std::string& target = "copia.db") {
    return testing::InChild([&] {
      for (const int ending : {SIGINT, SIGTERM, SIGHUP}) std::signal(ending, SIG_DFL);
      std::signal(signal, disposition);
      BackUpSqliteDatabase(*OpenSqliteDatabase(Source()), Path(target),
                           [&](const std::string&) { ::raise(signal); });
      return std::string("copied");
    });
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EQ(interrupted(signal, SIG_DFL), "") << strsignal(signal);
    EXPECT_EQ(Files(), "polizas.db") << strsignal(signal);
  }
  EXPECT_EQ(interrupted(SIGHUP, SIG_IGN), "copied");
  EXPECT_EQ(Files(), "copia.db polizas.db");
  EXPECT_EQ(interrupted(SIGKILL, SIG_DFL, "otra.db"), "");
  EXPECT_THAT(Files(), ::testing::MatchesRegex(
                           "copia\\.db otra\\.db\\.partial-[A-Za-z0-9]{6} polizas\\.db"));
}

// A path named like a URI ("file:copia.db") is the file of that name: the copy is written
// into the one claimed and read back from it, and a new database is made in it, where SQLite
// would take copia.db (another file, which may be a good copy) or nuevo.db.
TEST_F(SqliteBackup, APathNamedLikeAUriIsThatFile) {
  const std::string said = testing::InChild([&] {
    if (::chdir(folder_.c_str()) != 0) return std::string("no folder");
    std::ofstream("copia.db") << "de otro";
    BackUpSqliteDatabase(*OpenSqliteDatabase(Source()), "file:copia.db");
    OpenSqliteDatabase("file:copia.db");  // read back as polizas-db backup does
    std::ifstream other("copia.db");
    OpenSqliteDatabase("file:nuevo.db?mode=rwc", {.create = true});
    return std::to_string(fs::file_size("file:copia.db") > 0) + " " +
           std::string(std::istreambuf_iterator<char>(other), {}) + " " +
           std::to_string(fs::exists("file:nuevo.db?mode=rwc")) + " " +
           std::to_string(fs::exists("nuevo.db"));
  });
  EXPECT_EQ(said, "1 de otro 1 0");
  EXPECT_NO_THROW(OpenSqliteDatabase(Path("file:copia.db"))) << "a policies database";
}

}  // namespace
}  // namespace nv407::host
