// polizas-db on a database file: its backups and its operators. (A server database is backed
// up with the server's tools and its operators are its logins: these run on SQLite.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/db/database.h"
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
  // The names in the scratch folder that start with `prefix`.
  Strings Named(const std::string& prefix) const {
    Strings names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(prefix)) names.push_back(name);
    }
    return names;
  }
  // polizas-db backup of the database into copia.db, ended by `signal` once the copy has
  // begun to be written; its wait status.
  int BackupEndedBy(int signal) {
    const fs::path program = BuiltProgram("polizas-db");
    const std::string target = File("copia.db");
    const pid_t child = ::fork();
    if (child == 0) {
      // As from a terminal: the signals not ignored (as a shell ignores them in a job).
      for (const int ending : {SIGINT, SIGTERM, SIGHUP}) std::signal(ending, SIG_DFL);
      std::freopen("/dev/null", "w", stdout);
      ::execl(program.c_str(), program.c_str(), "backup", Database().c_str(), target.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto writing = [&] {
      for (const std::string& name : Named("copia.db")) {
        std::error_code none;
        if (fs::file_size(File(name), none) > 0 && !none) return true;
      }
      return false;
    };
    int status = 0;
    for (int waited = 0; !writing() && waited < 30000; ++waited) {
      if (::waitpid(child, &status, WNOHANG) == child) return status;  // ended already
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, signal);
    ::waitpid(child, &status, 0);
    return status;
  }
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

// Beside a log's index that another user's program keeps, the file can be read but not
// changed: the refusal names the index, where no change of the file's permissions would help.
TEST_F(DbProgram, AnotherUsersIndexIsNamedAsWhyTheFileCannotBeChanged) {
  if (::geteuid() != 0) GTEST_SKIP() << "another user's index needs a second user";
  const auto keeping = database_.Open();  // root's program: its index is root's, 0644
  keeping->ForHost().Execute("SELECT COUNT(*) FROM Poliza_Servicio");
  ASSERT_TRUE(fs::exists(Database() + "-shm"));
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(Database(), fs::perms::all);
  const std::string index = fs::path(Database()).filename().string() + "-shm";
  const std::string why = ": " + index +
                          " beside it cannot be written by this user (another user's program "
                          "keeps it, or left it)\n";
  EXPECT_EQ(RunProgram(dir_, "polizas-db", {"upgrade", Database()}, "", "nobody").err,
            "polizas-db: cannot upgrade " + Database() + why);
  EXPECT_EQ(
      RunProgram(dir_, "polizas-db", {"operator", "lock", Database(), "CAPTURA"}, "", "nobody").err,
      "polizas-db: cannot change the operators of " + Database() + why);
}

// An operator changing its own password without --as signs in as the default administrator:
// a refusal says whose sign-in failed and how that operator was chosen. No code, or an empty
// line for the password, is refused in the command line's words, not the dialog's prompts.
TEST_F(DbProgram, ARefusedSignInSaysWhoseItWasAndHowItWasChosen) {
  const std::string path = File("claves.db");
  ASSERT_EQ(RunProgram(dir_, "polizas-db", {"init", path}, "clave del administrador\n").exit_code,
            0);
  ASSERT_EQ(RunProgram(dir_, "polizas-db", {"operator", "add", path, "CAPTURA"},
                       "clave del administrador\nclave de captura\n")
                .exit_code,
            0);
  const auto passwd = [&](Strings options, const std::string& password) {
    Strings args = {"operator", "passwd", path, "CAPTURA"};
    args.insert(args.end(), options.begin(), options.end());
    return RunProgram(dir_, "polizas-db", args, password + "\nclave nueva\n");
  };

  const ProgramOutput by_default = passwd({}, "clave de captura");
  EXPECT_EQ(by_default.exit_code, 1);
  EXPECT_EQ(by_default.err,
            "polizas-db: sign-in of ADMIN (the administrator by default; --as names another) "
            "refused: Operador o contraseña incorrectos\n");
  const ProgramOutput named = passwd({"--as", "CAPTURA"}, "clave del administrador");
  EXPECT_EQ(named.exit_code, 1);
  EXPECT_EQ(named.err,
            "polizas-db: sign-in of CAPTURA (named with --as) refused: Operador o contraseña "
            "incorrectos\n");
  EXPECT_EQ(passwd({"--as", "CAPTURA"}, "clave de captura").exit_code, 0);

  const std::pair<ProgramOutput, std::string> unsaid[] = {
      {passwd({"--as", " "}, "clave de captura"), "no operator given: the operator code is empty"},
      {RunProgram(dir_, "polizas-db", {"operator", "list", path}, "\n"),
       "no password of ADMIN given: the line read from standard input is empty"},
  };
  for (const auto& [run, refusal] : unsaid) {
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "polizas-db: " + refusal + "\n");
    EXPECT_EQ(run.out, "");
  }
}

// A database whose operators sign in holds their password hashes: its file is its owner's
// alone, where a demo's, which holds none, is as the umask makes new files.
TEST_F(DbProgram, AFileOfPasswordHashesIsReadableByItsOwnerAlone) {
  const mode_t umask_before = ::umask(022);
  const ProgramOutput signing =
      RunProgram(dir_, "polizas-db", {"init", File("claves.db")}, "clave del administrador\n");
  const ProgramOutput demo =
      RunProgram(dir_, "polizas-db", {"init", File("demo.db"), "--demo"}, "");
  ::umask(umask_before);
  ASSERT_EQ(signing.exit_code, 0) << signing.err;
  ASSERT_EQ(demo.exit_code, 0) << demo.err;

  EXPECT_EQ(fs::status(File("claves.db")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(File("demo.db")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
}

// Password hashes are kept from users other than the file's owner and its group (an office
// shares the file with its group): writing one into a file that others may read takes their
// permissions away, from the files SQLite keeps beside it too, and says so; upgrade does the
// same on finding such a file. A file without hashes is left as the umask made it.
TEST_F(DbProgram, PasswordHashesAreKeptFromOtherUsers) {
  const auto mode = [](const std::string& file) {
    return fs::status(file).permissions() & fs::perms::mask;
  };
  const auto took_away = [&](const char* now) {
    return "Took away other users' permissions on " + Database() +
           ", which holds password hashes: its mode is now " + now + "\n";
  };
  const auto run = [&](const Strings& args, const std::string& input = "") {
    return RunProgram(dir_, "polizas-db", args, input);
  };
  fs::permissions(Database(), fs::perms(0644));
  EXPECT_EQ(run({"upgrade", Database()}).out, Database() + " is up to date; nothing was changed\n");
  EXPECT_EQ(mode(Database()), fs::perms(0644)) << "no hashes yet";
  for (const Strings& refused : {Strings{"operator", "passwd", Database(), "NADIE"},
                                 Strings{"operator", "add", Database(), "ADMIN"}}) {
    SCOPED_TRACE(refused[1]);
    const ProgramOutput refusal = run(refused, "secreto123\n");
    EXPECT_EQ(refusal.exit_code, 1) << refusal.out;
    EXPECT_EQ(refusal.out, "");
    EXPECT_EQ(mode(Database()), fs::perms(0644)) << "no hash was stored";
  }

  fs::permissions(Database(), fs::perms(0664));
  {
    const auto keeping = database_.Open();  // its log and index have the file's permissions
    keeping->ForHost().Execute("SELECT COUNT(*) FROM Poliza_Servicio");
    const ProgramOutput added = run({"operator", "add", Database(), "ROSA"}, "clave de Rosa\n");
    EXPECT_EQ(added.out, took_away("0660") + "Added the operator ROSA\n") << added.err;
    for (const char* file : {"", "-wal", "-shm"})
      EXPECT_EQ(mode(Database() + file), fs::perms(0660)) << file;
  }

  fs::permissions(Database(), fs::perms(0644));
  const ProgramOutput changed =
      run({"operator", "passwd", Database(), "ROSA"}, "otra clave de Rosa\n");
  EXPECT_EQ(changed.out, took_away("0640") + "Changed the password of ROSA\n") << changed.err;
  EXPECT_EQ(mode(Database()), fs::perms(0640));

  fs::permissions(Database(), fs::perms(0604));
  EXPECT_EQ(run({"upgrade", Database()}).out, took_away("0600"));
  EXPECT_EQ(mode(Database()), fs::perms(0600));
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

// Files SQLite keeps beside a database left at the name of a new one (a program still has
// yesterday's backup open under its new name, or a writer was killed, or another tool left a
// journal) would be taken for the new file's log or journal and falsify it, or be discarded
// with the saves they hold: a backup or a new database is refused there, as where the file
// exists, and nothing is written.
TEST_F(DbProgram, ANewFileIsRefusedBesideFilesLeftForADatabaseOfItsName) {
  const std::string target = File("copia.db");
  const auto backup = [&] {
    return RunProgram(dir_, "polizas-db", {"backup", Database(), target}, "");
  };
  ASSERT_EQ(backup().exit_code, 0);
  {
    const auto yesterday = host::OpenSqliteDatabase(target);
    yesterday->ForHost().Execute("INSERT INTO host_parameter (name, value) VALUES ('AYER', 'x')");
    fs::rename(target, File("copia-ayer.db"));
    const ProgramOutput refused = backup();
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_THAT(refused.err, StartsWith("polizas-db: cannot back up " + Database() + ": " + target +
                                        "-wal and " + target + "-shm are beside "));
    const ProgramOutput init = RunProgram(dir_, "polizas-db", {"init", target, "--demo"}, "");
    EXPECT_EQ(init.exit_code, 1);
    EXPECT_THAT(init.err,
                StartsWith("polizas-db: " + target + "-wal and " + target + "-shm are beside "));
    EXPECT_THAT(Named("copia.db"), ::testing::UnorderedElementsAre("copia.db-wal", "copia.db-shm"));
  }
  // SQLite leaves them as they are on closing a renamed file.
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(target + suffix);
  std::ofstream(target + "-journal") << "de otra herramienta";
  const ProgramOutput refused = backup();
  EXPECT_THAT(refused.err, HasSubstr(target + "-journal is beside "));
  EXPECT_THAT(Named("copia.db"), ::testing::ElementsAre("copia.db-journal"));
}

// The log, its index or the journal named for the database (a slip of the tab key) is
// refused as such, by every program that opens a database: opened, it holds no tables, and
// removed, it would take the saves of the programs that have the database open.
TEST_F(DbProgram, ALogNamedForItsDatabaseIsRefusedAsSuch) {
  const auto working = database_.Open();
  working->ForHost().Execute("INSERT INTO host_parameter (name, value) VALUES ('ABIERTA', 'x')");
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string side = Database() + suffix;
    const std::pair<std::string, Strings> runs[] = {
        {"polizas-db", {"upgrade", side}},
        {"polizas-db", {"operator", "list", side}},
        {"polizas-db", {"backup", side, File("copia.db")}},
        {"polizas-report", {"--db", side, "policies"}},
    };
    for (const auto& [program, args] : runs) {
      SCOPED_TRACE(program + " " + args[0] + " " + suffix);
      const ProgramOutput refused = RunProgram(dir_, program, args, "");
      EXPECT_EQ(refused.exit_code, 1) << refused.out;
      EXPECT_THAT(refused.err, HasSubstr(side + " is the name SQLite gives the log"));
      EXPECT_THAT(refused.err, HasSubstr("name " + Database() + " instead"));
      EXPECT_THAT(refused.err, ::testing::Not(HasSubstr("remove")));
    }
  }
  EXPECT_THAT(Named("copia.db"), ::testing::IsEmpty());
  working->ForHost().Execute("INSERT INTO host_parameter (name, value) VALUES ('SIGUE', 'x')");
}

// A user who cannot write the database file reads it through a log and an index that, made
// by that user, would be left beside it as that user's, keeping the owner's programs from
// changing the file: a backup by such a user is refused, and runs while a program of the
// office has the database open (its index is there). Either way nothing is left beside it.
TEST_F(DbProgram, ABackupByAUserWhoCannotWriteTheFileLeavesNothingBesideIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "a user who cannot write the file needs a second user";
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(Database(), fs::perms(0644));
  const std::string name = fs::path(Database()).filename().string();
  const auto nothing_beside = [&] {
    for (const char* side : {"-wal", "-shm"}) EXPECT_FALSE(fs::exists(Database() + side)) << side;
  };
  const auto backup = [&] {
    return RunProgram(dir_, "polizas-db", {"backup", Database(), File("copia.db")}, "", "nobody");
  };

  const ProgramOutput refused = backup();
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_THAT(refused.err, StartsWith("polizas-db: cannot back up " + Database() + ": "));
  EXPECT_THAT(refused.err, HasSubstr(name + "-wal and " + name + "-shm"));
  EXPECT_THAT(refused.err, HasSubstr("run the backup as the file's owner"));
  nothing_beside();
  EXPECT_FALSE(fs::exists(File("copia.db")));

  {
    const auto keeping = database_.Open();
    keeping->ForHost().Execute("SELECT COUNT(*) FROM Poliza_Servicio");
    const ProgramOutput kept = backup();
    EXPECT_EQ(kept.exit_code, 0) << kept.err;
  }
  nothing_beside();
  EXPECT_FALSE(database_.Open()->ReadOnly());
}

// A path is a file's, whatever SQLite would make of the name (":memory:" is its database
// in memory, "file:..." a URI where it reads URIs); a name SQLite gives a file it keeps beside
// a database is no database's name, for init as for backup.
TEST_F(DbProgram, ADatabaseIsMadeInTheFileNamed) {
  for (const std::string name : {":memory:", "file:demo.db"}) {
    SCOPED_TRACE(name);
    const auto here = [&](const Strings& args) {
      return RunCommandLine(dir_,
                            "cd " + ShellWord(dir_) + " && " + ProgramCommand("polizas-db", args),
                            "", dir_ + "/stdout.txt");
    };
    const ProgramOutput made = here({"init", name, "--demo"});
    EXPECT_EQ(made.out, "Created " + name + " with the schema and the demo data\n") << made.err;
    const ProgramOutput copied = here({"backup", name, "copia.db"});
    EXPECT_EQ(copied.exit_code, 0) << copied.err;
    EXPECT_THAT(copied.out, HasSubstr("Backed up " + name + " to copia.db: "));
    EXPECT_GT(fs::file_size(File(name)), 0u);
    fs::remove(File("copia.db"));
  }
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    SCOPED_TRACE(suffix);
    const std::string path = File("nueva.db") + suffix;
    const ProgramOutput run = RunProgram(dir_, "polizas-db", {"init", path, "--demo"}, "");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.err, StartsWith("polizas-db: " + path + " is the name SQLite gives "));
    EXPECT_THAT(run.err, HasSubstr(" it keeps beside the database " + File("nueva.db") +
                                   "\nusage: polizas-db"));
    EXPECT_FALSE(fs::exists(path));
    const ProgramOutput backup = RunProgram(dir_, "polizas-db", {"backup", Database(), path}, "");
    EXPECT_EQ(backup.exit_code, 2);
    EXPECT_THAT(backup.err, StartsWith("polizas-db: the backup " + path + " is the name SQLite"));
    EXPECT_FALSE(fs::exists(path));
  }
}

// A backup cut short by a signal that asks the program to end leaves no file: the copy is
// made under a name of its own and given the target's once whole and read back. One killed
// outright leaves its copy under that name, which says what it is and keeps no later backup
// from the target's name.
TEST_F(DbProgram, AnInterruptedBackupLeavesNoFileAndAKilledOneNoneByTheTargetsName) {
  {
    // Policies enough that copying them takes a while.
    const auto database = database_.Open();
    database->ForHost().Execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
        "INSERT INTO Poliza_Servicio (Ps_Folio, Cl_Cve_Cliente, Ps_Comentario) "
        "SELECT printf('RESP-%06d', i), 'C00013', hex(zeroblob(500)) || i FROM n");
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    const int status = BackupEndedBy(signal);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the copy ended before the signal: it needs more rows";
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_THAT(Named("copia.db"), ::testing::IsEmpty());
  }

  const int status = BackupEndedBy(SIGKILL);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the copy ended before the signal: it needs more rows";
  const Strings left = Named("copia.db");
  ASSERT_FALSE(left.empty());
  for (const std::string& name : left) EXPECT_THAT(name, StartsWith("copia.db.partial-"));
  const ProgramOutput again =
      RunProgram(dir_, "polizas-db", {"backup", Database(), File("copia.db")}, "");
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(again.out,
            "Backed up " + Database() + " to " + File("copia.db") + ": 40026 policies\n");
  for (const std::string& name : left) EXPECT_TRUE(fs::exists(File(name))) << "another's copy";
}

}  // namespace
}  // namespace nv407::testing
