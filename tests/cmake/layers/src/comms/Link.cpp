#include "comms/Link.h"

int LinkSpeed() {
  return 115200;
}
