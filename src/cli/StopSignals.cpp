#include "cli/StopSignals.h"

#include <csignal>

StopSignals::StopSignals(std::function<void(int)> onFirst)
    : watch_({SIGINT, SIGTERM}), onFirst_(std::move(onFirst)) {
  watch_.Deliver([this](int signal) {
    int expected = 0;
    if (received_.compare_exchange_strong(expected, signal) && onFirst_) onFirst_(signal);
  });
}
