#pragma once

#include <cstdint>

#include "comms/KovaComms.h"

// The size of the receive buffer a link has unless told otherwise.
inline uint16_t LinkBufferSize() {
  static const uint16_t size = TKovaComms(PortResolver()).RxBufferSize;
  return size;
}
