#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A pseudo-terminal whose master side the test holds to play the peer of
// the program, which opens the slave path as its serial port.
class PseudoTerminal {
 public:
  // Throws std::runtime_error when no pseudo-terminal can be made.
  PseudoTerminal();
  ~PseudoTerminal() = default;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  // -1 after CloseMaster.
  int MasterFd() const { return master_.Get(); }

  // Holds a slave descriptor of our own, so that the program's close and
  // reopen of the port never hangs the line up: without one the master
  // sees POLLHUP and EIO whenever no slave is open, and loses unread input.
  void KeepSlaveOpen();

  // Writes all bytes to the program; throws std::runtime_error otherwise.
  void Write(std::span<const uint8_t> bytes);
  // Collects what the program sends until nothing more arrives for `quiet`
  // after the first byte, or until `limit` has passed with nothing.
  std::vector<uint8_t> ReadAvailable(std::chrono::milliseconds quiet,
                                     std::chrono::milliseconds limit);
  // Collects n bytes, or fewer when `limit` passes first.
  std::vector<uint8_t> ReadExactly(std::size_t n, std::chrono::milliseconds limit);

  // The slave's line settings as the program set them (the master reports
  // its slave's); throw std::runtime_error when they cannot be read.
  uint32_t SlaveBaudRate() const;
  termios SlaveTermios() const;

  // The peer hangs up: the program's side sees POLLHUP, and reads return 0.
  void CloseMaster();

 private:
  class Descriptor {
   public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1);

   private:
    int fd_;
  };

  // Reads what is there into out, waiting at most `wait`; false when
  // nothing came in that time.
  bool ReadSome(std::vector<uint8_t>& out, std::size_t most, std::chrono::milliseconds wait);

  Descriptor master_;
  Descriptor slave_;
  std::string slavePath_;
};
