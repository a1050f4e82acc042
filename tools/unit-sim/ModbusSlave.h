#pragma once

#include <cstdint>
#include <span>

#include "BootEntry.h"
#include "Bytes.h"
#include "RegisterMap.h"

namespace unitsim {

// Replies that differ from the normal one on purpose (fault switches).
struct ModbusVariants {
  // A read covering the model register reports the model plus one.
  bool otherModel = false;
  // A read reply announces and carries one register more than asked for.
  bool moreRegisters = false;
  // A write reply echoes the value (or count) with every bit inverted.
  bool wrongEcho = false;
};

struct ModbusOutcome {
  // The reply without its CRC: address, function, data.
  Bytes content;
  bool entersBootLoader = false;
  // CommitKey reached the command register.
  bool committed = false;
};

// The firmware's Modbus RTU slaves: functions 3 (read), 6 and 103 (write one register) and
// 104 (write several, laid out as function 16), at the slaves of the register map and at the
// addresses of the unit's boot-entry requests.
class ModbusSlave {
 public:
  ModbusSlave(RegisterMap& registers, const BootEntry& entry);

  // Whether requests to this address get a reply (never the broadcast address 0).
  bool Serves(uint8_t address) const;

  // A request with a good CRC to an address it serves.
  ModbusOutcome Handle(std::span<const uint8_t> frame, const ModbusVariants& variants);

  static constexpr uint8_t IllegalFunction = 1;
  static constexpr uint8_t IllegalAddress = 2;
  static constexpr uint8_t IllegalValue = 3;

 private:
  ModbusOutcome ReadRegisters(std::span<const uint8_t> frame, const ModbusVariants& variants);
  ModbusOutcome WriteRegister(std::span<const uint8_t> frame, const ModbusVariants& variants);
  ModbusOutcome WriteRegisters(std::span<const uint8_t> frame, const ModbusVariants& variants);

  RegisterMap& registers_;
  const BootEntry& entry_;
};

// Address, function with bit 0x80 set, code.
Bytes ExceptionContent(uint8_t address, uint8_t function, uint8_t code);

}  // namespace unitsim
