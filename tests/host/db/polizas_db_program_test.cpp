#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "db_test_support.h"

namespace nv407::host {
namespace {

using testing::Count;
using testing::TempDir;

// The program sits beside the test programs in the build's bin directory.
std::string ProgramPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "polizas-db").string();
}

struct ProgramRun {
  int exit_code;
  std::string output;  // stdout and stderr
};

ProgramRun RunProgram(const TempDir& dir, const std::string& arguments) {
  const std::string output = dir.File("output.txt");
  const int status =
      std::system((ProgramPath() + " " + arguments + " >'" + output + "' 2>&1").c_str());
  std::ifstream in(output);
  std::stringstream text;
  text << in.rdbuf();
  std::filesystem::remove(output);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class PolizasDbProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(ProgramPath())) << "build polizas-db first";
  }
  TempDir dir_;
};

TEST_F(PolizasDbProgram, InitCreatesTheSchemaAndWithDemoTheDemoData) {
  for (const bool demo : {false, true}) {
    const std::string path = dir_.File(demo ? "demo.db" : "empty.db");
    const ProgramRun run = RunProgram(dir_, "init '" + path + "'" + (demo ? " --demo" : ""));
    ASSERT_EQ(run.exit_code, 0) << run.output;

    auto database = OpenSqliteDatabase(path);
    Connection& c = database->ForHost();
    EXPECT_EQ(Count(c, "sqlite_schema WHERE name = 'Poliza_Servicio_Tipo_Servicio'"), 1);
    EXPECT_EQ(Count(c, "Poliza_Servicio"), 0);
    EXPECT_EQ(Count(c, "Sucursal") > 0, demo);
    EXPECT_EQ(Count(c, "operator_permission") > 0, demo);
  }
}

TEST_F(PolizasDbProgram, ExistingFileIsRefusedAndLeftAsItIs) {
  const std::string path = dir_.File("existing.db");
  ASSERT_EQ(RunProgram(dir_, "init '" + path + "' --demo").exit_code, 0);
  const std::string before = Contents(path);

  const ProgramRun again = RunProgram(dir_, "init '" + path + "'");
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.output.find("already exists"), std::string::npos) << again.output;
  EXPECT_EQ(Contents(path), before);
}

TEST_F(PolizasDbProgram, UsageErrorsAndUncreatablePathsCreateNothing) {
  const std::string path = "'" + dir_.File("x.db") + "'";
  for (const std::string& arguments :
       {std::string(), std::string("init"), "create " + path, "init " + path + " --nope",
        "init " + path + " " + path + "2"}) {
    const ProgramRun run = RunProgram(dir_, arguments);
    EXPECT_EQ(run.exit_code, 2) << arguments;
    EXPECT_NE(run.output.find("usage: polizas-db init PATH [--demo]"), std::string::npos)
        << run.output;
  }
  const ProgramRun run = RunProgram(dir_, "init '" + dir_.File("no/such/dir.db") + "' --demo");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.output.find("cannot create"), std::string::npos) << run.output;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.File("")));
}

}  // namespace
}  // namespace nv407::host
