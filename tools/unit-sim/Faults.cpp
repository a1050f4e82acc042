#include "Faults.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>
#include <string>
#include <utility>

namespace unitsim {

namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 14> Names{{
    {FaultKind::NoReply, "no-reply"},
    {FaultKind::BadCheck, "bad-check"},
    {FaultKind::Exception, "exception"},
    {FaultKind::Split, "split"},
    {FaultKind::Noise, "noise"},
    {FaultKind::OtherModel, "other-model"},
    {FaultKind::Late, "late"},
    {FaultKind::HangUp, "hangup"},
    {FaultKind::MoreRegisters, "more-registers"},
    {FaultKind::WrongEcho, "wrong-echo"},
    {FaultKind::Short, "short"},
    {FaultKind::Trailing, "trailing"},
    {FaultKind::Flood, "flood"},
    {FaultKind::DamagedEcho, "damaged-echo"},
}};

std::invalid_argument SwitchError(std::string_view text, const std::string& why) {
  return std::invalid_argument("--fault " + std::string(text) + ": " + why);
}

std::vector<std::string_view> SplitAtColons(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto colon = text.find(':');
    parts.push_back(text.substr(0, colon));
    if (colon == std::string_view::npos) return parts;
    text.remove_prefix(colon + 1);
  }
}

std::optional<unsigned> ParseOccurrence(std::string_view text, std::string_view occurrence) {
  if (occurrence == "*") return std::nullopt;
  unsigned value = 0;
  const auto [end, error] =
      std::from_chars(occurrence.data(), occurrence.data() + occurrence.size(), value);
  if (error != std::errc{} || end != occurrence.data() + occurrence.size() || value == 0) {
    throw SwitchError(text, "the occurrence must be a number from 1 up, or * for every one");
  }
  return value;
}

std::string ExchangesTaking(FaultKind kind) {
  std::string names;
  for (int i = 0; i < static_cast<int>(Exchange::Any); ++i) {
    const auto exchange = static_cast<Exchange>(i);
    if (!FaultApplies(kind, exchange)) continue;
    if (!names.empty()) names += ", ";
    names += ExchangeName(exchange);
  }
  return names;
}

}  // namespace

std::string_view FaultName(FaultKind kind) {
  return std::find_if(Names.begin(), Names.end(),
                      [kind](const auto& entry) { return entry.first == kind; })
      ->second;
}

bool FaultApplies(FaultKind kind, Exchange exchange) {
  switch (kind) {
    case FaultKind::Exception:
      return IsModbus(exchange);
    case FaultKind::OtherModel:
      return exchange == Exchange::Read || exchange == Exchange::Model;
    case FaultKind::MoreRegisters:
      return exchange == Exchange::Read;
    case FaultKind::WrongEcho:
      return exchange == Exchange::Write || exchange == Exchange::WriteMany;
    case FaultKind::Short:
      return exchange != Exchange::Restart;
    default:
      return true;
  }
}

FaultSwitch ParseFault(std::string_view text) {
  const std::vector<std::string_view> parts = SplitAtColons(text);
  if (parts.size() != 3) throw SwitchError(text, "give KIND:WHAT:N, for example no-reply:read:1");
  const auto kind = std::find_if(Names.begin(), Names.end(),
                                 [&](const auto& entry) { return entry.second == parts[0]; });
  if (kind == Names.end()) {
    throw SwitchError(text, "unknown kind '" + std::string(parts[0]) + "'");
  }
  const std::optional<Exchange> what = ExchangeNamed(parts[1]);
  if (!what) throw SwitchError(text, "unknown exchange '" + std::string(parts[1]) + "'");
  if (*what != Exchange::Any && !FaultApplies(kind->first, *what)) {
    throw SwitchError(text, std::string(kind->second) + " applies only to " +
                                ExchangesTaking(kind->first) + " (or any)");
  }
  return {kind->first, *what, ParseOccurrence(text, parts[2])};
}

FaultPlan::FaultPlan(std::vector<FaultSwitch> switches) : switches_(std::move(switches)) {}

std::vector<FaultKind> FaultPlan::Next(Exchange exchange) {
  ++counts_[exchange];
  ++counts_[Exchange::Any];
  std::vector<FaultKind> due;
  for (const FaultSwitch& fault : switches_) {
    if (fault.what != exchange && fault.what != Exchange::Any) continue;
    if (fault.occurrence && *fault.occurrence != counts_[fault.what]) continue;
    if (FaultApplies(fault.kind, exchange)) due.push_back(fault.kind);
  }
  return due;
}

unsigned FaultPlan::Count(Exchange exchange) const {
  const auto count = counts_.find(exchange);
  return count == counts_.end() ? 0 : count->second;
}

}  // namespace unitsim
