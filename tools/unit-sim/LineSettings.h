#pragma once

#include <termios.h>

#include <cstdint>

namespace unitsim {

// The kernel's termios with exact line speeds. Declared here because <asm/termbits.h>, which
// has it, clashes with <termios.h>.
struct termios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
static_assert(sizeof(termios2) == 44);

// The terminal's settings; on a pseudo-terminal's master, those of its slave side. Throws
// std::runtime_error.
termios2 ReadLineSettings(int fd);

// Raw 8N1 without flow control at exactly `speed`, read back to check that it took. Throws
// std::runtime_error saying what failed.
void SetRawLine(int fd, uint32_t speed);

}  // namespace unitsim
