// Running the programs as built (POLIZAS_BUILD_DIR) from the program tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/result_text.h"
#include "support/test_backend.h"

namespace nv407::testing {

// One word for /bin/sh, whatever it holds.
inline std::string ShellWord(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct ProgramOutput {
  int exit_code = -1;
  std::string out, err;
};

// build/bin/PROGRAM.
inline std::filesystem::path BuiltProgram(const std::string& program) {
  const char* build = std::getenv("POLIZAS_BUILD_DIR");
  if (build == nullptr) throw std::runtime_error("POLIZAS_BUILD_DIR is not set");
  return std::filesystem::path(build) / "bin" / program;
}

// The shell words that run the program at `path` with the arguments.
inline std::string CommandLine(const std::filesystem::path& path,
                               const std::vector<std::string>& args) {
  std::string command = ShellWord(path.string());
  for (const std::string& arg : args) command += ' ' + ShellWord(arg);
  return command;
}

// The shell words that run build/bin/PROGRAM with the arguments.
inline std::string ProgramCommand(const std::string& program,
                                  const std::vector<std::string>& args) {
  return CommandLine(BuiltProgram(program), args);
}

// The command that runs build/bin/PROGRAM as `user`: a copy of it and of the component in
// `dir`, which the user can reach where the build may be beyond its reach (under /root).
inline std::string CommandAs(const std::string& user, const std::string& dir,
                             const std::string& program, const std::vector<std::string>& args) {
  const auto copy = [&](const std::filesystem::path& from) {
    const std::filesystem::path to = std::filesystem::path(dir) / from.filename();
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    return to.string();
  };
  const std::string component = copy(POLIZAS_COMPONENT_FILE);
  return "runuser -u " + ShellWord(user) + " -- env NV407_PLUGIN=" + ShellWord(component) + ' ' +
         CommandLine(copy(BuiltProgram(program)), args);
}

// Runs the command with `input` on its standard input and its standard output written to
// `out_path`, its files in `dir`.
inline ProgramOutput RunCommandLine(const std::string& dir, std::string command,
                                    const std::string& input, const std::string& out_path) {
  std::ofstream(dir + "/stdin.txt", std::ios::binary) << input;
  command += " <" + ShellWord(dir + "/stdin.txt") + " >" + ShellWord(out_path) + " 2>" +
             ShellWord(dir + "/stderr.txt");
  const int status = std::system(command.c_str());
  ProgramOutput run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (out_path.starts_with(dir)) run.out = FileText(out_path);
  run.err = FileText(dir + "/stderr.txt");
  return run;
}

// Runs build/bin/PROGRAM with the arguments and `input` on its standard input, its files
// in `dir`; `as_user`: run by that system user instead (only root can).
inline ProgramOutput RunProgram(const std::string& dir, const std::string& program,
                                const std::vector<std::string>& args, const std::string& input,
                                const std::string& as_user = "") {
  return RunCommandLine(
      dir, as_user.empty() ? ProgramCommand(program, args) : CommandAs(as_user, dir, program, args),
      input, dir + "/stdout.txt");
}

// A scratch directory with a fresh demo database that polizas-db made (with the options
// given), for the programs as built to run in.
class DemoDatabaseTest : public ::testing::Test {
 protected:
  explicit DemoDatabaseTest(std::vector<std::string> init_options = {})
      : init_options_(std::move(init_options)) {}
  void SetUp() override {
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    std::vector<std::string> init = {"init"};
    for (const auto& words : {database_.InitArguments(), {"--demo"}, init_options_})
      init.insert(init.end(), words.begin(), words.end());
    const ProgramOutput made = RunProgram(dir_, "polizas-db", init, "");
    ASSERT_EQ(made.exit_code, 0) << made.err;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  // The database as the programs take it, then the options.
  std::vector<std::string> With(const std::vector<std::string>& options) const {
    std::vector<std::string> all = database_.ProgramArguments();
    all.insert(all.end(), options.begin(), options.end());
    return all;
  }

  std::string dir_ = (std::filesystem::temp_directory_path() / "polizas-programs-XXXXXX").string();
  ScratchDatabase database_{ScratchDatabase::Contents::kNothing};

 private:
  std::vector<std::string> init_options_;
};

}  // namespace nv407::testing
