#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "BootEntry.h"
#include "Faults.h"

namespace unitsim {

struct Options {
  std::optional<std::string> device;
  std::optional<int> ptyFd;  // the master of a pseudo-terminal the caller holds
  bool pace = false;
  bool echo = false;
  bool timestamps = false;
  bool startInBootLoader = false;
  uint16_t model = 4001;
  uint16_t version = 2100;
  uint16_t newVersion = 2110;
  uint16_t bootRmNumber = 9001;
  uint16_t bootVersion = 103;
  uint8_t slaveAddress = 1;
  std::optional<EntryRequestChoice> entryRequest;
  std::chrono::milliseconds eraseTime{0};
  std::chrono::milliseconds rowTime{0};
  std::chrono::milliseconds lateTime{3500};
  std::optional<std::string> memoryIn;
  std::optional<std::string> memoryOut;
  std::optional<std::string> transcript;
  std::optional<std::string> control;
  std::vector<FaultSwitch> faults;
  bool help = false;
};

// A command line that cannot be followed; the message says what to change.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The arguments after the program name, taken on top of start. Throws UsageError.
Options ParseOptions(std::span<const std::string_view> args, Options start = {});

// What --help prints.
extern const char* const HelpText;

}  // namespace unitsim
