#include "programs/script_runner.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace nv407::testing {
namespace {

// One word for /bin/sh, whatever it holds.
std::string ShellWord(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "polizas-script-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::File(const std::string& name) const {
  return (std::filesystem::path(path_) / name).string();
}

std::string ProgramPath(const std::string& name) {
  const char* build = std::getenv("POLIZAS_BUILD_DIR");
  if (build == nullptr) throw std::runtime_error("POLIZAS_BUILD_DIR is not set");
  return (std::filesystem::path(build) / "bin" / name).string();
}

ProgramRun RunProgram(const ScratchDir& dir, const std::string& program,
                      const std::vector<std::string>& args, const std::string& input) {
  std::string command = ShellWord(ProgramPath(program));
  for (const std::string& arg : args) command += " " + ShellWord(arg);
  const std::string in = dir.File("stdin.txt"), out = dir.File("stdout.txt"),
                    err = dir.File("stderr.txt");
  WriteFile(in, input);
  command += " <" + ShellWord(in) + " >" + ShellWord(out) + " 2>" + ShellWord(err);

  const int status = std::system(command.c_str());
  ProgramRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  for (const char* file : {in.c_str(), out.c_str(), err.c_str()}) std::filesystem::remove(file);
  return run;
}

ProgramRun RunScript(const ScratchDir& dir, const std::vector<std::string>& args,
                     const std::string& input) {
  ProgramRun run = RunProgram(dir, "polizas-script", args, input);
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    try {
      run.lines.push_back(Json::parse(line));
    } catch (const Json::parse_error&) {
      ADD_FAILURE() << "not a JSON line: " << line;
    }
  }
  return run;
}

std::string NewDemoDatabase(const ScratchDir& dir, const std::string& name) {
  const std::string path = dir.File(name);
  const ProgramRun run = RunProgram(dir, "polizas-db", {"init", path, "--demo"});
  if (run.exit_code != 0) throw std::runtime_error("polizas-db init failed: " + run.err);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<Json> ReadJsonLines(const std::string& path) {
  std::vector<Json> values;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) values.push_back(Json::parse(line));
  return values;
}

std::vector<Json> Events(const std::vector<Json>& lines, const std::string& kind) {
  std::vector<Json> events;
  for (const Json& line : lines)
    if (line.value("event", "") == kind) events.push_back(line);
  return events;
}

std::vector<std::string> EventKinds(const std::vector<Json>& lines) {
  std::vector<std::string> kinds;
  for (const Json& line : lines) kinds.push_back(line.value("event", "?"));
  return kinds;
}

}  // namespace nv407::testing
