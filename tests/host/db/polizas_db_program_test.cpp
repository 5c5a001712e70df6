#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db_test_support.h"

namespace nv407::host {
namespace {

using testing::Count;

std::string Contents(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

class PolizasDbProgram : public ::testing::Test {
 protected:
  // Runs polizas-db as built, beside the test programs; the exit code and what it wrote.
  std::pair<int, std::string> Run(const std::string& arguments) {
    const auto program =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "polizas-db";
    const std::string output = dir_.File("output.txt");
    const int status =
        std::system((program.string() + " " + arguments + " >'" + output + "' 2>&1").c_str());
    const std::string text = Contents(output);
    std::filesystem::remove(output);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
  }
  std::string Path(const std::string& name) { return "'" + dir_.File(name) + "'"; }

  testing::TempDir dir_;
};

TEST_F(PolizasDbProgram, InitCreatesTheSchemaAndWithDemoTheDemoDataButNeverOverwrites) {
  for (const bool demo : {false, true}) {
    const std::string name = demo ? "demo.db" : "empty.db";
    const auto [exit_code, output] = Run("init " + Path(name) + (demo ? " --demo" : ""));
    ASSERT_EQ(exit_code, 0) << output;
    auto database = OpenSqliteDatabase(dir_.File(name));
    EXPECT_EQ(Count(database->ForHost(), "Poliza_Servicio_Tipo_Servicio"), 0);
    EXPECT_EQ(Count(database->ForHost(), "Sucursal") > 0, demo);
  }
  const std::string before = Contents(dir_.File("demo.db"));
  const auto [exit_code, output] = Run("init " + Path("demo.db"));
  EXPECT_EQ(exit_code, 1);
  EXPECT_NE(output.find("already exists"), std::string::npos) << output;
  EXPECT_EQ(Contents(dir_.File("demo.db")), before);
}

TEST_F(PolizasDbProgram, UsageErrorsAndUncreatablePathsCreateNothing) {
  for (const std::string& arguments :
       {std::string(), std::string("init"), "create " + Path("x.db"),
        "init " + Path("x.db") + " --nope", "init " + Path("x.db") + " " + Path("y.db")}) {
    const auto [exit_code, output] = Run(arguments);
    EXPECT_EQ(exit_code, 2) << arguments;
    EXPECT_NE(output.find("usage: polizas-db init PATH [--demo]"), std::string::npos) << output;
  }
  const auto [exit_code, output] = Run("init " + Path("no/such/dir.db") + " --demo");
  EXPECT_EQ(exit_code, 1);
  EXPECT_NE(output.find("cannot create"), std::string::npos) << output;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.File("")));
}

}  // namespace
}  // namespace nv407::host
