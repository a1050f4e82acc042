#include "Transcript.h"

#include <time.h>

#include <cstdio>

#include "Bytes.h"

namespace unitsim {

void Transcript::Traffic(std::string_view what, uint32_t speed, std::span<const uint8_t> bytes) {
  StartLine();
  out_ << what << ' ' << speed << ' ' << ToHex(bytes) << std::endl;
}

void Transcript::Event(std::string_view text) {
  StartLine();
  out_ << text << std::endl;
}

void Transcript::ReplySent() {
  if (timestamps_) Event("sent");
}

void Transcript::StartLine() {
  if (!timestamps_) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%lld.%06ld ", static_cast<long long>(now.tv_sec),
                now.tv_nsec / 1000);
  out_ << stamp;
}

}  // namespace unitsim
