#include "Exchange.h"

#include <algorithm>
#include <array>
#include <utility>

namespace unitsim {

namespace {

constexpr std::array<std::pair<Exchange, std::string_view>, 11> Names{{
    {Exchange::Read, "read"},
    {Exchange::Write, "write"},
    {Exchange::WriteMany, "write-many"},
    {Exchange::OtherFunction, "other-function"},
    {Exchange::Info, "info"},
    {Exchange::Model, "model"},
    {Exchange::Erase, "erase"},
    {Exchange::Program, "program"},
    {Exchange::Leave, "leave"},
    {Exchange::Restart, "restart"},
    {Exchange::Any, "any"},
}};

}  // namespace

std::string_view ExchangeName(Exchange exchange) {
  return std::find_if(Names.begin(), Names.end(),
                      [exchange](const auto& entry) { return entry.first == exchange; })
      ->second;
}

std::optional<Exchange> ExchangeNamed(std::string_view name) {
  const auto entry = std::find_if(Names.begin(), Names.end(), [name](const auto& candidate) {
    return candidate.second == name;
  });
  if (entry == Names.end()) return std::nullopt;
  return entry->first;
}

bool IsModbus(Exchange exchange) {
  return exchange == Exchange::Read || exchange == Exchange::Write ||
         exchange == Exchange::WriteMany || exchange == Exchange::OtherFunction;
}

}  // namespace unitsim
