#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

// Reads a fuzzer's input front to back: fixed-size fields (little-endian)
// first, then bytes. Fields past the end read as zero, so that every input
// is a valid one.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, std::size_t size) : bytes_(data, size) {}

  template <typename T>
  T Take() {
    T value{};
    const std::size_t count = std::min(sizeof(T), bytes_.size());
    if (count > 0) std::memcpy(&value, bytes_.data(), count);
    bytes_ = bytes_.subspan(count);
    return value;
  }

  std::vector<uint8_t> TakeBytes(std::size_t count) {
    const std::span<const uint8_t> taken = bytes_.first(std::min(count, bytes_.size()));
    bytes_ = bytes_.subspan(taken.size());
    return {taken.begin(), taken.end()};
  }

  std::vector<uint8_t> Rest() { return TakeBytes(bytes_.size()); }

 private:
  std::span<const uint8_t> bytes_;
};

// Ends the run when a property does not hold; libFuzzer keeps the input.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property does not hold: %s\n", property);
  std::abort();
}
