#pragma once

#include "app/WorkingFolder.h"
#include "support/PseudoTerminal.h"

// A working folder whose settings file maps COM1 to a pseudo-terminal that
// the test holds, so the window's link opens on it.
struct LinkedFolder : WorkingFolder {
  LinkedFolder() {
    pty.KeepSlaveOpen();
    WriteSettings(1, {{1, pty.SlavePath()}});
  }

  PseudoTerminal pty;
};
