#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"

// A reply the conditions completed is either read (1) or refused (-1); a
// refused one leaves its destination as it was, all sentinels.
template <typename Value>
void RequireReadOrRefused(int32_t result, const std::vector<Value>& destination, Value sentinel) {
  Require(result == 1 || result == -1, "a reply is read or refused");
  if (result == 1) return;
  Require(std::all_of(destination.begin(), destination.end(),
                      [sentinel](Value value) { return value == sentinel; }),
          "a refused reply leaves its destination alone");
}
