#pragma once

#include <QStringList>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "update/UpdateCommands.h"

// Update commands that return results set by the test and record every call
// in order.
class ScriptedCommands final : public UpdateCommands {
 public:
  int32_t UpgradeInfoResult = 1;
  int32_t SaveSettingsResult = 99;
  std::vector<uint32_t> BootLoaderInfoResults{0xFFFFFFFF, 0xFFFFFFFF};
  std::vector<uint32_t> ModelNumberResults;
  bool EraseResult = true;
  bool SendResult = true;
  // Runs inside the named command before it returns, for commands that do
  // more than return a value (write the log, throw, close the window...).
  std::function<void(const QString& command)> During;

  // Lines the commands have for the log after the state under way.
  QList<LogNote> Notes;
  bool KeepSettingsResult = true;

  QStringList Calls;
  std::vector<uint32_t> LinkSpeeds;
  std::vector<std::chrono::steady_clock::time_point> ModelReadTimes;

  void ReopenLink(uint32_t baudRate) override;
  int32_t ReadUpgradeInfo() override;
  int32_t SaveUnitSettings() override;
  bool KeepSettingsBeforeBootEntry() override { return KeepSettingsResult; }
  int32_t EnableBootLoader() override;
  uint32_t ReadBootLoaderInfo() override;
  uint32_t ReadModelNumber() override;
  bool EraseProgramMemory() override;
  bool SendProgramData() override;
  bool DisableBootMode() override;
  int32_t RestartUnit() override;
  int32_t RestoreUnitSettings() override;
  void RunFinished() override {}
  QList<LogNote> TakeLogNotes() override { return std::exchange(Notes, {}); }

 private:
  void Record(const QString& command);
  std::size_t bootLoaderInfoReads_ = 0;
  std::size_t modelNumberReads_ = 0;
};
