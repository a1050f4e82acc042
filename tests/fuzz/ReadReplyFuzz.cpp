// Fuzzes the reply check of a Modbus register read as ReadRegisters takes
// it: the bytes received go through the reply conditions into a receive
// buffer like the link's, and the values are read out of it. Input: a mode
// byte, the slave address and the number of registers asked for. Raw mode:
// the bytes received follow; a reply is either read or refused with the
// values untouched. Well-formed mode (a slave 1 to 247, 1 to 100 registers):
// noise and the values follow; the simulated unit frames the reply, and
// exactly its values must come back.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "Bytes.h"
#include "FuzzInput.h"
#include "LinkBuffer.h"
#include "RefusedReply.h"
#include "ReplyShaping.h"
#include "comms/RxCondition.h"
#include "modbus/ModbusFrames.h"
#include "support/ReceiveBuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t Sentinel = 0xEEEE;
constexpr std::size_t MaxReceived = 4096;
constexpr std::size_t MaxNoise = 32;
// Noise and a reply of this many registers stay within the buffer.
constexpr uint16_t MaxRegisters = 100;
constexpr uint8_t HighestSlave = 247;

struct Received {
  int32_t completed;
  int32_t result;
  std::vector<uint16_t> values;
};

Received Receive(const Bytes& line, uint8_t slave, uint16_t count) {
  TRxCondition condition;
  AddReplyConditions(condition, slave, ModbusFunction::ReadRegisters, ReadReplyMinAfter(count));
  ReceiveBuffer link(condition, LinkBufferSize());
  link.Receive(line);
  Received received{link.CompletedItem(), 0, std::vector<uint16_t>(count, Sentinel)};
  if (received.completed == 1) {
    received.result = TakeReadReply(link, LinkBufferSize(), count, received.values);
  }
  return received;
}

void CheckRaw(FuzzInput& input, uint8_t slave, uint16_t count) {
  const Received received = Receive(input.TakeBytes(MaxReceived), slave, count);
  if (received.completed == 1) RequireReadOrRefused(received.result, received.values, Sentinel);
}

void CheckWellFormed(FuzzInput& input, uint8_t slave, uint16_t count) {
  Bytes line = input.TakeBytes(input.Take<uint8_t>() % (MaxNoise + 1));
  // Noise holding the slave address would start the reply early.
  std::replace(line.begin(), line.end(), slave, static_cast<uint8_t>(slave + 1));
  std::vector<uint16_t> sent(count);
  Bytes content{slave, ModbusFunction::ReadRegisters, static_cast<uint8_t>(2 * count)};
  for (uint16_t& value : sent) {
    value = input.Take<uint16_t>();
    unitsim::AppendBe16(content, value);
  }
  const Bytes frame = unitsim::ShapeReply(content, unitsim::Framing::Modbus, {});
  line.insert(line.end(), frame.begin(), frame.end());

  const Received received = Receive(line, slave, count);
  Require(received.completed == 1, "a well-formed reply is recognised");
  Require(received.result == 1 && received.values == sent,
          "a well-formed reply yields exactly its values");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const bool wellFormed = (input.Take<uint8_t>() & 1) != 0;
  const auto slave = input.Take<uint8_t>();
  const auto count = input.Take<uint8_t>();
  if (wellFormed) {
    CheckWellFormed(input, static_cast<uint8_t>(1 + slave % HighestSlave),
                    static_cast<uint16_t>(1 + count % MaxRegisters));
  } else {
    CheckRaw(input, slave, count);
  }
  return 0;
}
