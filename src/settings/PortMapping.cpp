#include "settings/PortMapping.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "comms/NetworkPortName.h"
#include "settings/FileNameBytes.h"
#include "settings/IniFile.h"
#include "settings/NetworkPortSettings.h"
#include "settings/SettingsFile.h"

namespace {

constexpr char PortsSection[] = "Ports";
constexpr char NoDevice[] = "no device";

ComPortMap::PinnedPaths PinnedInSettings(const QString& startupDirectory) {
  // One read of the file serves every number asked of this map.
  auto file = std::make_shared<const IniFile>(SettingsFilePath(startupDirectory));
  return [file](int comNumber) -> std::optional<std::string> {
    const auto path = file->ReadString(PortsSection, QStringLiteral("COM%1").arg(comNumber));
    // An empty value pins nothing.
    if (!path || path->trimmed().isEmpty()) return std::nullopt;
    return FileNameBytes(*path).toStdString();
  };
}

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

std::string RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                         &std::free);
  return real ? std::string(real.get()) : path;
}

}  // namespace

ComPortMap::ComPortMap(const QString& startupDirectory)
    : ComPortMap(PinnedInSettings(startupDirectory), [] { return ListPresentPorts(); }) {}

ComPortMap::ComPortMap(PinnedPaths pinned, PortLister listPorts)
    : pinned_(std::move(pinned)), listPorts_(std::move(listPorts)) {}

std::string ComPortMap::DevicePath(int comNumber) const {
  if (auto path = pinned_(comNumber)) return *path;
  const std::vector<PresentPort>& present = Present();
  if (comNumber < 1 || static_cast<std::size_t>(comNumber) > present.size()) return {};
  return present[static_cast<std::size_t>(comNumber) - 1].DevicePath;
}

QString ComPortMap::DeviceText(int comNumber) const {
  const std::string path = DevicePath(comNumber);
  if (path.empty()) return QString::fromLatin1(NoDevice);
  if (HasPortScheme(path)) return QString::fromStdString(path + " - network port");
  // "no device" first, so that a long path cut to fit the dialog keeps it.
  if (!Exists(path)) return QString::fromStdString(std::string(NoDevice) + " (" + path + ")");
  const PresentPort* port = PresentPortAt(path);
  return QString::fromStdString(port != nullptr ? DescribePort(*port) : path);
}

const PresentPort* ComPortMap::PresentPortAt(const std::string& path) const {
  const std::string real = RealPath(path);
  for (const PresentPort& port : Present()) {
    if (RealPath(port.DevicePath) == real) return &port;
  }
  return nullptr;
}

const std::vector<PresentPort>& ComPortMap::Present() const {
  if (!present_) present_ = listPorts_();
  return *present_;
}

PortResolver MakePortResolver(const QString& startupDirectory) {
  return [startupDirectory](int comNumber) {
    return WithSettingsCaFile(ComPortMap(startupDirectory).DevicePath(comNumber), startupDirectory);
  };
}
