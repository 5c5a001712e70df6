// Running the programs as built (POLIZAS_BUILD_DIR) from the program tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace nv407::testing {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

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

// Runs build/bin/PROGRAM with the arguments and `input` on its standard input, its files
// in `dir`; `as_user`: run by that system user instead (only root can).
inline ProgramOutput RunProgram(const std::string& dir, const std::string& program,
                                const std::vector<std::string>& args, const std::string& input,
                                const std::string& as_user = "") {
  const char* build = std::getenv("POLIZAS_BUILD_DIR");
  if (build == nullptr) throw std::runtime_error("POLIZAS_BUILD_DIR is not set");
  std::string command = ShellWord(std::string(build) + "/bin/" + program);
  if (!as_user.empty()) command.insert(0, "runuser -u " + ShellWord(as_user) + " -- ");
  for (const std::string& arg : args) command += ' ' + ShellWord(arg);
  std::ofstream(dir + "/stdin.txt", std::ios::binary) << input;
  command += " <" + ShellWord(dir + "/stdin.txt") + " >" + ShellWord(dir + "/stdout.txt") + " 2>" +
             ShellWord(dir + "/stderr.txt");
  const int status = std::system(command.c_str());
  ProgramOutput run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(dir + "/stdout.txt");
  run.err = ReadFile(dir + "/stderr.txt");
  return run;
}

}  // namespace nv407::testing
