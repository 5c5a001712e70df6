#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "services_fixture.h"

namespace nv407::testing {
namespace {

std::string Issue(UtilityServices& utility, const std::string& branch,
                  const std::string& table = "Poliza_Servicio", int width = 10) {
  const Variant folio = utility.NextFolio(branch, table, width, -1);
  return folio.IsEmpty() ? "<empty>" : folio.ToText();
}

class FolioSeries : public ::testing::Test {
 protected:
  std::string Series(const std::string& where) {
    return db.Scalar(
        "SELECT group_concat(v, ' ') AS v FROM (SELECT branch || '/' || table_name || '/' || "
        "last_number AS v FROM folio_series WHERE " +
        where + " ORDER BY branch, table_name)");
  }

  TestDatabase db;
  Services services{db.db(), db.clock()};
  UtilityServices& utility = *services.utility;
};

TEST_F(FolioSeries, EachBranchAndTableHasItsOwnSeries) {
  const std::vector<std::pair<std::string, std::string>> issued = {
      {"MTY", "MTY-000001"},   {"MTY", "MTY-000002"},  {"GDL", "GDL-000001"},
      {" mty ", "MTY-000003"}, {"CDMX", "CDMX-00001"}, {"01", "01-0000001"},
      {"A", "A-00000001"},     {"A-1", "A-1-000001"},  {"A-1", "A-1-000002"}};
  std::set<std::string> distinct;
  for (const auto& [branch, expected] : issued) {
    EXPECT_EQ(Issue(utility, branch), expected) << "branch \"" << branch << "\"";
    distinct.insert(expected);
  }
  EXPECT_EQ(distinct.size(), issued.size());
  // The table is matched in any case; another table counts on its own.
  EXPECT_EQ(Issue(utility, "MTY", "POLIZA_SERVICIO"), "MTY-000004");
  EXPECT_EQ(Issue(utility, "MTY", "Otra_Tabla"), "MTY-000001");
  EXPECT_EQ(Series("branch = 'MTY'"), "MTY/Otra_Tabla/1 MTY/Poliza_Servicio/4");
}

TEST_F(FolioSeries, WidthSetsTheDigits) {
  EXPECT_EQ(Issue(utility, "01", "Poliza_Servicio", 6), "01-001");
  EXPECT_EQ(Issue(utility, "01", "Poliza_Servicio", 12), "01-000000002");
  EXPECT_EQ(Issue(utility, "01", "Poliza_Servicio", 0), "01-0000003") << "0: the host's width";
}

TEST_F(FolioSeries, BlankBranchOrTableGetsNoFolioAndStartsNoSeries) {
  for (const char* branch : {"", "   ", "\t"}) EXPECT_EQ(Issue(utility, branch), "<empty>");
  EXPECT_EQ(Issue(utility, "MTY", " "), "<empty>") << "nor does a blank table";
  EXPECT_EQ(db.Count("folio_series"), 0);
}

TEST_F(FolioSeries, ExhaustedSeriesGivesNoFolioAndStaysAtItsLast) {
  // An eight-character branch leaves one digit in a folio ten wide.
  for (int n = 1; n <= 9; ++n)
    EXPECT_EQ(Issue(utility, "SUCURSAL"), "SUCURSAL-" + std::to_string(n));
  EXPECT_EQ(Issue(utility, "SUCURSAL"), "<empty>");
  EXPECT_EQ(Issue(utility, "SUCURSAL"), "<empty>");
  EXPECT_EQ(Series("branch = 'SUCURSAL'"), "SUCURSAL/Poliza_Servicio/9");
  EXPECT_EQ(Issue(utility, "MTY"), "MTY-000001");
}

TEST_F(FolioSeries, PassesFoliosThatThePolicyTableAlreadyHolds) {
  for (const char* folio : {"MTY-000001", "MTY-000002", "MTY-000004"}) {
    PolicyRow policy;
    policy.folio = folio;
    db.AddPolicy(policy);
  }
  EXPECT_EQ(Issue(utility, "MTY"), "MTY-000003");
  EXPECT_EQ(Issue(utility, "MTY"), "MTY-000005");
  // Other tables' folios are not looked up: their series alone decides.
  EXPECT_EQ(Issue(utility, "MTY", "Otra_Tabla"), "MTY-000001");
}

TEST_F(FolioSeries, RolledBackSaveConsumesNoFolio) {
  Connection& screen = services.app->GetConnection();
  screen.BeginTrans();
  EXPECT_EQ(Issue(utility, "MTY"), "MTY-000001");
  EXPECT_EQ(Issue(utility, "GDL"), "GDL-000001");
  screen.RollbackTrans();
  EXPECT_EQ(db.Count("folio_series"), 0);

  screen.BeginTrans();
  EXPECT_EQ(Issue(utility, "MTY"), "MTY-000001");
  screen.CommitTrans();
  screen.BeginTrans();
  EXPECT_EQ(Issue(utility, "MTY"), "MTY-000002");
  screen.RollbackTrans();
  EXPECT_EQ(Issue(utility, "MTY"), "MTY-000002");
}

// Several processes saving at once, each through its own session on one database file.
class FolioProcesses : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() / ("folio-processes-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    host::CreateSchema(host::OpenSqliteDatabase(Path(), {.create = true})->ForHost());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path() const { return (dir_ / "polizas.db").string(); }
  std::string Output(int child) const {
    return (dir_ / ("folios-" + std::to_string(child))).string();
  }

  // Opens its own session, says it is ready, waits for the start signal, issues the
  // folios and writes them out; the exit code tells the parent whether it went well.
  [[noreturn]] void IssueInChild(int child, int ready_fd, int start_fd, int count,
                                 bool in_transaction) {
    int status = 0;
    try {
      auto database = host::OpenSqliteDatabase(Path());
      Services services(*database, {});
      char signal = 'r';
      if (::write(ready_fd, &signal, 1) != 1 || ::read(start_fd, &signal, 1) != 1) ::_exit(2);
      std::ofstream out(Output(child));
      Connection& screen = services.app->GetConnection();
      for (int i = 0; i < count; ++i) {
        if (in_transaction) screen.BeginTrans();
        const Variant folio = services.utility->NextFolio("01", "Poliza_Servicio", 10, -1);
        if (in_transaction) screen.CommitTrans();
        out << (folio.IsEmpty() ? std::string("<empty>") : folio.ToText()) << '\n';
        ::usleep(300);  // a user's pause between saves, in which the other process gets in
      }
      out.close();
      status = out ? 0 : 3;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child %d: %s\n", child, e.what());
      status = 1;
    }
    ::_exit(status);
  }

  std::filesystem::path dir_;
};

TEST_P(FolioProcesses, NeverIssueTheSameFolioTwice) {
  constexpr int kChildren = 2;
  constexpr int kEach = 200;
  int ready[2], start[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (int child = 0; child < kChildren; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) IssueInChild(child, ready[1], start[0], kEach, GetParam());
    children.push_back(pid);
  }
  // Both sessions are open before either issues a folio.
  for (int child = 0; child < kChildren; ++child) {
    char signal;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
  }
  ASSERT_EQ(::write(start[1], "gogo", kChildren), kChildren);
  for (int fd : {ready[0], ready[1], start[0], start[1]}) ::close(fd);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  std::set<std::string> all;
  for (int child = 0; child < kChildren; ++child) {
    std::ifstream in(Output(child));
    int lines = 0;
    for (std::string folio; std::getline(in, folio); ++lines)
      EXPECT_TRUE(all.insert(folio).second) << folio << " issued twice";
    EXPECT_EQ(lines, kEach);
  }
  // Together they used the series without a gap.
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kChildren * kEach));
  EXPECT_EQ(*all.begin(), "01-0000001");
  EXPECT_EQ(*all.rbegin(), "01-0000400");
}

INSTANTIATE_TEST_SUITE_P(Saving, FolioProcesses, ::testing::Values(true, false),
                         [](const auto& info) {
                           return info.param ? "InsideTransactions" : "OutsideTransactions";
                         });

}  // namespace
}  // namespace nv407::testing
