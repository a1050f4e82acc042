#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Descriptor.h"

// The unit-sim binary run as a child process. Its standard output (the slave path, then the
// transcript) is read through a pipe by a thread of ours, so that the child never blocks
// on a full pipe.
class UnitSimChild {
 public:
  // Starts unit-sim with these options and waits for the path it prints. Throws
  // std::runtime_error.
  explicit UnitSimChild(const std::vector<std::string>& options);
  ~UnitSimChild();
  UnitSimChild(const UnitSimChild&) = delete;
  UnitSimChild& operator=(const UnitSimChild&) = delete;

  const std::string& Path() const { return path_; }

  // Waits until a transcript line contains `text`; false when `limit` passes first.
  bool WaitForLine(std::string_view text, std::chrono::milliseconds limit = DefaultLimit);
  bool HasLine(std::string_view text);
  // The transcript lines read so far.
  std::vector<std::string> Lines();

  void Signal(int signal);
  // Sends SIGTERM and waits for the exit; returns the exit status, or -1 when it did not
  // exit normally within the limit.
  int Stop();
  bool Running();

  static constexpr std::chrono::milliseconds DefaultLimit{20000};

 private:
  void ReadOutput();
  bool HasLineLocked(std::string_view text) const;

  pid_t pid_ = -1;
  int status_ = -1;
  unitsim::Descriptor output_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool ended_ = false;
  std::thread reader_;
  std::string path_;
};
