#pragma once

#include <cstddef>

// What the process holds: open descriptors and threads as /proc/self lists
// them, its resident memory, and the heap bytes its allocations use.
struct ProcessResources {
  int openFiles = 0;
  int threads = 0;
  std::size_t residentBytes = 0;
  std::size_t heapBytes = 0;
};

ProcessResources MeasureProcessResources();
