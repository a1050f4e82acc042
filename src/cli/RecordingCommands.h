#pragma once

#include <optional>

#include "update/UpdateCommands.h"

// Passes every command to the engine and keeps what the boot loader said
// of itself, for the unit's record.
class RecordingCommands final : public UpdateCommands {
 public:
  explicit RecordingCommands(UpdateCommands& engine) : engine_(engine) {}

  std::optional<uint32_t> BootLoaderInfo() const { return bootLoaderInfo_; }
  // Whether the unit's model and version were read before the update.
  bool UpgradeInfoRead() const { return upgradeInfoRead_; }

  void ReopenLink(uint32_t baudRate) override { engine_.ReopenLink(baudRate); }
  int32_t ReadUpgradeInfo() override {
    const int32_t result = engine_.ReadUpgradeInfo();
    upgradeInfoRead_ = result == 1;
    return result;
  }
  int32_t SaveUnitSettings() override { return engine_.SaveUnitSettings(); }
  bool KeepSettingsBeforeBootEntry() override { return engine_.KeepSettingsBeforeBootEntry(); }
  int32_t EnableBootLoader() override { return engine_.EnableBootLoader(); }
  uint32_t ReadBootLoaderInfo() override {
    const uint32_t info = engine_.ReadBootLoaderInfo();
    if (info != NoInformation) bootLoaderInfo_ = info;
    return info;
  }
  uint32_t ReadModelNumber() override { return engine_.ReadModelNumber(); }
  bool EraseProgramMemory() override { return engine_.EraseProgramMemory(); }
  bool SendProgramData() override { return engine_.SendProgramData(); }
  bool DisableBootMode() override { return engine_.DisableBootMode(); }
  int32_t RestartUnit() override { return engine_.RestartUnit(); }
  int32_t RestoreUnitSettings() override { return engine_.RestoreUnitSettings(); }
  void RunFinished() override { engine_.RunFinished(); }
  QList<LogNote> TakeLogNotes() override { return engine_.TakeLogNotes(); }

 private:
  static constexpr uint32_t NoInformation = 0xFFFFFFFF;

  UpdateCommands& engine_;
  std::optional<uint32_t> bootLoaderInfo_;
  bool upgradeInfoRead_ = false;
};
