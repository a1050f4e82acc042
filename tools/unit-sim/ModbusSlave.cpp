#include "ModbusSlave.h"

#include <algorithm>

#include "Models.h"

namespace unitsim {

namespace {

constexpr uint8_t ReadFunction = 3;
constexpr uint8_t WriteFunction = 6;
constexpr uint8_t WriteFunctionOwn = 103;
constexpr uint8_t WriteSeveralFunction = 104;
// The most registers one read reply or one write-several request can carry.
constexpr uint16_t MostRead = 125;
constexpr uint16_t MostWritten = 123;

bool CoversCommit(uint8_t slave, uint16_t first, std::span<const uint16_t> values) {
  if (slave != RegisterMap::InformationSlave) return false;
  const uint16_t reg = RegisterMap::CommandRegister;
  return reg >= first && reg - first < static_cast<int>(values.size()) &&
         values[reg - first] == CommitKey;
}

}  // namespace

Bytes ExceptionContent(uint8_t address, uint8_t function, uint8_t code) {
  return {address, static_cast<uint8_t>(function | 0x80), code};
}

ModbusSlave::ModbusSlave(RegisterMap& registers, const BootEntry& entry)
    : registers_(registers), entry_(entry) {}

bool ModbusSlave::Serves(uint8_t address) const {
  if (address == 0) return false;
  const auto requests = entry_.Requests();
  return registers_.HasSlave(address) ||
         std::any_of(requests.begin(), requests.end(),
                     [address](const EntryRequest& request) { return request.address == address; });
}

ModbusOutcome ModbusSlave::Handle(std::span<const uint8_t> frame, const ModbusVariants& variants) {
  switch (frame[1]) {
    case ReadFunction:
      return ReadRegisters(frame, variants);
    case WriteFunction:
    case WriteFunctionOwn:
      return WriteRegister(frame, variants);
    case WriteSeveralFunction:
      return WriteRegisters(frame, variants);
    default:
      return {ExceptionContent(frame[0], frame[1], IllegalFunction)};
  }
}

ModbusOutcome ModbusSlave::ReadRegisters(std::span<const uint8_t> frame,
                                         const ModbusVariants& variants) {
  const uint8_t slave = frame[0];
  const uint16_t first = ReadBe16(frame, 2);
  const uint16_t count = ReadBe16(frame, 4);
  if (count == 0 || count > MostRead) return {ExceptionContent(slave, frame[1], IllegalValue)};
  if (!registers_.CanRead(slave, first, count)) {
    return {ExceptionContent(slave, frame[1], IllegalAddress)};
  }
  std::vector<uint16_t> values = registers_.Read(slave, first, count);
  const uint16_t model = RegisterMap::ModelRegister;
  if (variants.otherModel && slave == RegisterMap::InformationSlave && model >= first &&
      model - first < count) {
    ++values[model - first];
  }
  if (variants.moreRegisters) {
    const uint16_t next = static_cast<uint16_t>(first + count);
    values.push_back(registers_.CanRead(slave, next, 1) ? registers_.Read(slave, next, 1)[0] : 0);
  }
  Bytes content{slave, frame[1], static_cast<uint8_t>(values.size() * 2)};
  for (const uint16_t value : values) AppendBe16(content, value);
  return {content};
}

ModbusOutcome ModbusSlave::WriteRegister(std::span<const uint8_t> frame,
                                         const ModbusVariants& variants) {
  const uint8_t slave = frame[0];
  const uint16_t reg = ReadBe16(frame, 2);
  const uint16_t value = ReadBe16(frame, 4);
  const bool entryRegister = entry_.IsEntryRegister(slave, frame[1], reg);
  if (!entryRegister && !registers_.CanWrite(slave, reg, 1)) {
    return {ExceptionContent(slave, frame[1], IllegalAddress)};
  }
  ModbusOutcome outcome;
  if (registers_.CanWrite(slave, reg, 1)) {
    registers_.Write(slave, reg, std::span(&value, 1));
    outcome.committed = CoversCommit(slave, reg, std::span(&value, 1));
  }
  outcome.entersBootLoader = entry_.Switches(slave, frame[1], reg, value);
  outcome.content.assign(frame.begin(), frame.begin() + 4);
  AppendBe16(outcome.content, variants.wrongEcho ? static_cast<uint16_t>(~value) : value);
  return outcome;
}

ModbusOutcome ModbusSlave::WriteRegisters(std::span<const uint8_t> frame,
                                          const ModbusVariants& variants) {
  const uint8_t slave = frame[0];
  const uint16_t first = ReadBe16(frame, 2);
  const uint16_t count = ReadBe16(frame, 4);
  if (count == 0 || count > MostWritten || frame[6] != count * 2) {
    return {ExceptionContent(slave, frame[1], IllegalValue)};
  }
  if (!registers_.CanWrite(slave, first, count)) {
    return {ExceptionContent(slave, frame[1], IllegalAddress)};
  }
  std::vector<uint16_t> values;
  for (uint16_t i = 0; i < count; ++i) values.push_back(ReadBe16(frame, 7 + 2 * i));
  registers_.Write(slave, first, values);
  ModbusOutcome outcome;
  outcome.committed = CoversCommit(slave, first, values);
  outcome.content.assign(frame.begin(), frame.begin() + 4);
  AppendBe16(outcome.content, variants.wrongEcho ? static_cast<uint16_t>(~count) : count);
  return outcome;
}

}  // namespace unitsim
