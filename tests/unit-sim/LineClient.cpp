#include "LineClient.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "LineSettings.h"

namespace {

using Clock = std::chrono::steady_clock;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::generic_category().message(errno));
}

}  // namespace

LineClient::LineClient(const std::string& path, uint32_t speed)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
  if (!fd_.Valid()) throw SystemError("open " + path);
  SetSpeed(speed);
}

void LineClient::SetSpeed(uint32_t speed) {
  unitsim::SetRawLine(fd_.Get(), speed);
}

void LineClient::Send(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd_.Get(), bytes.data(), bytes.size());
    if (count > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(count));
    } else if (count < 0 && errno == EAGAIN) {
      pollfd line{fd_.Get(), POLLOUT, 0};
      poll(&line, 1, 1000);
    } else if (errno != EINTR) {
      throw SystemError("write to the line");
    }
  }
}

LineClient::Bytes LineClient::ReadUntil(const Complete& complete, std::chrono::milliseconds limit) {
  Bytes bytes;
  const auto end = Clock::now() + limit;
  while (!complete(bytes)) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) break;
    pollfd line{fd_.Get(), POLLIN, 0};
    if (poll(&line, 1, static_cast<int>(left.count())) <= 0) continue;
    if ((line.revents & POLLIN) == 0) break;
    uint8_t buffer[512];
    const ssize_t count = ::read(fd_.Get(), buffer, sizeof buffer);
    if (count > 0) bytes.insert(bytes.end(), buffer, buffer + count);
  }
  return bytes;
}

LineClient::Bytes LineClient::ReadFor(std::chrono::milliseconds time) {
  return ReadUntil([](const Bytes&) { return false; }, time);
}

bool LineClient::SeesHangUp(std::chrono::milliseconds limit) {
  pollfd line{fd_.Get(), POLLIN, 0};
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (poll(&line, 1, 100) > 0 && (line.revents & POLLHUP) != 0) return true;
    uint8_t buffer[64];
    if ((line.revents & POLLIN) != 0 && ::read(fd_.Get(), buffer, sizeof buffer) < 0 &&
        errno == EIO) {
      return true;
    }
  }
  return false;
}

LineClient::Complete BytesArrived(std::size_t count) {
  return [count](const LineClient::Bytes& bytes) { return bytes.size() >= count; };
}

bool BootFrameArrived(const LineClient::Bytes& bytes) {
  // An unpaired DLE before ETX: count the DLEs in the run before it.
  for (std::size_t i = 1; i < bytes.size(); ++i) {
    if (bytes[i] != 0x03 || bytes[i - 1] != 0x10) continue;
    std::size_t run = 0;
    while (run < i && bytes[i - 1 - run] == 0x10) ++run;
    if (run % 2 == 1 && i >= 3) return true;
  }
  return false;
}
