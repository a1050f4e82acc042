#include "cli/ResolvePorts.h"

#include <sys/stat.h>

#include <optional>

#include "cli/ComPortName.h"
#include "settings/FileNameBytes.h"
#include "settings/NetworkPortSettings.h"
#include "settings/PortMapping.h"

namespace {

// What a device is: its device number for a character device, which every
// name of it shares; otherwise its path.
using DeviceIdentity = std::variant<dev_t, std::string>;

DeviceIdentity IdentityOf(const std::string& device) {
  struct stat status {};
  if (::stat(device.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) return status.st_rdev;
  return device;
}

}  // namespace

std::variant<std::vector<ResolvedPort>, CliUsageError> ResolvePorts(
    const QStringList& ports, const QString& startupDirectory) {
  std::optional<ComPortMap> map;
  std::vector<ResolvedPort> resolved;
  std::vector<DeviceIdentity> identities;
  for (const QString& port : ports) {
    ResolvedPort unit{port, FileNameBytes(port).toStdString(), 1};
    if (const std::optional<int> comNumber = ComNumberIn(port)) {
      if (!map) map.emplace(startupDirectory);
      unit.ComNumber = *comNumber;
      unit.Device = map->DevicePath(*comNumber);
    }
    unit.Device = WithSettingsCaFile(unit.Device, startupDirectory);
    const DeviceIdentity identity = IdentityOf(unit.Device);
    for (std::size_t i = 0; i < resolved.size() && !unit.Device.empty(); ++i) {
      if (identities[i] != identity) continue;
      return CliUsageError{QStringLiteral("--port %1 and --port %2 are the same device (%3)")
                               .arg(resolved[i].Port, port,
                                    FileNameFromBytes(QByteArray::fromStdString(unit.Device)))};
    }
    identities.push_back(identity);
    resolved.push_back(std::move(unit));
  }
  return resolved;
}
