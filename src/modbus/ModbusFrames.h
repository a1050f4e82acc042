#pragma once

#include <cstdint>
#include <span>
#include <vector>

class TRxCondition;

namespace ModbusFunction {
inline constexpr uint8_t ReadRegisters = 3;
inline constexpr uint8_t WriteRegister = 6;
// Device-specific codes: laid out as 6 and as the standard write-several.
inline constexpr uint8_t DeviceWriteRegister = 103;
inline constexpr uint8_t DeviceWriteRegisters = 104;
}  // namespace ModbusFunction

// Bytes after the function code of a write reply, the function code counted.
inline constexpr uint16_t WriteReplyMinAfter = 7;

// Read registers: address, function, first register, count, CRC.
std::vector<uint8_t> BuildReadRequest(uint8_t slave, uint8_t function, uint16_t firstRegister,
                                      uint16_t count);
// Write one register: address, function, register, value, CRC.
std::vector<uint8_t> BuildWriteRequest(uint8_t slave, uint8_t function, uint16_t reg,
                                       uint16_t value);
// Write several registers: address, function, first register, count, byte
// count (low 8 bits of 2n), the values, CRC.
std::vector<uint8_t> BuildWriteManyRequest(uint8_t slave, uint8_t function, uint16_t firstRegister,
                                           std::span<const uint16_t> values);

// The normal reply of a read of count registers counts 2n + 4 bytes from
// its function code on.
uint16_t ReadReplyMinAfter(uint16_t count);

// Adds the two reply kinds of a request: item 1 the normal reply, complete
// normalMinAfter bytes from the function code; item 2 the exception reply.
void AddReplyConditions(TRxCondition& condition, uint8_t slave, uint8_t function,
                        uint16_t normalMinAfter);

// Reads a read reply as taken out of the receive buffer (from the slave
// address to the last byte received): 1 with min(byte count / 2, count)
// values stored, taken only from the bytes that arrived, or -1, values
// untouched, for a reply too short to hold its CRC or with a wrong one.
int32_t ReadReplyValues(std::span<const uint8_t> received, uint16_t count,
                        std::span<uint16_t> values);

// Takes the reply that item 1 of the reply conditions recognised out of the
// source's receive buffer (the link's, or a stand-in with its GetRxMessage),
// at most maxLength bytes, and reads it as ReadReplyValues does.
template <typename RxSource>
int32_t TakeReadReply(const RxSource& source, uint16_t maxLength, uint16_t count,
                      std::span<uint16_t> values) {
  std::vector<uint8_t> received(static_cast<std::size_t>(maxLength) + 1);
  const uint16_t length = source.GetRxMessage(1, received, maxLength, 0, -1, -1);
  return ReadReplyValues(std::span(received).first(length), count, values);
}
