#include "ProcessResources.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer run-time's own count; GCC ships no header declaring it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

constexpr std::size_t BytesPerKiB = 1024;

// The number after "name:" in /proc/self/status; 0 when it is missing.
std::size_t StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == name + ':') {
      std::size_t value = 0;
      status >> value;
      return value;
    }
    status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return 0;
}

// The sanitizer's allocator replaces the C library's, whose own figures
// then say nothing.
std::size_t HeapBytesInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 heap = mallinfo2();
  return heap.uordblks + heap.hblkhd;
#endif
}

}  // namespace

ProcessResources MeasureProcessResources() {
  ProcessResources resources;
  const std::filesystem::directory_iterator descriptors("/proc/self/fd");
  resources.openFiles = static_cast<int>(std::distance(begin(descriptors), end(descriptors)));
  resources.threads = static_cast<int>(StatusField("Threads"));
  resources.residentBytes = StatusField("VmRSS") * BytesPerKiB;
  resources.heapBytes = HeapBytesInUse();
  return resources;
}
