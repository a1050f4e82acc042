#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Descriptor.h"

namespace unitsim {

// The unit's end of the serial line: the master of a pseudo-terminal it made, or a serial
// device it was given.
class Line {
 public:
  enum class ReadState { Data, Nothing, HungUp };
  struct ReadResult {
    ReadState state;
    std::size_t count;
  };

  // A new pseudo-terminal. Its slave side is held open here for the line's whole life (so
  // that the other side closing and reopening the port never hangs the line up) and set raw
  // at `speed` until the other side sets its own. With heldMaster, the
  // pseudo-terminal is the one whose master is that inherited descriptor: the
  // caller keeps it, so that units started one after another stand on one
  // port. Throws std::runtime_error.
  static Line PseudoTerminal(uint32_t speed, std::optional<int> heldMaster = std::nullopt);
  // The serial device at `path`, raw at `speed`. Throws std::runtime_error saying what to do.
  static Line Device(const std::string& path, uint32_t speed);

  // The path the other side opens (the slave of a pseudo-terminal), or the device's.
  const std::string& Path() const { return path_; }
  // -1 once hung up.
  int Fd() const { return line_.Get(); }
  bool IsOpen() const { return line_.Valid(); }

  // The speed the other side of a pseudo-terminal is set to; nothing for a device, whose
  // other end cannot be seen.
  std::optional<uint32_t> OtherSideSpeed() const;
  // A device is set to the speed the unit listens at; a pseudo-terminal's speed is the other
  // side's to set.
  void ListenAt(uint32_t speed);

  ReadResult Read(std::span<uint8_t> buffer);
  // All bytes, waiting while the line is full; false when they could not all be written.
  bool Write(std::span<const uint8_t> bytes);

  // Closes the unit's side (both descriptors of a pseudo-terminal): the other side sees a
  // hang-up, and the pseudo-terminal is gone.
  void HangUp();

 private:
  Line(Descriptor line, Descriptor heldSlave, std::string path, bool pseudoTerminal,
       uint32_t speed);

  Descriptor line_;
  Descriptor heldSlave_;
  std::string path_;
  bool pseudoTerminal_;
  uint32_t speed_;
};

}  // namespace unitsim
