#include "support/PseudoTerminal.h"

#include "comms/Termios2.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace {

// How long to nap while no slave is open and the master reports a hang-up.
constexpr std::chrono::milliseconds HangUpNap{2};

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::generic_category().message(errno));
}

}  // namespace

void PseudoTerminal::Descriptor::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

PseudoTerminal::PseudoTerminal() {
  master_.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (master_.Get() < 0) throw SystemError("posix_openpt");
  if (grantpt(master_.Get()) != 0) throw SystemError("grantpt");
  if (unlockpt(master_.Get()) != 0) throw SystemError("unlockpt");
  std::array<char, 128> name{};
  if (ptsname_r(master_.Get(), name.data(), name.size()) != 0) throw SystemError("ptsname_r");
  slavePath_ = name.data();
}

void PseudoTerminal::KeepSlaveOpen() {
  slave_.Reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (slave_.Get() < 0) throw SystemError("open " + slavePath_);
}

void PseudoTerminal::Write(std::span<const uint8_t> bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(master_.Get(), bytes.data() + written, bytes.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      throw SystemError("write to the pseudo-terminal master");
    }
  }
}

bool PseudoTerminal::ReadSome(std::vector<uint8_t>& out, std::size_t most,
                              std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd master{master_.Get(), POLLIN, 0};
    const int ready = poll(&master, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) throw SystemError("poll of the pseudo-terminal master");
    if (ready <= 0) continue;
    if ((master.revents & POLLIN) != 0) {
      std::array<uint8_t, 4096> buffer{};
      const ssize_t n = ::read(master_.Get(), buffer.data(), std::min(buffer.size(), most));
      if (n > 0) {
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
        return true;
      }
      if (n < 0 && errno != EIO && errno != EINTR && errno != EAGAIN) {
        throw SystemError("read from the pseudo-terminal master");
      }
    }
    // No slave is open now (the program is between a close and a reopen).
    std::this_thread::sleep_for(HangUpNap);
  }
}

std::vector<uint8_t> PseudoTerminal::ReadAvailable(std::chrono::milliseconds quiet,
                                                   std::chrono::milliseconds limit) {
  std::vector<uint8_t> received;
  constexpr std::size_t any = SIZE_MAX;
  if (!ReadSome(received, any, limit)) return received;
  while (ReadSome(received, any, quiet)) {
  }
  return received;
}

std::vector<uint8_t> PseudoTerminal::ReadExactly(std::size_t n, std::chrono::milliseconds limit) {
  std::vector<uint8_t> received;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (received.size() < n) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadSome(received, n - received.size(), left)) break;
  }
  return received;
}

uint32_t PseudoTerminal::SlaveBaudRate() const {
  termios2 line{};
  if (ioctl(master_.Get(), TCGETS2, &line) != 0) throw SystemError("TCGETS2 on the master");
  return line.c_ospeed;
}

termios PseudoTerminal::SlaveTermios() const {
  termios attributes{};
  if (tcgetattr(master_.Get(), &attributes) != 0) throw SystemError("tcgetattr on the master");
  return attributes;
}

void PseudoTerminal::CloseMaster() {
  master_.Reset();
}
