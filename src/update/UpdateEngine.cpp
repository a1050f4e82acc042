#include "update/UpdateEngine.h"

#include "comms/KovaComms.h"
#include "update/UpdateView.h"

namespace {

// Transaction results a unit that does not answer leaves behind.
constexpr int32_t NoReply = 0;
constexpr int32_t NothingToDo = 99;
constexpr uint32_t NoBootLoaderInfo = 0xFFFFFFFF;
constexpr uint32_t NoModelNumber = 0xFFFF0000;

}  // namespace

UpdateEngine::UpdateEngine(UpdateView& view) : view_(view) {}

void UpdateEngine::ReopenLink(uint32_t baudRate) {
  TKovaComms* link = view_.CommsLink();
  if (link == nullptr) return;
  link->Close();
  link->BaudRate = baudRate;
  link->Open();
}

int32_t UpdateEngine::ReadUpgradeInfo() {
  return NoReply;
}

int32_t UpdateEngine::SaveUnitSettings() {
  return NothingToDo;
}

int32_t UpdateEngine::EnableBootLoader() {
  return NoReply;
}

uint32_t UpdateEngine::ReadBootLoaderInfo() {
  return NoBootLoaderInfo;
}

uint32_t UpdateEngine::ReadModelNumber() {
  return NoModelNumber;
}

bool UpdateEngine::EraseProgramMemory() {
  return false;
}

bool UpdateEngine::SendProgramData() {
  return false;
}

bool UpdateEngine::DisableBootMode() {
  return false;
}

int32_t UpdateEngine::RestartUnit() {
  return NoReply - 1;
}

int32_t UpdateEngine::RestoreUnitSettings() {
  return NothingToDo;
}
