#include "comms/SpeedCheck.h"

#include <cerrno>
#include <cstdio>

namespace {

// A speed set further than this from the one asked for is told.
constexpr double SpeedTolerance = 0.02;

}  // namespace

void WarnOfSpeedSet(const std::string& port, const char* setBy, uint32_t set, uint32_t asked) {
  if (set >= asked * (1 - SpeedTolerance) && set <= asked * (1 + SpeedTolerance)) return;
  std::fprintf(stderr, "%s: %s: %s set %u bit/s for the %u bit/s asked for\n",
               program_invocation_short_name, port.c_str(), setBy, set, asked);
}
