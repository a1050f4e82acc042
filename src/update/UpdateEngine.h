#pragma once

#include "update/BootLoaderCommands.h"
#include "update/ProgramTransfer.h"
#include "update/SettingsSafeKeeping.h"
#include "update/UpdateCommands.h"
#include "update/UpgradeSteps.h"

class UpdateView;

// The update commands of the main window, over its serial link, with the
// kept settings held in a file from boot entry until they are written back.
class UpdateEngine final : public UpdateCommands {
 public:
  explicit UpdateEngine(UpdateView& view);

  void ReopenLink(uint32_t baudRate) override;
  int32_t ReadUpgradeInfo() override;
  int32_t SaveUnitSettings() override;
  bool KeepSettingsBeforeBootEntry() override { return keeping_.KeepBeforeBootEntry(); }
  int32_t EnableBootLoader() override { return bootLoader_.EnableBootLoader(); }
  uint32_t ReadBootLoaderInfo() override { return bootLoader_.ReadBootLoaderInfo(); }
  uint32_t ReadModelNumber() override;
  bool EraseProgramMemory() override { return transfer_.EraseProgramMemory(); }
  bool SendProgramData() override { return transfer_.SendProgramData(); }
  bool DisableBootMode() override { return bootLoader_.DisableBootMode(); }
  int32_t RestartUnit() override { return bootLoader_.RestartUnit(); }
  int32_t RestoreUnitSettings() override;
  void RunFinished() override { keeping_.RunFinished(); }
  QList<LogNote> TakeLogNotes() override { return keeping_.TakeNotes(); }

  const UpgradeSteps& Upgrade() const { return upgrade_; }
  const SettingsSafeKeeping& Keeping() const { return keeping_; }
  SettingsSafeKeeping& Keeping() { return keeping_; }

 private:
  UpdateView& view_;
  BootLoaderCommands bootLoader_;
  ProgramTransfer transfer_;
  UpgradeSteps upgrade_;
  SettingsSafeKeeping keeping_;
};
