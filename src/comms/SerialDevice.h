#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "comms/CommsTypes.h"

// A serial device opened for exclusive use, in raw mode: the POSIX layer
// under the link. It knows descriptors and termios, nothing of frames.
class SerialDevice {
 public:
  enum class OpenResult {
    Opened,
    Unavailable,          // missing, in use by another program, or no access
    NotACharacterDevice,  // opened, but not a device the link can drive; closed again
  };

  SerialDevice() = default;
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens path read-write without making it the controlling terminal, takes
  // exclusive use (TIOCEXCL and an advisory flock, which also holds against
  // root) and checks that it is a character device.
  OpenResult Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

  // Raw mode (no echo, no canonical input, no flow control, breaks ignored,
  // no parity check of input) with the given line settings; any speed
  // through termios2. A setting the driver rejects leaves the driver's own;
  // the outcome is read back, not assumed. Asks for the low-latency flag
  // where the driver has one.
  void Configure(const LineSettings& settings);

  // The line settings the driver holds now.
  LineSettings CurrentSettings() const;

  // Discards unread input and unsent output.
  void Purge();

  // Writes all bytes, waiting until the driver has taken them; false when
  // the write fails or stops short.
  bool Write(std::span<const uint8_t> bytes);

  // Gives up exclusive use and closes the descriptor; harmless when closed.
  void Close();

 private:
  int fd_ = -1;
};
