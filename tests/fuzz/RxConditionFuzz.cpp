// Fuzzes the receive conditions: an arbitrary set of items is fed arbitrary
// bytes the way the link feeds them, and messages are copied out on
// arbitrary arguments. Input: the number of items to add; per item its
// flags, lengths, pattern spans, minima and pattern bytes; the copy's
// arguments; then the bytes received.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "FuzzInput.h"
#include "comms/RxCondition.h"
#include "support/ReceiveBuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Pattern = std::array<uint8_t, TRxConditionItem::MaxPatternLength + 1>;

constexpr uint8_t Sentinel = 0xEE;
constexpr std::size_t MaxPatternSpan = 8;
constexpr std::size_t MaxItemsTried = 15;
constexpr std::size_t MaxDestination = 1024;
// Within the 16 bits of the item's counts.
constexpr std::size_t MaxReceived = 60000;

struct CopyArguments {
  uint16_t itemNumber;
  uint16_t maxLength;
  int32_t leadCount;
  int32_t middleCount;
  int32_t trailCount;
  std::size_t destinationSize;
  uint16_t writeIndex;
  bool withoutCondition;
};

// A stored pattern holds the source up to its first zero, within both its
// length (cut to five) and the span given, and zeros after that.
bool StoredAsGiven(const Pattern& stored, uint16_t length, std::span<const uint8_t> source) {
  const std::size_t limit =
      std::min<std::size_t>({length, TRxConditionItem::MaxPatternLength, source.size()});
  bool ended = false;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    ended = ended || i >= limit || source[i] == 0;
    if (stored[i] != (ended ? 0 : source[i])) return false;
  }
  return true;
}

void AddItemFrom(FuzzInput& input, TRxCondition& condition) {
  const auto flags = input.Take<uint8_t>();
  const auto startLength = input.Take<uint8_t>();
  const std::size_t startSpan = input.Take<uint8_t>() % (MaxPatternSpan + 1);
  const auto endLength = input.Take<uint8_t>();
  const std::size_t endSpan = input.Take<uint8_t>() % (MaxPatternSpan + 1);
  const auto minBefore = input.Take<uint16_t>();
  const auto minBetween = input.Take<uint16_t>();
  const auto minAfter = input.Take<uint16_t>();
  const Bytes start = input.TakeBytes(startSpan);
  const Bytes end = input.TakeBytes(endSpan);

  const uint16_t before = condition.ItemCount();
  condition.AddItem(startLength, start, (flags & 1) != 0, endLength, end, (flags & 2) != 0,
                    minBefore, minBetween, minAfter);
  Require(condition.ItemCount() == std::min<uint16_t>(before + 1, TRxCondition::MaxItems),
          "the set holds at most ten items");
  if (before == TRxCondition::MaxItems) return;
  const TRxConditionItem& item = *condition.Item(condition.ItemCount());
  Require(item.StartLength == std::min<uint16_t>(startLength, TRxConditionItem::MaxPatternLength) &&
              item.EndLength == std::min<uint16_t>(endLength, TRxConditionItem::MaxPatternLength),
          "lengths are cut to five");
  Require(StoredAsGiven(item.StartPattern, startLength, start) &&
              StoredAsGiven(item.EndPattern, endLength, end),
          "patterns are stored up to their first zero");
}

CopyArguments CopyArgumentsFrom(FuzzInput& input) {
  CopyArguments arguments{};
  arguments.itemNumber = input.Take<uint16_t>() % (TRxCondition::MaxItems + 2);
  arguments.maxLength = input.Take<uint16_t>();
  arguments.leadCount = input.Take<int32_t>();
  arguments.middleCount = input.Take<int32_t>();
  arguments.trailCount = input.Take<int32_t>();
  arguments.destinationSize = input.Take<uint16_t>() % (MaxDestination + 1);
  arguments.writeIndex = input.Take<uint16_t>();
  arguments.withoutCondition = (input.Take<uint8_t>() & 1) != 0;
  return arguments;
}

// Every byte offered to an item is counted once on it; the set stops
// offering a byte at the item that recognises its patterns with it.
void CheckCounts(const TRxCondition& condition, int32_t matched, std::size_t received) {
  for (uint16_t n = 1; n <= condition.ItemCount(); ++n) {
    const TRxConditionItem& item = *condition.Item(n);
    const std::size_t counted = std::size_t{item.BeforeCount} + item.BetweenCount + item.AfterCount;
    const bool offeredAll = matched == -1 || n - 1 <= matched;
    Require(counted == received - (offeredAll ? 0 : 1), "every byte is counted once");
  }
  if (matched != -1) {
    const TRxConditionItem& item = *condition.Item(static_cast<uint16_t>(matched + 1));
    Require(item.StartMatched && item.EndMatched, "the item named has both patterns");
  }
  for (uint16_t n = 0; n <= TRxCondition::MaxItems + 1; ++n) {
    const TRxConditionItem* item = condition.Item(n);
    Require((item != nullptr) == (n >= 1 && n <= condition.ItemCount()), "items are 1 to count");
    Require(condition.IsItemComplete(n) == (item != nullptr && item->IsComplete()),
            "completeness is the item's own");
  }
}

// The copy returns what it wrote, ends it with a zero and writes nothing
// after that.
void CheckCopy(std::size_t destinationSize, uint16_t maxLength,
               const std::function<uint16_t(std::span<uint8_t>)>& copy) {
  Bytes dest(destinationSize, Sentinel);
  const uint16_t count = copy(dest);
  if (dest.empty()) {
    Require(count == 0, "nothing is copied into no room");
    return;
  }
  Require(count <= maxLength && count < dest.size(), "the count stays within the limits");
  Require(dest[count] == 0, "a zero follows the copied bytes");
  Require(
      std::all_of(dest.begin() + count + 1, dest.end(), [](uint8_t b) { return b == Sentinel; }),
      "nothing is written after the zero");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  TRxCondition condition;
  const std::size_t items = input.Take<uint8_t>() % (MaxItemsTried + 1);
  for (std::size_t i = 0; i < items; ++i) AddItemFrom(input, condition);
  const CopyArguments arguments = CopyArgumentsFrom(input);
  const std::size_t bufferSize = std::max<uint16_t>(input.Take<uint16_t>(), 1);
  Bytes received = input.Rest();
  received.resize(std::min(received.size(), MaxReceived));

  ReceiveBuffer link(condition, bufferSize);
  link.Receive(received);
  CheckCounts(condition, link.Matched(), received.size());

  CheckCopy(arguments.destinationSize, arguments.maxLength, [&](std::span<uint8_t> dest) {
    return link.GetRxMessage(arguments.itemNumber, dest, arguments.maxLength, arguments.leadCount,
                             arguments.middleCount, arguments.trailCount);
  });
  // A buffer of exactly its size, so that any read outside it is caught.
  const Bytes buffer(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                              received.size(), bufferSize)));
  CheckCopy(arguments.destinationSize, arguments.maxLength, [&](std::span<uint8_t> dest) {
    return CopyRxMessage(arguments.withoutCondition ? nullptr : &condition, arguments.itemNumber,
                         buffer, arguments.writeIndex, dest, arguments.maxLength,
                         arguments.leadCount, arguments.middleCount, arguments.trailCount);
  });

  // Lead, middle and trail all taken whole give back everything received.
  if (received.size() < bufferSize) {
    for (uint16_t n = 1; n <= condition.ItemCount(); ++n) {
      Bytes dest(received.size() + 1, Sentinel);
      const uint16_t count =
          link.GetRxMessage(n, dest, static_cast<uint16_t>(received.size()), -1, -1, -1);
      Require(
          count == received.size() && std::equal(received.begin(), received.end(), dest.begin()),
          "the whole message is everything received");
    }
  }
  return 0;
}
