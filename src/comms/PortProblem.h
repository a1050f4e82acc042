#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "comms/PortHolder.h"

// Why a serial port did not open, kept from the failing call to the words
// the user reads.
struct PortProblem {
  enum class Cause {
    None,
    NoSuchDevice,
    PermissionDenied,
    InUse,             // Holder names the other program where it is known
    NotASerialDevice,  // Kind says what the path is instead
    Other,             // Error holds the errno
    Network,           // a network port's: Kind says what happened and what to do
  };

  Cause What = Cause::None;
  int Error = 0;
  std::string Kind;
  std::optional<PortHolder> Holder;

  // The problem an errno of open() stands for.
  static PortProblem FromErrno(int error);
};

// One line for the user: the path, the cause and what to do, for example
// "/dev/ttyUSB0: permission denied; add your user to the dialout group,
// then log in again".
std::string DescribePortProblem(const std::string& path, const PortProblem& problem);

// The line that says a stale hold on the port at path was taken over: the
// lock file left by a process that holds nothing (lockOwner; 0 when it named
// none) and the exclusive flag left set while no other program has the port
// open, for example "/dev/ttyUSB0: stale hold taken over: lock file
// /var/lock/LCK..ttyUSB0 left by process 1234 removed".
std::string DescribeStaleHold(const std::string& path, std::optional<pid_t> lockOwner, bool flag);
