#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "db_test_support.h"

namespace nv407::host {
namespace {

std::string Contents(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// polizas-db as built, beside the test programs: each run's exit code and what it says, then
// which files the runs left and what is in them.
TEST(PolizasDbProgram, InitCreatesOnceWithOrWithoutDemoAndRefusesTheRest) {
  testing::TempDir dir;
  const auto path = [&](const std::string& name) { return " '" + dir.File(name) + "'"; };
  const std::string usage = "usage: polizas-db init PATH [--demo]";
  const std::tuple<std::string, int, std::string> runs[] = {
      {"init" + path("empty.db"), 0, ""},
      {"init" + path("demo.db") + " --demo", 0, ""},
      {"init" + path("demo.db"), 1, "already exists"},
      {"", 2, usage},
      {"init", 2, usage},
      {"create" + path("x.db"), 2, usage},
      {"init" + path("x.db") + " --nope", 2, usage},
      {"init" + path("x.db") + path("y.db"), 2, usage},
      {"init" + path("no/such/dir.db") + " --demo", 1, "cannot create"},
  };
  const auto program = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "polizas-db";
  const std::string output = dir.File("output.txt");
  std::string demo_before;
  for (const auto& [arguments, exit_code, says] : runs) {
    if (exit_code == 1 && demo_before.empty()) demo_before = Contents(dir.File("demo.db"));
    const int status =
        std::system((program.string() + " " + arguments + " >'" + output + "' 2>&1").c_str());
    const std::string said = Contents(output);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, exit_code) << arguments;
    EXPECT_NE(said.find(says), std::string::npos) << arguments << "\n" << said;
  }
  std::filesystem::remove(output);
  EXPECT_EQ(Contents(dir.File("demo.db")), demo_before) << "never overwritten";
  testing::Lines files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("")))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (testing::Lines{"demo.db", "empty.db"}));
  EXPECT_EQ(testing::Count(OpenSqliteDatabase(dir.File("empty.db"))->ForHost(), "Sucursal"), 0);
  EXPECT_GT(testing::Count(OpenSqliteDatabase(dir.File("demo.db"))->ForHost(), "Sucursal"), 0);
}

}  // namespace
}  // namespace nv407::host
