#pragma once

#include <time.h>

#include <cstddef>
#include <filesystem>
#include <iterator>

// What the test's own process uses now, as /proc/self and the process clock
// tell it.

inline std::size_t EntriesIn(const char* folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator()));
}

inline std::size_t ThreadCount() {
  return EntriesIn("/proc/self/task");
}

inline std::size_t OpenDescriptorCount() {
  return EntriesIn("/proc/self/fd");
}

// Processor time of every thread of the process so far.
inline double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
