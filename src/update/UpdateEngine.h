#pragma once

#include "update/UpdateCommands.h"

class UpdateView;

// The update commands of the main window. The unit's protocols are not part
// of the program yet: the link changes speed for real, and every command
// gets what a unit that does not answer gives, so the sequence takes its
// no-reply paths.
class UpdateEngine final : public UpdateCommands {
 public:
  explicit UpdateEngine(UpdateView& view);

  void ReopenLink(uint32_t baudRate) override;
  int32_t ReadUpgradeInfo() override;
  int32_t SaveUnitSettings() override;
  int32_t EnableBootLoader() override;
  uint32_t ReadBootLoaderInfo() override;
  uint32_t ReadModelNumber() override;
  bool EraseProgramMemory() override;
  bool SendProgramData() override;
  bool DisableBootMode() override;
  int32_t RestartUnit() override;
  int32_t RestoreUnitSettings() override;

 private:
  UpdateView& view_;
};
