#include "settings/NetworkPortSettings.h"

#include <QDir>

#include "comms/NetworkPortName.h"
#include "settings/IniFile.h"
#include "settings/SettingsFile.h"

std::string WithSettingsCaFile(const std::string& name, const QString& startupDirectory) {
  if (!HasPortScheme(name)) return name;
  const auto caFile = IniFile(SettingsFilePath(startupDirectory))
                          .ReadString(QStringLiteral("Network"), QStringLiteral("CA"));
  if (!caFile || caFile->trimmed().isEmpty()) return name;
  const QString path = QDir(startupDirectory).absoluteFilePath(caFile->trimmed());
  return WithDefaultCaFile(name, QDir::cleanPath(path).toStdString());
}
