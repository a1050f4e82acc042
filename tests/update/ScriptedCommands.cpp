#include "update/ScriptedCommands.h"

void ScriptedCommands::Record(const QString& command) {
  Calls.append(command);
  if (During) During(command);
}

void ScriptedCommands::ReopenLink(uint32_t baudRate) {
  LinkSpeeds.push_back(baudRate);
  Record(QStringLiteral("ReopenLink"));
}

int32_t ScriptedCommands::ReadUpgradeInfo() {
  Record(QStringLiteral("ReadUpgradeInfo"));
  return UpgradeInfoResult;
}

int32_t ScriptedCommands::SaveUnitSettings() {
  Record(QStringLiteral("SaveUnitSettings"));
  return SaveSettingsResult;
}

int32_t ScriptedCommands::EnableBootLoader() {
  Record(QStringLiteral("EnableBootLoader"));
  return 1;
}

uint32_t ScriptedCommands::ReadBootLoaderInfo() {
  Record(QStringLiteral("ReadBootLoaderInfo"));
  const std::size_t n = bootLoaderInfoReads_++;
  return n < BootLoaderInfoResults.size() ? BootLoaderInfoResults[n] : 0xFFFFFFFF;
}

uint32_t ScriptedCommands::ReadModelNumber() {
  ModelReadTimes.push_back(std::chrono::steady_clock::now());
  Record(QStringLiteral("ReadModelNumber"));
  const std::size_t n = modelNumberReads_++;
  return n < ModelNumberResults.size() ? ModelNumberResults[n] : 0xFFFF0000;
}

bool ScriptedCommands::EraseProgramMemory() {
  Record(QStringLiteral("EraseProgramMemory"));
  return EraseResult;
}

bool ScriptedCommands::SendProgramData() {
  Record(QStringLiteral("SendProgramData"));
  return SendResult;
}

bool ScriptedCommands::DisableBootMode() {
  Record(QStringLiteral("DisableBootMode"));
  return true;
}

int32_t ScriptedCommands::RestartUnit() {
  Record(QStringLiteral("RestartUnit"));
  return 0;
}

int32_t ScriptedCommands::RestoreUnitSettings() {
  Record(QStringLiteral("RestoreUnitSettings"));
  return 99;
}
