#include "update/Engine.h"

#include "comms/Link.h"

int EngineSpeed() {
  return LinkSpeed();
}
