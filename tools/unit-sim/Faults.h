#pragma once

#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "Exchange.h"

namespace unitsim {

enum class FaultKind {
  NoReply,        // the request takes effect, but nothing is sent
  BadCheck,       // the reply's CRC or checksum is wrong
  Exception,      // a Modbus exception reply (code 4) instead, and no effect
  Split,          // the reply goes out in 3 pieces with gaps between them
  Noise,          // a few noise bytes before the reply
  OtherModel,     // the model number reported is one more than the unit's
  Late,           // the reply comes after the master's timeout
  HangUp,         // the unit leaves the line instead of carrying the request out
  MoreRegisters,  // a read reply carries one register more than asked for
  WrongEcho,      // a write reply echoes another value or count
  Short,          // the reply lacks its last data byte, though its count announces it
  Trailing,       // a stray byte follows the reply
  Flood,          // a flood of bytes follows the reply
  DamagedEcho,    // with an echoing line: the request comes back with one byte changed
};

struct FaultSwitch {
  FaultKind kind{};
  Exchange what{};
  // 1-based occurrence of that exchange; nothing for every one.
  std::optional<unsigned> occurrence;
};

std::string_view FaultName(FaultKind kind);

// Parses KIND:WHAT:N (N a 1-based occurrence or '*'). Throws std::invalid_argument saying
// what is wrong.
FaultSwitch ParseFault(std::string_view text);

// Whether the fault means anything for that (concrete) exchange.
bool FaultApplies(FaultKind kind, Exchange exchange);

// Counts the exchanges as they happen and says which faults are due on each.
class FaultPlan {
 public:
  explicit FaultPlan(std::vector<FaultSwitch> switches);

  // Counts one more exchange of this kind and returns the faults due on it.
  std::vector<FaultKind> Next(Exchange exchange);
  // How many exchanges of this kind there have been.
  unsigned Count(Exchange exchange) const;

 private:
  std::vector<FaultSwitch> switches_;
  std::map<Exchange, unsigned> counts_;
};

}  // namespace unitsim
