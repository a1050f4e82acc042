#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// A process that holds a serial device: its id and its command name.
struct PortHolder {
  pid_t Pid = 0;
  std::string Name;
};

// The holder of the process with this id, named from /proc; nothing when
// the process does not exist.
std::optional<PortHolder> ProcessHolder(pid_t pid);

// The first process, by id, with a descriptor open on the device at path,
// as /proc shows it; nothing when none can be seen.
std::optional<PortHolder> FindPortHolder(const std::string& path);
