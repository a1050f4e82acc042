#include "Line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "LineSettings.h"

namespace unitsim {

namespace {

// How long a write waits for a full line to take more bytes before the rest is given up.
constexpr int FullLineWaitMs = 2000;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::generic_category().message(errno));
}

std::string DeviceOpenAdvice(const std::string& path) {
  switch (errno) {
    case EACCES:
      return "permission denied on " + path +
             ": add yourself to the dialout group (then log in again)";
    case ENOENT:
      return "no device " + path + ": check the path (ls /dev/serial/by-id/ lists adapters)";
    case EBUSY:
      return path + " is in use by another program: close that program first";
    default:
      return std::string("cannot open ") + path + ": " + std::generic_category().message(errno);
  }
}

}  // namespace

Line::Line(Descriptor line, Descriptor heldSlave, std::string path, bool pseudoTerminal,
           uint32_t speed)
    : line_(std::move(line)),
      heldSlave_(std::move(heldSlave)),
      path_(std::move(path)),
      pseudoTerminal_(pseudoTerminal),
      speed_(speed) {}

Line Line::PseudoTerminal(uint32_t speed, std::optional<int> heldMaster) {
  Descriptor master(heldMaster ? ::fcntl(*heldMaster, F_DUPFD_CLOEXEC, 0)
                               : posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!master.Valid()) throw SystemError("cannot make a pseudo-terminal");
  if (heldMaster && ::fcntl(master.Get(), F_SETFL, O_NONBLOCK) != 0)
    throw SystemError("cannot use the pseudo-terminal of --pty-fd");
  if (grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0) {
    throw SystemError("cannot unlock the pseudo-terminal");
  }
  std::array<char, 128> name{};
  if (ptsname_r(master.Get(), name.data(), name.size()) != 0) {
    throw SystemError("cannot name the pseudo-terminal");
  }
  Descriptor slave(::open(name.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!slave.Valid()) throw SystemError(std::string("cannot open ") + name.data());
  SetRawLine(slave.Get(), speed);
  return Line(std::move(master), std::move(slave), name.data(), true, speed);
}

Line Line::Device(const std::string& path, uint32_t speed) {
  Descriptor device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!device.Valid()) throw std::runtime_error(DeviceOpenAdvice(path));
  SetRawLine(device.Get(), speed);
  return Line(std::move(device), Descriptor(), path, false, speed);
}

std::optional<uint32_t> Line::OtherSideSpeed() const {
  if (!pseudoTerminal_ || !IsOpen()) return std::nullopt;
  try {
    return ReadLineSettings(line_.Get()).c_ospeed;
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

void Line::ListenAt(uint32_t speed) {
  if (pseudoTerminal_ || !IsOpen() || speed == speed_) return;
  SetRawLine(line_.Get(), speed);
  speed_ = speed;
}

Line::ReadResult Line::Read(std::span<uint8_t> buffer) {
  const ssize_t count = ::read(line_.Get(), buffer.data(), buffer.size());
  if (count > 0) return {ReadState::Data, static_cast<std::size_t>(count)};
  if (count < 0 && (errno == EAGAIN || errno == EINTR)) return {ReadState::Nothing, 0};
  return {ReadState::HungUp, 0};
}

bool Line::Write(std::span<const uint8_t> bytes) {
  while (!bytes.empty() && IsOpen()) {
    const ssize_t count = ::write(line_.Get(), bytes.data(), bytes.size());
    if (count > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(count));
    } else if (count < 0 && errno == EAGAIN) {
      pollfd line{line_.Get(), POLLOUT, 0};
      if (poll(&line, 1, FullLineWaitMs) <= 0 || (line.revents & POLLOUT) == 0) return false;
    } else if (count == 0 || errno != EINTR) {
      return false;
    }
  }
  return bytes.empty();
}

void Line::HangUp() {
  line_.Reset();
  heldSlave_.Reset();
}

}  // namespace unitsim
