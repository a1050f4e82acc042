#pragma once

#include <termios.h>

// The kernel's termios with the exact line speeds, declared here because
// <asm/termbits.h> clashes with <termios.h>. TCGETS2 and TCSETS2 come from
// <sys/ioctl.h> and name this struct.
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
