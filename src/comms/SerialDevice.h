#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "comms/CommsTypes.h"
#include "comms/PortDevice.h"
#include "comms/PortLockFile.h"
#include "comms/PortProblem.h"

// A serial device opened for exclusive use, in raw mode: the POSIX layer
// under the link. It knows descriptors and termios, nothing of frames.
class SerialDevice : public PortDevice {
 public:
  SerialDevice() = default;
  ~SerialDevice() override;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens path read-write without making it the controlling terminal and
  // without waiting, checks that it is a terminal, and takes exclusive use:
  // TIOCEXCL, an advisory flock and the port's lock file in /var/lock. A
  // port another program holds (its exclusive flag set, its lock file naming
  // a live process, or its flock) is refused, even to root; a hold left by
  // one that ended, while no other process has the device open, is taken
  // over with a line on standard error. Problem() says why an open failed.
  OpenResult Open(const std::string& path) override;
  const PortProblem& Problem() const override { return problem_; }
  bool IsOpen() const override { return fd_ >= 0; }
  int Descriptor() const override { return fd_; }

  // Raw mode (no echo, no canonical input, no flow control, breaks ignored,
  // no parity check of input) with the given line settings; any speed
  // through termios2. A setting the driver rejects leaves the driver's own;
  // the outcome is read back, not assumed, and a speed the driver could not
  // set within 2% is reported on standard error. Asks for the low-latency
  // flag where the driver has one.
  void Configure(const LineSettings& settings) override;

  // The line settings the driver holds now.
  LineSettings CurrentSettings() const override;

  // Discards unread input and unsent output.
  void Purge() override;

  // Writes all bytes, waiting until the driver has taken them; false when
  // the write fails or stops short, or when the driver has not taken them
  // within their time on the line plus WriteGrace (a stalled or unplugged
  // adapter).
  bool Write(std::span<const uint8_t> bytes) override;

  // Gives up exclusive use and closes the descriptor; harmless when closed.
  void Close() override;

 private:
  OpenResult Refuse(OpenResult result, PortProblem problem);
  void CheckSpeed(uint32_t asked);

  int fd_ = -1;
  std::string path_;
  uint32_t baudRate_ = 0;
  PortLockFile lockFile_;
  PortProblem problem_;
};
