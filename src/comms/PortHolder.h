#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// A process that holds a serial device: its id and its command name.
struct PortHolder {
  pid_t Pid = 0;
  std::string Name;
};

// The holder of the process with this id, named from /proc; nothing when
// the process does not exist.
std::optional<PortHolder> ProcessHolder(pid_t pid);

// The processes other than this one with a descriptor open on the device at
// path, as /proc shows them. The peer of a pseudo-terminal (a process with
// its master open) is left out: it keeps the slave open only to keep the
// line up, and holds nothing.
std::vector<pid_t> ProcessesWithDeviceOpen(const std::string& path);

// The process that holds the device at path, never this one: the live
// process its lock file names, else the owner of an advisory lock on it
// (/proc/locks), else the only process with it open; nothing when none can
// be named truthfully.
std::optional<PortHolder> FindPortHolder(const std::string& path);
