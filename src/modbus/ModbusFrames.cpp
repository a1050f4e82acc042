#include "modbus/ModbusFrames.h"

#include <algorithm>
#include <array>

#include "comms/RxCondition.h"
#include "modbus/ModbusCrc.h"

namespace {

constexpr uint8_t ExceptionBit = 0x80;
constexpr uint16_t ExceptionReplyMinAfter = 4;

void AppendWord(std::vector<uint8_t>& frame, uint16_t word) {
  frame.push_back(static_cast<uint8_t>(word >> 8));
  frame.push_back(static_cast<uint8_t>(word & 0xFF));
}

std::vector<uint8_t> FrameStart(uint8_t slave, uint8_t function, uint16_t first, uint16_t second,
                                std::size_t size) {
  std::vector<uint8_t> frame;
  frame.reserve(size);
  frame.push_back(slave);
  frame.push_back(function);
  AppendWord(frame, first);
  AppendWord(frame, second);
  return frame;
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  AppendWord(frame, ModbusCrc16(frame));
  return frame;
}

}  // namespace

std::vector<uint8_t> BuildReadRequest(uint8_t slave, uint8_t function, uint16_t firstRegister,
                                      uint16_t count) {
  return WithCrc(FrameStart(slave, function, firstRegister, count, 8));
}

std::vector<uint8_t> BuildWriteRequest(uint8_t slave, uint8_t function, uint16_t reg,
                                       uint16_t value) {
  return WithCrc(FrameStart(slave, function, reg, value, 8));
}

std::vector<uint8_t> BuildWriteManyRequest(uint8_t slave, uint8_t function, uint16_t firstRegister,
                                           std::span<const uint16_t> values) {
  const auto count = static_cast<uint16_t>(values.size());
  std::vector<uint8_t> frame =
      FrameStart(slave, function, firstRegister, count, 9 + 2 * values.size());
  frame.push_back(static_cast<uint8_t>(2 * count));
  for (const uint16_t value : values) AppendWord(frame, value);
  return WithCrc(std::move(frame));
}

uint16_t ReadReplyMinAfter(uint16_t count) {
  return static_cast<uint16_t>(2 * count + 4);
}

void AddReplyConditions(TRxCondition& condition, uint8_t slave, uint8_t function,
                        uint16_t normalMinAfter) {
  const std::array<uint8_t, 1> start{slave};
  const std::array<uint8_t, 1> normalEnd{function};
  const std::array<uint8_t, 1> exceptionEnd{static_cast<uint8_t>(function | ExceptionBit)};
  condition.AddItem(1, start, false, 1, normalEnd, false, 0, 1, normalMinAfter);
  condition.AddItem(1, start, false, 1, exceptionEnd, false, 0, 1, ExceptionReplyMinAfter);
}

int32_t ReadReplyValues(std::span<const uint8_t> received, uint16_t count,
                        std::span<uint16_t> values) {
  // A complete read reply holds at least the address, the function code,
  // the byte count and the CRC.
  constexpr std::size_t ShortestReply = 5;
  if (received.size() < ShortestReply) return -1;
  const std::size_t length = received.size();
  if (ModbusCrc16(received.first(length - 2)) != (received[length - 2] << 8 | received[length - 1]))
    return -1;
  const std::size_t announced = received[2] / 2u;
  const std::size_t present = (length - ShortestReply) / 2u;
  const std::size_t stored = std::min({announced, present, std::size_t{count}, values.size()});
  for (std::size_t i = 0; i < stored; ++i) {
    values[i] = static_cast<uint16_t>(received[3 + 2 * i] << 8 | received[4 + 2 * i]);
  }
  return 1;
}
