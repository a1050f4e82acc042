#include "update/UpdateEngine.h"

#include "update/EngineLink.h"

UpdateEngine::UpdateEngine(UpdateView& view)
    : view_(view), bootLoader_(view), transfer_(view), upgrade_(view), keeping_(view, upgrade_) {}

void UpdateEngine::ReopenLink(uint32_t baudRate) {
  ReopenLinkAt(view_, baudRate);
}

int32_t UpdateEngine::ReadUpgradeInfo() {
  const int32_t result = upgrade_.ReadUpgradeInfo();
  keeping_.UpgradeInfoRead(result == 1);
  return result;
}

int32_t UpdateEngine::SaveUnitSettings() {
  const int32_t result = upgrade_.SaveUnitSettings();
  if (result == 1) keeping_.SettingsRead();
  return result;
}

uint32_t UpdateEngine::ReadModelNumber() {
  const uint32_t model = bootLoader_.ReadModelNumber();
  keeping_.ModelReported(model);
  return model;
}

int32_t UpdateEngine::RestoreUnitSettings() {
  keeping_.BeforeRestore();
  const int32_t result = upgrade_.RestoreUnitSettings();
  keeping_.AfterRestore(result);
  return result;
}
