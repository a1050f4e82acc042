#pragma once

#include <cstdint>

// How an update run ended, as the sequence tells its view: completed (the
// erase and the send succeeded and finalising ended without error), or the
// state whose failure ended it.
struct RunOutcome {
  bool Completed = false;
  int32_t FailedState = -1;  // an UpdateState; -1 when completed
};
