#include "host/services/password_input.h"

#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "component/error.h"
#include "host/db/text.h"
#include "host/services/password.h"

namespace nv407::host {
namespace {

std::optional<std::string> Line(std::istream& input) {
  std::string line;
  if (!std::getline(input, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The terminal as it was before its echo went off, for a signal that ends the program
// meanwhile (Ctrl-C at the prompt): the shell would be left typing unseen.
termios typing_shown;
volatile std::sig_atomic_t typing_hidden = 0;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void ShowTypingAndEnd(int signal) {
  if (typing_hidden) tcsetattr(STDIN_FILENO, TCSAFLUSH, &typing_shown);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The terminal's echo off for its lifetime.
class HiddenTyping {
 public:
  HiddenTyping() : saved_ok_(tcgetattr(STDIN_FILENO, &typing_shown) == 0) {
    if (!saved_ok_) return;
    typing_hidden = 1;
    struct sigaction ending {};
    ending.sa_handler = ShowTypingAndEnd;
    sigemptyset(&ending.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], nullptr, &before_[i]);
      if (before_[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &ending, nullptr);
    }
    termios hidden = typing_shown;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
  }
  ~HiddenTyping() {
    if (!saved_ok_) return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &typing_shown);
    typing_hidden = 0;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &before_[i], nullptr);
  }
  HiddenTyping(const HiddenTyping&) = delete;
  HiddenTyping& operator=(const HiddenTyping&) = delete;

 private:
  bool saved_ok_;
  struct sigaction before_[std::size(kEndingSignals)]{};
};

}  // namespace

// No password is empty: signing in with one would only count a failure against the
// operator, each time a scheduled script ran with its file emptied.
std::string PasswordFromFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw Error("cannot read the password file " + path);
  std::optional<std::string> line = Line(file);
  if (file.bad())
    throw Error("cannot read the password file " + path + ": " + std::strerror(errno));
  if (line) *line = WithoutByteOrderMark(*line);
  if (!line || line->empty())
    throw Error("the password file " + path + " holds no password: its first line is empty");
  // As a settings file holding a password: others could read it, or write one that locks the
  // operator out.
  if (OpenToOthers(path)) {
    throw Error("the password file " + path + " may be used by others than its owner: make it " +
                ReadableByItsOwnerAlone(path));
  }
  return *line;
}

bool OpenToOthers(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0;
}

std::string ReadableByItsOwnerAlone(const std::string& path) {
  return "readable by its owner alone (chmod 600 " + path + ")";
}

std::optional<std::string> GivenPassword(const std::optional<std::string>& file) {
  if (file) return PasswordFromFile(*file);
  const char* variable = std::getenv(kPasswordVariable);
  if (variable == nullptr) return std::nullopt;
  // A line's end is no part of a password, there as in a file (a value read from a file
  // that a Windows editor saved ends in CR).
  std::string password(variable);
  while (!password.empty() && (password.back() == '\n' || password.back() == '\r'))
    password.pop_back();
  if (password.empty())
    throw Error(std::string("the environment variable ") + kPasswordVariable + " is empty");
  return password;
}

PasswordPrompt::PasswordPrompt(std::istream& input)
    : input_(input), terminal_(&input == &std::cin && isatty(STDIN_FILENO) == 1) {}

std::optional<std::string> PasswordPrompt::Ask(const std::string& prompt) {
  if (!terminal_) {
    // Input from a file a Windows editor saved may start with a byte order mark.
    std::optional<std::string> line = Line(input_);
    if (line) *line = WithoutByteOrderMark(*line);
    return line;
  }
  std::optional<std::string> typed;
  {
    // Hidden before the prompt shows: turning the echo off drops what was typed ahead.
    HiddenTyping hidden;
    std::cerr << prompt << std::flush;
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
