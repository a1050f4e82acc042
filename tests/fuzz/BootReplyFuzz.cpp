// Fuzzes the boot loader's reply path as BootTransaction takes it: the bytes
// received go through the reply condition into a receive buffer like the
// link's, and the reply is read out of it. Input: a mode byte and the count
// the request asks for. Raw mode: the bytes received follow; a reply is
// either read or refused with its destination untouched. Well-formed mode:
// a command, noise and the reply's data follow; the simulated unit frames
// the reply, and its exact data must come back.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "LinkBuffer.h"
#include "RefusedReply.h"
#include "ReplyShaping.h"
#include "comms/RxCondition.h"
#include "support/ReceiveBuffer.h"
#include "update/BootFrames.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t Sentinel = 0xEE;
constexpr uint8_t Dle = 0x10;
constexpr std::size_t MaxReceived = 4096;
constexpr std::size_t MaxNoise = 32;
// Even with every byte doubled, noise and frame stay within the buffer and
// the frame within MaxReplyFrame.
constexpr std::size_t MaxData = 60;

struct Received {
  int32_t completed;
  int32_t result;
  Bytes reply;
};

Received Receive(const Bytes& line, uint8_t count) {
  TRxCondition condition;
  AddBootReplyCondition(condition);
  ReceiveBuffer link(condition, LinkBufferSize());
  link.Receive(line);
  Received received{link.CompletedItem(), 0, Bytes(count, Sentinel)};
  if (received.completed == 1) received.result = TakeBootReply(link, count, received.reply);
  return received;
}

void CheckRaw(FuzzInput& input, uint8_t count) {
  const Received received = Receive(input.TakeBytes(MaxReceived), count);
  if (received.completed == 1) RequireReadOrRefused(received.result, received.reply, Sentinel);
}

void CheckWellFormed(FuzzInput& input, uint8_t count) {
  const auto command = input.Take<uint8_t>();
  Bytes line = input.TakeBytes(input.Take<uint8_t>() % (MaxNoise + 1));
  // A DLE in the noise could join the frame's own DLE STX.
  std::replace(line.begin(), line.end(), Dle, static_cast<uint8_t>(Dle + 1));
  const Bytes data = input.TakeBytes(MaxData);
  Bytes content{command, static_cast<uint8_t>(data.size())};
  content.insert(content.end(), data.begin(), data.end());
  const Bytes frame = unitsim::ShapeReply(content, unitsim::Framing::Boot, {});
  line.insert(line.end(), frame.begin(), frame.end());

  const uint8_t asked = std::min<uint8_t>(count, static_cast<uint8_t>(data.size()));
  const Received received = Receive(line, asked);
  Require(received.completed == 1, "a well-formed reply is recognised");
  Require(received.result == 1 &&
              std::equal(received.reply.begin(), received.reply.end(), data.begin()),
          "a well-formed reply comes back with its exact data");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const bool wellFormed = (input.Take<uint8_t>() & 1) != 0;
  const auto count = input.Take<uint8_t>();
  if (wellFormed) {
    CheckWellFormed(input, count);
  } else {
    CheckRaw(input, count);
  }
  return 0;
}
