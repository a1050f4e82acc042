#include "app/PortMapping.h"

#include "app/IniFile.h"
#include "app/SettingsFile.h"

namespace {

constexpr char PortsSection[] = "Ports";

}  // namespace

std::string ResolveComPort(const QString& startupDirectory, int comNumber) {
  const auto path = IniFile(SettingsFilePath(startupDirectory))
                        .ReadString(PortsSection, QStringLiteral("COM%1").arg(comNumber));
  if (path && !path->isEmpty()) return path->toStdString();
  return "/dev/ttyS" + std::to_string(comNumber - 1);
}

PortResolver MakePortResolver(const QString& startupDirectory) {
  return [startupDirectory](int comNumber) { return ResolveComPort(startupDirectory, comNumber); };
}
