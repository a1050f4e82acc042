#include "update/UpdateEngine.h"

#include "update/EngineLink.h"

UpdateEngine::UpdateEngine(UpdateView& view)
    : view_(view), bootLoader_(view), transfer_(view), upgrade_(view) {}

void UpdateEngine::ReopenLink(uint32_t baudRate) {
  ReopenLinkAt(view_, baudRate);
}
