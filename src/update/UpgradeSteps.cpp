#include "update/UpgradeSteps.h"

#include <span>

#include "image/ProductIdentity.h"
#include "modbus/ModBusPro.h"
#include "modbus/ModbusFrames.h"
#include "update/EngineLink.h"
#include "update/ProductRoles.h"

namespace {

constexpr int32_t NothingToDo = 99;
// Settings change layout with version 1.10: they are carried only across it.
constexpr uint16_t SettingsLayoutVersion = 110;
constexpr uint8_t InfoSlave = 19;
constexpr uint16_t ModelRegister = 20;
constexpr uint8_t Slave17 = UpgradeSteps::Slave17Block.Slave;
constexpr uint16_t Slave17Register = UpgradeSteps::Slave17Block.FirstRegister;
constexpr uint8_t Slave19 = UpgradeSteps::Slave19Block.Slave;
constexpr uint16_t Slave19FirstRegister = UpgradeSteps::Slave19Block.FirstRegister;
constexpr uint16_t Slave19Count = UpgradeSteps::Slave19Block.Count;
constexpr uint16_t CommandRegister = 29;
constexpr uint8_t Slave20 = UpgradeSteps::Slave20Block.Slave;
constexpr uint16_t Slave20FirstRegister = UpgradeSteps::Slave20Block.FirstRegister;
constexpr uint16_t Slave20Count = UpgradeSteps::Slave20Block.Count;
constexpr uint16_t Slave20HalfCount = 11;
// The unit restarts its new firmware before the settings go back, and
// applies them after the commit.
constexpr int32_t RestartWaitMs = 5000;
constexpr int32_t CommitWaitMs = 3000;

}  // namespace

UpgradeSteps::UpgradeSteps(UpdateView& view) : view_(view) {}

int32_t UpgradeSteps::ReadUpgradeInfo() {
  std::array<uint16_t, 2> values{};
  const int32_t result =
      ReadRegistersRetry({EngineLink(view_), view_.SlaveAddressOffset()}, InfoSlave,
                         ModbusFunction::ReadRegisters, ModelRegister, 2, values);
  TakeUpgradeInfo(result, values);
  return result;
}

int32_t UpgradeSteps::ReadUpgradeInfoOnce(uint16_t timeoutTicks) {
  std::array<uint16_t, 2> values{};
  const auto slave = static_cast<uint8_t>(InfoSlave + view_.SlaveAddressOffset());
  const int32_t result = ReadRegisters(EngineLink(view_), slave, ModbusFunction::ReadRegisters,
                                       ModelRegister, 2, timeoutTicks, values);
  TakeUpgradeInfo(result, values);
  return result;
}

void UpgradeSteps::TakeUpgradeInfo(int32_t result, const std::array<uint16_t, 2>& values) {
  UnitModel = result == 1 ? values[0] : 0;
  UnitVersion = result == 1 ? values[1] : 0;
}

bool UpgradeSteps::CrossesVersionWithKeptSettings() const {
  return UnitVersion < SettingsLayoutVersion &&
         view_.Identity().FirmwareVersion >= SettingsLayoutVersion;
}

int32_t UpgradeSteps::SaveUnitSettings() {
  if (UnitModel != SettingsCarryModel || !CrossesVersionWithKeptSettings()) return NothingToDo;
  const int32_t result = ReadKeptSettings();
  // The command register goes back as 0, never as whatever it held.
  SettingsSlave19[CommandRegisterWord] = 0;
  return result;
}

int32_t UpgradeSteps::ReadKeptSettings() {
  const ModbusTarget target{EngineLink(view_), view_.SlaveAddressOffset()};
  int32_t result = ReadRegistersRetry(target, Slave17, ModbusFunction::ReadRegisters,
                                      Slave17Register, 1, SettingsSlave17);
  if (result != 1) return result;
  result = ReadRegistersRetry(target, Slave19, ModbusFunction::ReadRegisters, Slave19FirstRegister,
                              Slave19Count, SettingsSlave19);
  if (result != 1) return result;
  return ReadRegistersRetry(target, Slave20, ModbusFunction::ReadRegisters, Slave20FirstRegister,
                            Slave20Count, SettingsSlave20);
}

int32_t UpgradeSteps::RestoreUnitSettings() {
  if (UnitModel != SettingsCarryModel) return NothingToDo;
  view_.ProcessPendingMessages();
  view_.DelayWithMessages(RestartWaitMs);
  if (!CrossesVersionWithKeptSettings()) return NothingToDo;
  return WriteBackSettings();
}

int32_t UpgradeSteps::WriteBackSettings() {
  const ModbusTarget target{EngineLink(view_), view_.SlaveAddressOffset()};
  const std::span<const uint16_t> slave20(SettingsSlave20);
  Settings slave19 = SettingsSlave19;
  slave19[CommandRegisterWord] = 0;
  int32_t result = WriteRegisterRetry(target, Slave17, ModbusFunction::DeviceWriteRegister,
                                      Slave17Register, SettingsSlave17[0]);
  if (result == 1) {
    result = WriteRegistersRetry(target, Slave19, ModbusFunction::DeviceWriteRegisters,
                                 Slave19FirstRegister, Slave19Count, slave19);
  }
  if (result == 1) {
    result = WriteRegistersRetry(target, Slave20, ModbusFunction::DeviceWriteRegisters,
                                 Slave20FirstRegister, Slave20HalfCount,
                                 slave20.first(Slave20HalfCount));
  }
  if (result == 1) {
    result = WriteRegistersRetry(target, Slave20, ModbusFunction::DeviceWriteRegisters,
                                 Slave20FirstRegister + Slave20HalfCount, Slave20HalfCount,
                                 slave20.subspan(Slave20HalfCount, Slave20HalfCount));
  }
  CommitUnitSettings();
  return result;
}

void UpgradeSteps::CommitUnitSettings() {
  WriteRegisterRetry({EngineLink(view_), view_.SlaveAddressOffset()}, Slave19,
                     ModbusFunction::DeviceWriteRegister, CommandRegister, CommitKey);
  view_.ProcessPendingMessages();
  view_.DelayWithMessages(CommitWaitMs);
}
