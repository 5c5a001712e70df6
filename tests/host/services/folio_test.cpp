#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
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

TEST(FolioSeries, EachBranchAndTableHasItsOwnSeriesUntilItIsExhausted) {
  TestDatabase db;
  Services services{db.db(), db.clock()};
  UtilityServices& utility = *services.utility;
  std::string issued;
  for (const char* branch : {"MTY", "MTY", "GDL", " mty ", "CDMX", "A", "A-1", "A-1", "", " \t"})
    issued += Issue(utility, branch) + " ";
  EXPECT_EQ(issued,
            "MTY-000001 MTY-000002 GDL-000001 MTY-000003 CDMX-00001 A-00000001 A-1-000001 "
            "A-1-000002 <empty> <empty> ");
  // The table is matched in any case; another table counts on its own; a blank one gets none.
  EXPECT_EQ(Issue(utility, "MTY", "POLIZA_SERVICIO"), "MTY-000004");
  EXPECT_EQ(Issue(utility, "MTY", "Otra_Tabla"), "MTY-000001");
  EXPECT_EQ(Issue(utility, "MTY", " "), "<empty>");
  // The width sets the digits (0: the host's width), at least one.
  EXPECT_EQ(Issue(utility, "01", "Poliza_Servicio", 6), "01-001");
  EXPECT_EQ(Issue(utility, "01", "Poliza_Servicio", 12), "01-000000002");
  EXPECT_EQ(Issue(utility, "01", "Poliza_Servicio", 0), "01-0000003");
  EXPECT_EQ(Issue(utility, "SUCURSAL10"), "SUCURSAL10-1");
  // An eight-character branch leaves one digit: nine folios, then none.
  issued.clear();
  for (int n = 1; n <= 11; ++n) issued += Issue(utility, "SUCURSAL") + " ";
  EXPECT_EQ(issued,
            "SUCURSAL-1 SUCURSAL-2 SUCURSAL-3 SUCURSAL-4 SUCURSAL-5 SUCURSAL-6 SUCURSAL-7 "
            "SUCURSAL-8 SUCURSAL-9 <empty> <empty> ");
  // Folios that another tool wrote to the policy table are passed by.
  PolicyRow policy;
  for (const char* folio : {"QRO-000001", "QRO-000002", "QRO-000004"})
    db.AddPolicy((policy.folio = folio, policy));
  EXPECT_EQ(Issue(utility, "QRO"), "QRO-000003");
  EXPECT_EQ(Issue(utility, "QRO"), "QRO-000005");
  // Nothing is stored for a blank branch or table; an exhausted series stays at its last.
  EXPECT_EQ(db.Scalar("SELECT group_concat(v, ' ') AS v FROM (SELECT branch || '/' || "
                      "table_name || '/' || last_number AS v FROM folio_series ORDER BY v)"),
            "01/Poliza_Servicio/3 A-1/Poliza_Servicio/2 A/Poliza_Servicio/1 "
            "CDMX/Poliza_Servicio/1 GDL/Poliza_Servicio/1 MTY/Otra_Tabla/1 MTY/Poliza_Servicio/4 "
            "QRO/Poliza_Servicio/5 SUCURSAL/Poliza_Servicio/9 SUCURSAL10/Poliza_Servicio/1");
}

// Several processes saving at once, each through its own session on one database file.
class FolioProcesses : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    host::CreateSchema(host::OpenSqliteDatabase(Path(), {.create = true})->ForHost());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path() const { return (dir_ / "polizas.db").string(); }

  // Opens its own session, says it is ready, waits for the start signal, then saves: a
  // folio and a text under it (inside a transaction each, or not). A folio issued twice
  // replaces its text, which the parent counts.
  [[noreturn]] void SaveInChild(int ready_fd, int start_fd, int count) {
    try {
      auto database = host::OpenSqliteDatabase(Path());
      Services services(*database, {});
      Connection& screen = services.app->GetConnection();
      char signal = 'r';
      if (::write(ready_fd, &signal, 1) != 1 || ::read(start_fd, &signal, 1) != 1) ::_exit(2);
      for (int i = 0; i < count; ++i) {
        if (GetParam()) screen.BeginTrans();
        const std::string folio = Issue(*services.utility, "01");
        if (!services.utility->SaveExtendedText("Poliza_Servicio", folio, "0001", "x")) ::_exit(3);
        if (GetParam()) screen.CommitTrans();
        ::usleep(300);  // a user's pause between saves, in which the other process gets in
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
      ::_exit(1);
    }
    ::_exit(0);
  }

  std::filesystem::path dir_ =
      std::filesystem::temp_directory_path() / ("folio-processes-" + std::to_string(::getpid()));
};

TEST_P(FolioProcesses, NeverIssueTheSameFolioTwice) {
  constexpr int kChildren = 2;
  int ready[2], start[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (int child = 0; child < kChildren; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) SaveInChild(ready[1], start[0], 200);
    children.push_back(pid);
  }
  // Both sessions are open before either issues a folio.
  for (char signal, child = 0; child < kChildren; ++child)
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
  ASSERT_EQ(::write(start[1], "gogo", kChildren), kChildren);
  for (int fd : {ready[0], ready[1], start[0], start[1]}) ::close(fd);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  // 400 different folios: together they used the series without a gap.
  auto database = host::OpenSqliteDatabase(Path());
  auto saved = database->ForHost().Execute(
      "SELECT COUNT(*) || ' ' || MIN(record_key) || ' ' || MAX(record_key) AS v FROM "
      "extended_text");
  EXPECT_EQ(saved->Fields("v").Value(), Variant("400 01-0000001 01-0000400"));
}

INSTANTIATE_TEST_SUITE_P(Saving, FolioProcesses, ::testing::Values(true, false),
                         [](const auto& info) {
                           return info.param ? "InsideTransactions" : "OutsideTransactions";
                         });

}  // namespace
}  // namespace nv407::testing
