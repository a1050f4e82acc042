#include "update/LineSpeeds.h"

#include "update/ProductRoles.h"

uint32_t UnitSpeed(uint16_t expectedModel) {
  return expectedModel == HighSpeedModel ? 800000 : 9600;
}

uint32_t BootLoaderSpeed(uint16_t expectedModel) {
  return expectedModel == HighSpeedModel ? 92160 : 115200;
}
