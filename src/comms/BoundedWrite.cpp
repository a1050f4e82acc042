#include "comms/BoundedWrite.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

// Each byte on the line takes a start bit, 8 data bits and a stop bit.
constexpr uint64_t BitsPerByte = 10;
// For the time limit when the port reports no speed.
constexpr uint32_t AssumedBaudRate = 9600;

}  // namespace

bool WriteWithinLineTime(int fd, std::span<const uint8_t> bytes, uint32_t baudRate, int graceMs) {
  const uint64_t bitsPerSecond = baudRate != 0 ? baudRate : AssumedBaudRate;
  const auto lineTime =
      std::chrono::milliseconds(bytes.size() * BitsPerByte * 1000 / bitsPerSecond);
  const auto deadline =
      std::chrono::steady_clock::now() + lineTime + std::chrono::milliseconds(graceMs);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    // The output buffer is full: wait until it takes more, but not past the
    // deadline.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd port{fd, POLLOUT, 0};
    const int ready = poll(&port, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (port.revents & POLLOUT) == 0) return false;
  }
  return true;
}
