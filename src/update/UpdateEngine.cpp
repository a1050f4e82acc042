#include "update/UpdateEngine.h"

#include "image/ProductIdentity.h"
#include "update/EngineLink.h"
#include "update/LineSpeeds.h"

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

int32_t UpdateEngine::EnableBootLoader() {
  if (keeping_.KeepBeforeBootEntry()) return bootLoader_.EnableBootLoader();
  // Settings that could not be kept must not be put at risk: the unit stays
  // in its firmware, which does not hear the boot loader's speed.
  ReopenLinkAt(view_, BootLoaderSpeed(view_.Identity().ExpectedModel));
  return 0;
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
