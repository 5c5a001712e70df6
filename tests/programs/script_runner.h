#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace nv407::testing {

using Json = nlohmann::ordered_json;  // keeps the order in which the program wrote the keys

// A temporary directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

struct ProgramRun {
  int exit_code = -1;
  std::string out, err;
  std::vector<Json> lines;  // standard output, one JSON value a line
};

// A program of the build's bin directory (POLIZAS_BUILD_DIR).
std::string ProgramPath(const std::string& name);

// Runs the program with the arguments (each passed as one word) and standard input from
// `input` (none when empty).
ProgramRun RunProgram(const ScratchDir& dir, const std::string& program,
                      const std::vector<std::string>& args, const std::string& input = "");
// Runs polizas-script; fails the test when a line of its output is not JSON.
ProgramRun RunScript(const ScratchDir& dir, const std::vector<std::string>& args,
                     const std::string& input = "");

// `polizas-db init PATH --demo` in the directory; returns PATH.
std::string NewDemoDatabase(const ScratchDir& dir, const std::string& name = "demo.db");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
std::vector<Json> ReadJsonLines(const std::string& path);

// The lines whose "event" is `kind`.
std::vector<Json> Events(const std::vector<Json>& lines, const std::string& kind);
std::vector<std::string> EventKinds(const std::vector<Json>& lines);

}  // namespace nv407::testing
