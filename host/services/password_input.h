#pragma once

#include <istream>
#include <optional>
#include <string>

namespace nv407::host {

// Where the programs take a password from: never their command line, which other users
// of the machine can read.

// The environment variable a script sets to the signing-in operator's password.
inline constexpr const char* kPasswordVariable = "POLIZAS_PASSWORD";

// The first line of a file, without its line end; raises an Error when it cannot be read,
// that line is empty, or the file is OpenToOthers.
std::string PasswordFromFile(const std::string& path);
// Whether users other than its owner have any permission on the file (its group's or others'
// bits): a file holding a password is refused then, and ReadableByItsOwnerAlone said. False
// where the file cannot be examined: reading it says why.
bool OpenToOthers(const std::string& path);
// "readable by its owner alone (chmod 600 PATH)"
std::string ReadableByItsOwnerAlone(const std::string& path);
// A file given (--password-file) first, else the environment variable (an Error when it is
// empty); none without either.
std::optional<std::string> GivenPassword(const std::optional<std::string>& file);

// Passwords read from standard input, one line each: from a terminal after a prompt on
// standard error with the typing not shown, else (a script's pipe) line by line.
class PasswordPrompt {
 public:
  explicit PasswordPrompt(std::istream& input);
  // None at the end of the input.
  std::optional<std::string> Ask(const std::string& prompt);
  // A new password: asked twice on a terminal. Raises an Error when there is none, the two
  // differ, or it will not do (PasswordProblem).
  std::string AskNew(const std::string& prompt);

 private:
  std::istream& input_;
  bool terminal_;
};

}  // namespace nv407::host
