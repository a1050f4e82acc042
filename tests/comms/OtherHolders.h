#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

// What other programs do to a port a test offers: hold it through a
// descriptor of their own, in a process of their own, or try it as a user
// who is not root.

inline constexpr uid_t Nobody = 65534;
// Exit code of a child that could not become a user who is not root.
inline constexpr int CannotDropRoot = 77;

// A descriptor the test owns, closed when it goes.
class OwnedDescriptor {
 public:
  explicit OwnedDescriptor(int fd) : fd_(fd) {}
  ~OwnedDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  OwnedDescriptor(const OwnedDescriptor&) = delete;
  OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// A second descriptor of a path, as another program would hold it.
class OtherDescriptor : public OwnedDescriptor {
 public:
  explicit OtherDescriptor(const std::string& path)
      : OwnedDescriptor(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
};

// Another program as a child process named `name`: it runs `hold` (opens the
// port, sets its flag, locks it...) and stays as it is until it is killed.
// Whatever hold opens stays open in the child; it inherits no descriptor of
// the test's.
class ChildProcess {
 public:
  ChildProcess(const char* name, const std::function<bool()>& hold) {
    int ready[2] = {-1, -1};
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      if (ready[1] > 3) close_range(3, static_cast<unsigned>(ready[1]) - 1, 0);
      close_range(static_cast<unsigned>(ready[1]) + 1, ~0U, 0);
      prctl(PR_SET_NAME, name);
      const char held = hold() ? 1 : 0;
      if (write(ready[1], &held, 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(ready[1]);
    pollfd answer{ready[0], POLLIN, 0};
    char held = 0;
    ready_ = pid_ > 0 && poll(&answer, 1, ReadyLimitMs) == 1 && read(ready[0], &held, 1) == 1 &&
             held == 1;
    close(ready[0]);
  }
  ~ChildProcess() { Kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Whether hold succeeded.
  bool Ready() const { return ready_; }
  // SIGKILL: the child ends without closing or removing anything.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  static constexpr int ReadyLimitMs = 30000;
  pid_t pid_ = -1;
  bool ready_ = false;
};

// Runs body in a child process as a user who is not root and gives its exit
// code; CannotDropRoot when that user cannot be taken, -1 when the child
// did not end within the limit.
inline int RunAsUserWhoIsNotRoot(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0)) {
      _exit(CannotDropRoot);
    }
    _exit(body());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The errno of an open of path by a user who is not root, 0 when it opened.
inline int OpenErrorForUserWhoIsNotRoot(const std::string& path) {
  return RunAsUserWhoIsNotRoot([&path] {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    close(fd);
    return 0;
  });
}
