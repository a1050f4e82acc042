#include "update/BootLoaderCommands.h"

#include <array>

#include "image/ProductIdentity.h"
#include "modbus/ModBusPro.h"
#include "update/BootEntryTable.h"
#include "update/BootFrames.h"
#include "update/EngineLink.h"
#include "update/LineSpeeds.h"
#include "update/ProductRoles.h"

namespace {

constexpr uint8_t InformationCommand = 8;
constexpr uint8_t InformationCount = 4;
constexpr uint8_t ModelCommand = 0;
constexpr uint8_t ModelCount = 2;
constexpr uint8_t LeaveBootModeCommand = 5;
constexpr uint8_t LeaveBootModeCount = 1;
constexpr std::array<uint8_t, 4> LeaveBootModeData{0xFF, 0x03, 0x00, 0x00};
constexpr uint8_t RestartCommand = 0;
constexpr uint8_t RestartCount = 0;
constexpr uint32_t NoInformation = 0xFFFFFFFF;
constexpr uint32_t NoModelNumber = 0xFFFF0000;

}  // namespace

BootLoaderCommands::BootLoaderCommands(UpdateView& view) : view_(view) {}

int32_t BootLoaderCommands::EnableBootLoader() {
  const uint16_t model = view_.Identity().ExpectedModel;
  ReopenLinkAt(view_, UnitSpeed(model));
  int32_t result = 0;
  if (const BootEntryKind* kind = FindBootEntryKind(model)) {
    result = 1;
    for (uint8_t i = 0; i < kind->requestCount; ++i) {
      const BootEntryRequest& request = kind->requests[i];
      const auto slave =
          request.toSlaveAddress ? static_cast<uint8_t>(view_.SlaveAddress()) : request.slave;
      result = WriteRegister(EngineLink(view_), slave, request.function, request.reg, BootEntryKey,
                             ModbusTimeoutTicks);
    }
  }
  ReopenLinkAt(view_, BootLoaderSpeed(model));
  return result;
}

uint32_t BootLoaderCommands::ReadBootLoaderInfo() {
  return ReadBootLoaderInfo(BootTimeoutTicks);
}

uint32_t BootLoaderCommands::ReadBootLoaderInfo(uint16_t timeoutTicks) {
  std::array<uint8_t, InformationCount> reply{};
  if (BootTransaction(EngineLink(view_), InformationCommand, InformationCount, {}, timeoutTicks,
                      reply) != 1) {
    return NoInformation;
  }
  return static_cast<uint32_t>(reply[0]) << 24 | static_cast<uint32_t>(reply[1]) << 16 |
         static_cast<uint32_t>(reply[2]) << 8 | reply[3];
}

uint32_t BootLoaderCommands::ReadModelNumber() {
  std::array<uint8_t, ModelCount> reply{};
  if (BootTransaction(EngineLink(view_), ModelCommand, ModelCount, {}, BootTimeoutTicks, reply) !=
      1) {
    return NoModelNumber;
  }
  return static_cast<uint32_t>(reply[0]) << 8 | reply[1];
}

bool BootLoaderCommands::DisableBootMode() {
  std::array<uint8_t, LeaveBootModeCount> reply{};
  return BootTransaction(EngineLink(view_), LeaveBootModeCommand, LeaveBootModeCount,
                         LeaveBootModeData, BootTimeoutTicks, reply) == 1;
}

int32_t BootLoaderCommands::RestartUnit() {
  return BootTransaction(EngineLink(view_), RestartCommand, RestartCount, {}, BootTimeoutTicks,
                         {}) -
         1;
}
