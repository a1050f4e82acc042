#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "TimedTranscript.h"

// When the program did its part of the exchanges, on the monotonic clock of
// the unit's timestamps.
struct ProgramMoments {
  // Each received chunk handled, in order.
  std::vector<double> replyHandled;
  // Each time the update engine took the link for a request, in order.
  std::vector<double> linkTaken;
};

// The program's part of each exchange: from the end of a reply on the line
// to the program taking the link for the next request, less the pause that
// the update must keep there. It splits at the moment the program handled
// the reply's last bytes: receiving, then turning round.
struct ExchangeTiming {
  std::size_t requests = 0;
  // Milliseconds, one each for every answered request that another follows.
  std::vector<double> overheadMs;
  std::vector<double> receiveMs;
  std::vector<double> turnaroundMs;
  // Not the program's: from taking the link to the unit hearing the request.
  std::vector<double> hearingMs;
  // The pauses the update keeps between requests, in all.
  double fixedPauseSeconds = 0;
  std::size_t phaseEnds = 0;
  std::size_t readDelays = 0;
};

// modelReadDelayMs is the product's pause after each erase, row and first
// model request (none when 0 or less).
ExchangeTiming TimeExchanges(const std::vector<TranscriptRecord>& records,
                             const ProgramMoments& moments, int32_t modelReadDelayMs);
