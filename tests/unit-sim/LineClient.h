#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "Descriptor.h"

// The program's end of the line in the end-to-end tests: opens the slave path unit-sim
// printed, at a line speed of its choosing.
class LineClient {
 public:
  using Bytes = std::vector<uint8_t>;
  using Complete = std::function<bool(const Bytes&)>;

  // Throws std::runtime_error.
  LineClient(const std::string& path, uint32_t speed);
  // Works on a descriptor already open, such as a pseudo-terminal master of the test's own.
  explicit LineClient(unitsim::Descriptor fd) : fd_(std::move(fd)) {}

  void SetSpeed(uint32_t speed);
  void Send(std::span<const uint8_t> bytes);
  // Collects bytes until `complete` says they are, or `limit` passes.
  Bytes ReadUntil(const Complete& complete, std::chrono::milliseconds limit);
  // Everything that arrives within `time`.
  Bytes ReadFor(std::chrono::milliseconds time);
  // Whether the line reports a hang-up within `limit`.
  bool SeesHangUp(std::chrono::milliseconds limit);

 private:
  unitsim::Descriptor fd_;
};

// A Modbus reply of this many bytes.
LineClient::Complete BytesArrived(std::size_t count);
// A boot frame ending in an unpaired DLE ETX.
bool BootFrameArrived(const LineClient::Bytes& bytes);
