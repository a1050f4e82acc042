#pragma once

#include <cstdint>
#include <span>

class TKovaComms;

// Reply timeout of every Modbus request, in 100 ms ticks: about two seconds.
inline constexpr uint16_t ModbusTimeoutTicks = 20;

// One Modbus request and its reply over the link. The result is 1 for a
// normal reply (for a read, with a correct CRC), 2 for an exception reply,
// 0 for no reply before the timeout, -1 for a read reply with a wrong CRC
// or a wait ended by closing the port, -2 when the link refused to send.

int32_t WriteRegister(TKovaComms& link, uint8_t slave, uint8_t function, uint16_t reg,
                      uint16_t value, uint16_t timeout);

// Writes the first count words of values (values holds at least count).
int32_t WriteRegisters(TKovaComms& link, uint8_t slave, uint8_t function, uint16_t firstRegister,
                       uint16_t count, std::span<const uint16_t> values, uint16_t timeout);

// On success stores min(byte count / 2, count) register values into values;
// on any other result values stay as they were.
int32_t ReadRegisters(TKovaComms& link, uint8_t slave, uint8_t function, uint16_t firstRegister,
                      uint16_t count, uint16_t timeout, std::span<uint16_t> values);

// The retrying forms of the unit's upgrade steps: the slave address is the
// base address plus the offset (8 bits), the timeout ModbusTimeoutTicks, and
// a second attempt follows at once when the first did not return 1.
struct ModbusTarget {
  TKovaComms& link;
  int32_t slaveAddressOffset;
};

int32_t ReadRegistersRetry(const ModbusTarget& target, uint8_t baseSlave, uint8_t function,
                           uint16_t firstRegister, uint16_t count, std::span<uint16_t> values);
int32_t WriteRegisterRetry(const ModbusTarget& target, uint8_t baseSlave, uint8_t function,
                           uint16_t reg, uint16_t value);
int32_t WriteRegistersRetry(const ModbusTarget& target, uint8_t baseSlave, uint8_t function,
                            uint16_t firstRegister, uint16_t count,
                            std::span<const uint16_t> values);
