#pragma once

#include <signal.h>

#include <initializer_list>
#include <vector>

#include "Descriptor.h"

namespace unitsim {

// Takes the given signals as readable events on a descriptor (signalfd) instead of letting
// them interrupt the program, so that the main loop handles them between two steps.
class SignalWatch {
 public:
  // Throws std::runtime_error.
  explicit SignalWatch(std::initializer_list<int> signals);
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  int Fd() const { return fd_.Get(); }
  // The signals that arrived since the last call, in order.
  std::vector<int> Take();

 private:
  sigset_t signals_{};
  Descriptor fd_;
};

}  // namespace unitsim
