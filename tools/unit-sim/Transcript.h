#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string_view>

namespace unitsim {

// One line per frame heard or sent ("rx 9600 13 03 00 14 00 02 87 7D") and per event
// ("boot-entry G 115200"), each flushed as it is written so that a reader sees it at once.
// With timestamps every line starts with the monotonic time it was written, in seconds
// ("5123.004211 rx 9600 ..."), and the end of each reply is noted too.
class Transcript {
 public:
  explicit Transcript(std::ostream& out, bool timestamps = false)
      : out_(out), timestamps_(timestamps) {}

  // `what` is rx, tx, ignored, busy or skipped; `speed` the line speed the bytes went at.
  void Traffic(std::string_view what, uint32_t speed, std::span<const uint8_t> bytes);
  void Event(std::string_view text);
  // The reply's last byte has gone out: "sent", noted only with timestamps, for timing.
  void ReplySent();

 private:
  void StartLine();

  std::ostream& out_;
  bool timestamps_;
};

}  // namespace unitsim
