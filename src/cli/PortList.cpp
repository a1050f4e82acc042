#include "cli/PortList.h"

#include <string>

#include "settings/PortMapping.h"

namespace {

constexpr int PortListSize = 32;

std::string OrDash(const std::string& text) {
  return text.empty() ? std::string("-") : text;
}

// The lowest COM number that maps to the device, "-" when none does.
std::string ComNumberOf(const ComPortMap& map, const std::string& device) {
  for (int comNumber = 1; comNumber <= PortListSize; ++comNumber) {
    if (map.DevicePath(comNumber) == device) return "COM" + std::to_string(comNumber);
  }
  return "-";
}

}  // namespace

void PrintPresentPorts(std::FILE* out, const QString& startupDirectory) {
  const ComPortMap map(startupDirectory);
  for (const PresentPort& port : ListPresentPorts()) {
    const std::string byId = port.ByIdPath.substr(port.ByIdPath.rfind('/') + 1);
    std::fprintf(out, "%s\t%s\t%s\t%s\t%s\n", ComNumberOf(map, port.DevicePath).c_str(),
                 port.DevicePath.c_str(), OrDash(byId).c_str(), OrDash(port.Description).c_str(),
                 OrDash(port.SerialNumber).c_str());
  }
}
