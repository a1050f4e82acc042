#pragma once

#include <optional>
#include <string_view>

namespace unitsim {

// The kinds of request the unit answers, as fault switches name them.
enum class Exchange {
  Read,           // Modbus function 3
  Write,          // Modbus functions 6 and 103
  WriteMany,      // Modbus function 104
  OtherFunction,  // any other Modbus function (answered with an exception)
  Info,           // boot command 8
  Model,          // boot command 0, count 2
  Erase,          // boot command 3
  Program,        // boot command 2
  Leave,          // boot command 5
  Restart,        // boot command 0, count 0
  Any,            // every one of the above
};

std::string_view ExchangeName(Exchange exchange);
std::optional<Exchange> ExchangeNamed(std::string_view name);
bool IsModbus(Exchange exchange);

}  // namespace unitsim
