#include "UnitSimChild.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

UnitSimChild::UnitSimChild(const std::vector<std::string>& options) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  output_.Reset(pipeEnds[0]);
  unitsim::Descriptor writeEnd(pipeEnds[1]);
  std::vector<std::string> words{UNIT_SIM_PATH};
  words.insert(words.end(), options.begin(), options.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
  const int error = posix_spawn(&pid_, UNIT_SIM_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  // Only the child may hold the write end: the reader sees the end of a unit
  // that quits at once only when the last one closes.
  writeEnd.Reset();
  if (error != 0) {
    pid_ = -1;
    throw std::runtime_error(std::string("cannot start unit-sim: ") +
                             std::generic_category().message(error));
  }
  reader_ = std::thread([this] { ReadOutput(); });
  if (!WaitForLine("/")) {
    Stop();
    throw std::runtime_error("unit-sim printed no path");
  }
  const std::lock_guard lock(mutex_);
  path_ = lines_.front();
  lines_.erase(lines_.begin());
}

UnitSimChild::~UnitSimChild() {
  Stop();
}

void UnitSimChild::ReadOutput() {
  std::string partial;
  char buffer[4096];
  for (;;) {
    const ssize_t count = ::read(output_.Get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    const std::lock_guard lock(mutex_);
    if (count <= 0) {
      ended_ = true;
      changed_.notify_all();
      return;
    }
    partial.append(buffer, static_cast<std::size_t>(count));
    for (std::size_t end = 0; (end = partial.find('\n')) != std::string::npos;) {
      lines_.push_back(partial.substr(0, end));
      partial.erase(0, end + 1);
    }
    changed_.notify_all();
  }
}

bool UnitSimChild::HasLineLocked(std::string_view text) const {
  for (const std::string& line : lines_) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

bool UnitSimChild::HasLine(std::string_view text) {
  const std::lock_guard lock(mutex_);
  return HasLineLocked(text);
}

bool UnitSimChild::WaitForLine(std::string_view text, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return ended_ || HasLineLocked(text); }) &&
         HasLineLocked(text);
}

std::vector<std::string> UnitSimChild::Lines() {
  const std::lock_guard lock(mutex_);
  return lines_;
}

void UnitSimChild::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

bool UnitSimChild::Running() {
  if (pid_ < 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  pid_ = -1;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

int UnitSimChild::Stop() {
  if (Running()) {
    Signal(SIGTERM);
    const auto end = Clock::now() + DefaultLimit;
    while (Running() && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (Running()) {
      Signal(SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      status_ = -1;
    }
  }
  // The child is gone, so its end of the pipe is closed and the reader sees the end.
  if (reader_.joinable()) reader_.join();
  return status_;
}
