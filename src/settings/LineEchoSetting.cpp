#include "settings/LineEchoSetting.h"

#include <stdexcept>

#include "settings/IniFile.h"
#include "settings/SettingsFile.h"

EchoMode ReadLineEchoSetting(const QString& startupDirectory) {
  const QString path = SettingsFilePath(startupDirectory);
  const auto value = IniFile(path).ReadString(QStringLiteral("Line"), QStringLiteral("Echo"));
  if (!value || value->trimmed().isEmpty()) return EchoMode::Auto;
  if (const auto mode = EchoModeNamed(value->trimmed().toStdString())) return *mode;
  throw std::runtime_error(
      QStringLiteral("%1: key Echo of section [Line] is '%2'; it takes auto, on or off")
          .arg(path, value->trimmed())
          .toStdString());
}
