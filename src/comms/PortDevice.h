#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "comms/CommsTypes.h"
#include "comms/PortProblem.h"

// A port the link can drive: a local serial device or a network port. The
// link and its receive thread see only this.
class PortDevice {
 public:
  enum class OpenResult {
    Opened,
    Unavailable,          // missing, in use, unreachable, or no access
    NotACharacterDevice,  // not a terminal the link can drive; closed again
  };

  PortDevice() = default;
  virtual ~PortDevice() = default;
  PortDevice(const PortDevice&) = delete;
  PortDevice& operator=(const PortDevice&) = delete;

  // Takes the port for exclusive use; Problem() says why it did not open.
  virtual OpenResult Open(const std::string& name) = 0;
  virtual const PortProblem& Problem() const = 0;
  virtual bool IsOpen() const = 0;

  // The descriptor the receive thread polls: readable when bytes have
  // arrived, and read() returns them; after the end of the device (a
  // hang-up, a lost connection) it stays readable and read() returns 0.
  virtual int Descriptor() const = 0;

  // Sets the line settings and reads them back; a speed that was not taken
  // within 2% is reported on standard error.
  virtual void Configure(const LineSettings& settings) = 0;
  // The line settings the port holds now.
  virtual LineSettings CurrentSettings() const = 0;

  // Discards unread input and unsent output.
  virtual void Purge() = 0;

  // Writes all bytes; false when they were not all taken within their time
  // on the line plus WriteGraceMs, or the port failed.
  static constexpr int WriteGraceMs = 2000;
  virtual bool Write(std::span<const uint8_t> bytes) = 0;

  // Gives the port up; harmless when closed.
  virtual void Close() = 0;
};

// The device a port name asks for: a network port for a name with a
// scheme ("rfc2217://HOST:PORT"), a local serial device for a path.
std::unique_ptr<PortDevice> MakePortDevice(const std::string& name);
