#pragma once

#include <QString>
#include <optional>

// COMn names a port for n from 1 to 32.
constexpr int LowestComNumber = 1;
constexpr int HighestComNumber = 32;

// The n of a port given as "COM" and decimal digits (in any case), whether
// or not it is a valid COM number (0 when too large to hold); nothing for a
// port given as a device path.
std::optional<int> ComNumberIn(const QString& port);

// Whether n is the number of a COM port.
constexpr bool IsComNumber(int n) {
  return n >= LowestComNumber && n <= HighestComNumber;
}
