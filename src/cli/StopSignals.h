#pragma once

#include <atomic>
#include <functional>

#include "update/SignalWatch.h"

// SIGINT and SIGTERM, taken from every thread of the program and delivered
// on the thread that made this object: the first one sets Received() and
// calls the handler; the program is not ended by them.
class StopSignals {
 public:
  // Call before any other thread starts, so that they all inherit the mask.
  explicit StopSignals(std::function<void(int signal)> onFirst);

  // The first signal's number, 0 while none came.
  const std::atomic<int>& Received() const { return received_; }

 private:
  SignalWatch watch_;
  std::function<void(int)> onFirst_;
  std::atomic<int> received_{0};
};
