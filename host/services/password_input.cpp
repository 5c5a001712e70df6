#include "host/services/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "component/error.h"
#include "host/services/password.h"

namespace nv407::host {
namespace {

std::optional<std::string> Line(std::istream& input) {
  std::string line;
  if (!std::getline(input, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The terminal's echo off for its lifetime.
class HiddenTyping {
 public:
  HiddenTyping() : saved_ok_(tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!saved_ok_) return;
    termios hidden = saved_;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
  }
  ~HiddenTyping() {
    if (saved_ok_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  HiddenTyping(const HiddenTyping&) = delete;
  HiddenTyping& operator=(const HiddenTyping&) = delete;

 private:
  termios saved_{};
  bool saved_ok_;
};

}  // namespace

std::string PasswordFromFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw Error("cannot read the password file " + path);
  return Line(file).value_or("");
}

std::optional<std::string> GivenPassword(const std::optional<std::string>& file) {
  if (file) return PasswordFromFile(*file);
  const char* variable = std::getenv(kPasswordVariable);
  if (variable != nullptr) return std::string(variable);
  return std::nullopt;
}

PasswordPrompt::PasswordPrompt(std::istream& input)
    : input_(input), terminal_(&input == &std::cin && isatty(STDIN_FILENO) == 1) {}

std::optional<std::string> PasswordPrompt::Ask(const std::string& prompt) {
  if (!terminal_) return Line(input_);
  std::cerr << prompt << std::flush;
  std::optional<std::string> typed;
  {
    HiddenTyping hidden;
    typed = Line(input_);
  }
  std::cerr << "\n";
  return typed;
}

std::string PasswordPrompt::AskNew(const std::string& prompt) {
  const std::optional<std::string> password = Ask(prompt);
  if (!password) throw Error("no new password given on standard input");
  if (terminal_ && Ask("Repeat it: ") != password) throw Error("the two passwords differ");
  const std::string problem = PasswordProblem(*password);
  if (!problem.empty()) throw Error(problem);
  return *password;
}

}  // namespace nv407::host
