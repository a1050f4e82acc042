#include "update/BootFrames.h"

#include <algorithm>
#include <array>

#include "comms/AttachedCondition.h"
#include "comms/KovaComms.h"
#include "comms/RxCondition.h"

namespace {

constexpr uint8_t DLE = 0x10;
constexpr uint8_t STX = 0x02;
constexpr uint8_t ETX = 0x03;
// STX, command, count, checksum and ETX around the data of an unstuffed reply.
constexpr std::size_t ReplyOverhead = 5;
constexpr std::size_t ReplyDataStart = 3;

void AppendStuffed(std::vector<uint8_t>& frame, uint8_t b) {
  frame.push_back(b);
  if (b == DLE) frame.push_back(DLE);
}

}  // namespace

uint8_t ByteSum(std::span<const uint8_t> bytes) {
  uint8_t sum = 0;
  for (const uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  return sum;
}

std::vector<uint8_t> BuildBootFrame(uint8_t command, uint8_t count, std::span<const uint8_t> data) {
  std::vector<uint8_t> body;
  body.reserve(data.size() + 3);
  body.push_back(command);
  body.push_back(count);
  body.insert(body.end(), data.begin(), data.end());
  body.push_back(static_cast<uint8_t>(0 - ByteSum(body)));

  std::vector<uint8_t> frame;
  frame.reserve(4 + 2 * body.size());
  frame.push_back(DLE);
  frame.push_back(STX);
  for (const uint8_t b : body) AppendStuffed(frame, b);
  frame.push_back(DLE);
  frame.push_back(ETX);
  return frame;
}

std::vector<uint8_t> UnstuffBootFrame(std::span<const uint8_t> frame) {
  std::vector<uint8_t> bytes;
  bytes.reserve(frame.size());
  for (std::size_t i = 0; i < frame.size(); ++i) {
    if (frame[i] == DLE) {
      if (++i == frame.size()) break;
    }
    bytes.push_back(frame[i]);
  }
  return bytes;
}

void AddBootReplyCondition(TRxCondition& condition) {
  const std::array<uint8_t, 2> start{DLE, STX};
  const std::array<uint8_t, 2> end{DLE, ETX};
  condition.AddItem(2, start, true, 2, end, true, 0, 1, 0);
}

int32_t ReadBootReply(std::span<const uint8_t> received, uint8_t count, std::span<uint8_t> reply) {
  const std::vector<uint8_t> bytes = UnstuffBootFrame(received);
  // The sum runs from the command to the byte before the last.
  if (bytes.size() < 2 || ByteSum(std::span(bytes).subspan(1, bytes.size() - 2)) != 0) return -1;
  if (bytes.size() < ReplyOverhead + count) return -1;
  std::copy_n(bytes.begin() + ReplyDataStart, std::min<std::size_t>(count, reply.size()),
              reply.begin());
  return 1;
}

int32_t BootTransaction(TKovaComms& link, uint8_t command, uint8_t count,
                        std::span<const uint8_t> data, uint16_t timeout, std::span<uint8_t> reply) {
  const std::vector<uint8_t> frame = BuildBootFrame(command, count, data);
  TRxCondition condition;
  AddBootReplyCondition(condition);
  const AttachedCondition attached(link, condition);
  link.SendData(frame, timeout);
  const int32_t result = link.WaitForResult();
  if (result != 1) return result;
  return TakeBootReply(link, count, reply);
}
