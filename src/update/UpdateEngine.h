#pragma once

#include "update/UpdateCommands.h"

// The update commands of the main window. The serial link is not part of
// the program yet, so every command gets what a unit that does not answer
// gives, and the sequence takes its no-reply paths.
class UpdateEngine final : public UpdateCommands {
 public:
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
};
