#pragma once

#include "update/BootLoaderCommands.h"
#include "update/ProgramTransfer.h"
#include "update/UpdateCommands.h"
#include "update/UpgradeSteps.h"

class UpdateView;

// The update commands of the main window, over its serial link.
class UpdateEngine final : public UpdateCommands {
 public:
  explicit UpdateEngine(UpdateView& view);

  void ReopenLink(uint32_t baudRate) override;
  int32_t ReadUpgradeInfo() override { return upgrade_.ReadUpgradeInfo(); }
  int32_t SaveUnitSettings() override { return upgrade_.SaveUnitSettings(); }
  int32_t EnableBootLoader() override { return bootLoader_.EnableBootLoader(); }
  uint32_t ReadBootLoaderInfo() override { return bootLoader_.ReadBootLoaderInfo(); }
  uint32_t ReadModelNumber() override { return bootLoader_.ReadModelNumber(); }
  bool EraseProgramMemory() override { return transfer_.EraseProgramMemory(); }
  bool SendProgramData() override { return transfer_.SendProgramData(); }
  bool DisableBootMode() override { return bootLoader_.DisableBootMode(); }
  int32_t RestartUnit() override { return bootLoader_.RestartUnit(); }
  int32_t RestoreUnitSettings() override { return upgrade_.RestoreUnitSettings(); }

  const UpgradeSteps& Upgrade() const { return upgrade_; }

 private:
  UpdateView& view_;
  BootLoaderCommands bootLoader_;
  ProgramTransfer transfer_;
  UpgradeSteps upgrade_;
};
