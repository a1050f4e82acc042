#pragma once

#include <QSocketNotifier>
#include <atomic>
#include <functional>
#include <memory>

// SIGINT and SIGTERM, taken from every thread of the program and delivered
// on the thread that made this object: the first one sets Received() and
// calls the handler; the program is not ended by them.
class StopSignals {
 public:
  // Call before any other thread starts, so that they all inherit the mask.
  explicit StopSignals(std::function<void(int signal)> onFirst);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first signal's number, 0 while none came.
  const std::atomic<int>& Received() const { return received_; }

 private:
  void ReadSignal();

  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(int)> onFirst_;
  std::atomic<int> received_{0};
};
