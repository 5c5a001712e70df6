// polizas-db on a database file: its backups and its operators. (A server database is backed
// up with the server's tools and its operators are its logins: these run on SQLite.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "program_run.h"
#include "support/test_backend.h"

namespace nv407::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Strings = std::vector<std::string>;

class DbProgram : public DemoDatabaseTest {
 protected:
  void SetUp() override {
    if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "these are a database file's";
    DemoDatabaseTest::SetUp();
  }
  std::string Database() const { return database_.InitArguments().at(0); }
};

// Operators are changed only where the file can be written: a write-protected one says so,
// as upgrade does, before asking for any password; it is listed as it is.
TEST_F(DbProgram, TheOperatorsOfAWriteProtectedFileAreListedButNotChanged) {
  fs::permissions(dir_, fs::perms::all);
  database_.RefuseWrites();
  const std::string as = ::geteuid() == 0 ? "nobody" : "";  // root writes write-protected files
  const Strings changes[] = {
      {"add", "ROSA"},       {"passwd", "CAPTURA"},           {"lock", "CAPTURA"},
      {"unlock", "CAPTURA"}, {"grant", "CAPTURA", "INISERV"}, {"revoke", "CAPTURA", "INISERV"}};
  for (const Strings& change : changes) {
    SCOPED_TRACE(change.front());
    Strings args = {"operator", change.front(), Database()};
    args.insert(args.end(), change.begin() + 1, change.end());
    const ProgramOutput run =
        RunProgram(dir_, "polizas-db", args, "clave de Rosa\nclave de Rosa\n", as);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "polizas-db: cannot change the operators of " + Database() +
                           ": the file is write-protected\n");
    EXPECT_EQ(run.out, "");
  }
  const ProgramOutput listed =
      RunProgram(dir_, "polizas-db", {"operator", "list", Database()}, "", as);
  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_THAT(listed.out, HasSubstr("CAPTURA"));
  EXPECT_EQ(RunProgram(dir_, "polizas-db", {"upgrade", Database()}, "", as).err,
            "polizas-db: cannot upgrade " + Database() + ": the file is write-protected\n");
}

// A backup may not be written where SQLite keeps the database's own files: the file by
// another name, its log, its index or its journal (not there yet, or not any more).
TEST_F(DbProgram, ABackupNamingTheDatabasesFilesIsRefused) {
  fs::create_symlink(Database(), File("enlace.db"));
  const std::pair<std::string, std::string> cases[] = {
      {File("enlace.db"), "the database " + Database()},
      {Database() + "-wal", Database() + "-wal, which SQLite keeps beside the database"},
      {Database() + "-journal", Database() + "-journal, which SQLite keeps beside the database"},
  };
  for (const auto& [target, over] : cases) {
    SCOPED_TRACE(target);
    const ProgramOutput run = RunProgram(dir_, "polizas-db", {"backup", Database(), target}, "");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.err, StartsWith("polizas-db: the backup " + target + " would write over " +
                                    over + "\nusage: polizas-db"));
  }
  for (const char* suffix : {"-wal", "-journal"})
    EXPECT_FALSE(fs::exists(Database() + suffix)) << suffix;
}

}  // namespace
}  // namespace nv407::testing
