// Where the programs take a password from: a file, or a terminal (a pseudo-terminal stands for
// the user's).
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "component/error.h"
#include "host/services/password_input.h"

namespace nv407::host {
namespace {

// A program asking for a new password on a terminal of its own, as polizas-db init does.
class PromptOnATerminal {
 public:
  PromptOnATerminal() {
    child_ = ::forkpty(&terminal_, nullptr, nullptr, nullptr);
    if (child_ != 0) return;
    try {
      const std::string password = PasswordPrompt(std::cin).AskNew("Clave: ");
      std::cerr << "tomada: " << password.size() << " caracteres\n";
    } catch (const std::exception& refused) {
      std::cerr << "rechazada: " << refused.what() << "\n";
    }
    ::_exit(0);
  }
  ~PromptOnATerminal() {
    if (terminal_ >= 0) ::close(terminal_);
  }

  // What the terminal shows, up to and including `text`, or what it showed within 10 s.
  std::string ShownUpTo(const std::string& text) {
    std::string shown;
    pollfd ready{terminal_, POLLIN, 0};
    char c;
    while (shown.find(text) == std::string::npos && ::poll(&ready, 1, 10000) == 1 &&
           ::read(terminal_, &c, 1) == 1)
      shown += c;
    return shown;
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(::write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Started on a pseudo-terminal and showing its prompt, the echo then off.
  bool Prompted() { return child_ > 0 && ShownUpTo("Clave: ").ends_with("Clave: "); }
  bool Echoes() const {
    termios settings{};
    return ::tcgetattr(terminal_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }
  int Ended() {
    int status = 0;
    ::waitpid(child_, &status, 0);
    return status;
  }

 private:
  int terminal_ = -1;
  pid_t child_ = -1;
};

// The password is asked twice and never shown, and the terminal echoes again afterwards.
TEST(PasswordPrompt, OnATerminalANewPasswordIsAskedTwiceUnseen) {
  PromptOnATerminal program;
  ASSERT_TRUE(program.Prompted());
  EXPECT_FALSE(program.Echoes());
  program.Type("una clave larga\n");
  program.ShownUpTo("Repeat it: ");
  program.Type("una clave larga\n");
  const std::string shown = program.ShownUpTo("caracteres");
  EXPECT_EQ(shown.find("una clave"), std::string::npos) << shown;
  EXPECT_NE(shown.find("tomada: 15 caracteres"), std::string::npos) << shown;
  EXPECT_EQ(program.Ended(), 0);
  EXPECT_TRUE(program.Echoes());
}

// Ctrl-C at the prompt ends the program as Ctrl-C does, leaving the terminal echoing:
// the shell the user goes back to shows what is typed.
TEST(PasswordPrompt, CtrlCAtThePromptLeavesTheTerminalEchoing) {
  PromptOnATerminal program;
  ASSERT_TRUE(program.Prompted());
  ASSERT_FALSE(program.Echoes());
  program.Type("\x03");
  const int status = program.Ended();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_TRUE(program.Echoes());
}

// A password file is its owner's alone, as a settings file holding a password is: one that
// its group or other users may read, or write a password into, is refused before it is used.
TEST(PasswordFile, OnlyAFileOfItsOwnerAloneIsRead) {
  namespace fs = std::filesystem;
  std::string folder = (fs::temp_directory_path() / "polizas-password-XXXXXX").string();
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  const std::string path = folder + "/clave.txt";
  std::ofstream(path) << "clave de Rosa\n";
  const std::string refusal = "the password file " + path +
                              " may be used by others than its owner: make it readable by its "
                              "owner alone (chmod 600 " +
                              path + ")";
  using enum fs::perms;
  const struct {
    fs::perms mode;
    std::string read;
  } files[] = {
      {owner_read | owner_write, "clave de Rosa"},
      {owner_read, "clave de Rosa"},
      {owner_read | owner_write | group_read | others_read, refusal},  // 0644, as made
      {owner_read | group_read, refusal},
      {owner_read | others_read, refusal},
      {owner_read | group_write, refusal},
      {owner_read | others_write, refusal},
  };
  for (const auto& [mode, read] : files) {
    fs::permissions(path, mode);
    try {
      EXPECT_EQ(PasswordFromFile(path), read) << static_cast<int>(mode);
    } catch (const Error& refused) {
      EXPECT_EQ(refused.Description(), read) << static_cast<int>(mode);
    }
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace nv407::host
