#include "settings/SettingsFile.h"

#include <QFileInfo>

#include "settings/IniFile.h"
#include "settings/TextToInteger.h"

namespace {

constexpr char OptionsSection[] = "Options";
constexpr char CommPortKey[] = "Comms_Port";
constexpr int32_t DefaultCommPort = 1;

}  // namespace

QString SettingsFilePath(const QString& startupDirectory) {
  return startupDirectory + QStringLiteral("Bootload.Ini");
}

int32_t ReadCommPortSetting(const QString& startupDirectory) {
  const QString path = SettingsFilePath(startupDirectory);
  // Only a missing file is created; a directory in its place is no file, so
  // the write fails and reports the path.
  if (!QFileInfo(path).isFile()) {
    WriteCommPortSetting(startupDirectory, DefaultCommPort);
    return DefaultCommPort;
  }
  const auto text = IniFile(path).ReadString(OptionsSection, CommPortKey);
  return text ? TextToInteger(*text).value_or(DefaultCommPort) : DefaultCommPort;
}

void WriteCommPortSetting(const QString& startupDirectory, int32_t commPortNumber) {
  IniFile(SettingsFilePath(startupDirectory))
      .WriteString(OptionsSection, CommPortKey, QString::number(commPortNumber));
}
