#include "comms/PortDevice.h"

#include "comms/NetworkDevice.h"
#include "comms/NetworkPortName.h"
#include "comms/SerialDevice.h"

std::unique_ptr<PortDevice> MakePortDevice(const std::string& name) {
  if (HasPortScheme(name)) return std::make_unique<NetworkDevice>();
  return std::make_unique<SerialDevice>();
}
