// Running part of a test in a child process, so that what it changes (its user, its
// mounts) does not outlive it.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <fstream>
#include <functional>
#include <string>

namespace nv407::testing {

// What `run` says, run in a child process ("refused: WHY" for an exception it throws).
inline std::string InChild(const std::function<std::string()>& run) {
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_ends[0]);
    std::string said;
    try {
      said = run();
    } catch (const std::exception& failure) {
      said = std::string("refused: ") + failure.what();
    }
    const ssize_t written = ::write(pipe_ends[1], said.data(), said.size());
    ::_exit(written == static_cast<ssize_t>(said.size()) ? 0 : 1);
  }
  ::close(pipe_ends[1]);
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) said.append(buffer, n);
  ::close(pipe_ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return said;
}

// In a child: gives it mounts of its own (through a user namespace where it is not root),
// none of them shared with the rest of the machine. False where the machine lets no test
// mount.
inline bool InMountNamespaceOfItsOwn() {
  if (::unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

}  // namespace nv407::testing
