#include "modbus/ModBusPro.h"

#include <algorithm>
#include <vector>

#include "comms/AttachedCondition.h"
#include "comms/KovaComms.h"
#include "comms/RxCondition.h"
#include "modbus/ModbusCrc.h"
#include "modbus/ModbusFrames.h"

namespace {

constexpr int MaxAttempts = 2;

int32_t SendAndWait(TKovaComms& link, std::span<const uint8_t> request, uint16_t timeout) {
  // A write that fails shows up as a missing reply.
  link.SendData(request, timeout);
  return link.WaitForResult();
}

int32_t Transact(TKovaComms& link, std::span<const uint8_t> request, uint8_t slave,
                 uint8_t function, uint16_t normalMinAfter, uint16_t timeout) {
  TRxCondition condition;
  AddReplyConditions(condition, slave, function, normalMinAfter);
  const AttachedCondition attached(link, condition);
  return SendAndWait(link, request, timeout);
}

uint8_t SlaveOf(const ModbusTarget& target, uint8_t baseSlave) {
  return static_cast<uint8_t>(baseSlave + target.slaveAddressOffset);
}

template <typename Attempt>
int32_t WithRetry(Attempt attempt) {
  int32_t result = 0;
  for (int i = 0; i < MaxAttempts; ++i) {
    result = attempt();
    if (result == 1) break;
  }
  return result;
}

}  // namespace

int32_t WriteRegister(TKovaComms& link, uint8_t slave, uint8_t function, uint16_t reg,
                      uint16_t value, uint16_t timeout) {
  const std::vector<uint8_t> request = BuildWriteRequest(slave, function, reg, value);
  return Transact(link, request, slave, function, WriteReplyMinAfter, timeout);
}

int32_t WriteRegisters(TKovaComms& link, uint8_t slave, uint8_t function, uint16_t firstRegister,
                       uint16_t count, std::span<const uint16_t> values, uint16_t timeout) {
  const std::vector<uint8_t> request = BuildWriteManyRequest(
      slave, function, firstRegister, values.first(std::min<std::size_t>(count, values.size())));
  return Transact(link, request, slave, function, WriteReplyMinAfter, timeout);
}

int32_t ReadRegisters(TKovaComms& link, uint8_t slave, uint8_t function, uint16_t firstRegister,
                      uint16_t count, uint16_t timeout, std::span<uint16_t> values) {
  const std::vector<uint8_t> request = BuildReadRequest(slave, function, firstRegister, count);
  TRxCondition condition;
  AddReplyConditions(condition, slave, function, ReadReplyMinAfter(count));
  const AttachedCondition attached(link, condition);
  int32_t result = SendAndWait(link, request, timeout);
  if (result != 1) return result;

  std::vector<uint8_t> reply(static_cast<std::size_t>(link.RxBufferSize) + 1);
  const uint16_t length = link.GetRxMessage(1, reply, link.RxBufferSize, 0, -1, -1);
  // A complete read reply holds at least the address, the function code,
  // the byte count and the CRC; the values are taken only from what arrived.
  constexpr uint16_t ShortestReply = 5;
  if (length < ShortestReply) return -1;
  const std::span<const uint8_t> body = std::span(reply).first(length - 2u);
  if (ModbusCrc16(body) != (reply[length - 2] << 8 | reply[length - 1])) return -1;
  const std::size_t announced = reply[2] / 2u;
  const std::size_t present = (length - ShortestReply) / 2u;
  const std::size_t stored = std::min({announced, present, std::size_t{count}, values.size()});
  for (std::size_t i = 0; i < stored; ++i) {
    values[i] = static_cast<uint16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
  }
  return result;
}

int32_t ReadRegistersRetry(const ModbusTarget& target, uint8_t baseSlave, uint8_t function,
                           uint16_t firstRegister, uint16_t count, std::span<uint16_t> values) {
  return WithRetry([&] {
    return ReadRegisters(target.link, SlaveOf(target, baseSlave), function, firstRegister, count,
                         ModbusTimeoutTicks, values);
  });
}

int32_t WriteRegisterRetry(const ModbusTarget& target, uint8_t baseSlave, uint8_t function,
                           uint16_t reg, uint16_t value) {
  return WithRetry([&] {
    return WriteRegister(target.link, SlaveOf(target, baseSlave), function, reg, value,
                         ModbusTimeoutTicks);
  });
}

int32_t WriteRegistersRetry(const ModbusTarget& target, uint8_t baseSlave, uint8_t function,
                            uint16_t firstRegister, uint16_t count,
                            std::span<const uint16_t> values) {
  return WithRetry([&] {
    return WriteRegisters(target.link, SlaveOf(target, baseSlave), function, firstRegister, count,
                          values, ModbusTimeoutTicks);
  });
}
