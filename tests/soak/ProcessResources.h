#pragma once

#include <cstddef>

// What the process holds: open descriptors and threads as /proc/self lists
// them, its resident memory, and the bytes its live allocations take (the
// resident size also keeps what the allocator holds on to, the sanitizer's
// quarantine of freed blocks among it).
struct ProcessResources {
  int openFiles = 0;
  int threads = 0;
  std::size_t residentBytes = 0;
  std::size_t heapBytes = 0;
};

ProcessResources MeasureProcessResources();
