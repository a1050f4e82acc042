#include "modbus/ModBusPro.h"

#include <algorithm>
#include <vector>

#include "comms/AttachedCondition.h"
#include "comms/KovaComms.h"
#include "comms/RxCondition.h"
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
  // A read's reply begins with a byte count, never with the request itself.
  link.NextReplyTellsEcho();
  const int32_t result = SendAndWait(link, request, timeout);
  if (result != 1) return result;
  const int32_t taken = TakeReadReply(link, link.RxBufferSize, count, values);
  if (taken == 1) link.SoundReplyCame();
  return taken;
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
