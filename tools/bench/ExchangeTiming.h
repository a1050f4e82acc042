#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "TimedTranscript.h"

// The tool's side of each exchange, as the unit sees it: from the end of a
// reply to the start of the next request, less the pause that the update
// must keep there. It splits at the moment the program handled the reply's
// last bytes: receiving, then turning round to the next request.
struct ExchangeTiming {
  std::size_t requests = 0;
  // Milliseconds, one each for every answered request that another follows.
  std::vector<double> overheadMs;
  std::vector<double> receiveMs;
  std::vector<double> turnaroundMs;
  // The pauses the update keeps between requests, in all.
  double fixedPauseSeconds = 0;
  std::size_t phaseEnds = 0;
  std::size_t readDelays = 0;
};

// handledSeconds are the monotonic times at which the program finished
// handling each chunk it received, in order. modelReadDelayMs is the
// product's pause after each erase, row and first model request (none when
// 0 or less).
ExchangeTiming TimeExchanges(const std::vector<TranscriptRecord>& records,
                             const std::vector<double>& handledSeconds, int32_t modelReadDelayMs);
