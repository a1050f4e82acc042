#include "settings/SettingsFile.h"

#include "settings/FileNameBytes.h"
#include "settings/IniFile.h"
#include "settings/RegularFile.h"
#include "settings/TextToInteger.h"

namespace {

constexpr char OptionsSection[] = "Options";
constexpr char CommPortKey[] = "Comms_Port";
constexpr int32_t DefaultCommPort = 1;

}  // namespace

QString SettingsFilePath(const QString& startupDirectory) {
  return startupDirectory + QStringLiteral("Bootload.Ini");
}

bool SettingsFileExists(const QString& startupDirectory) {
  return IsRegularFile(FileNameBytes(SettingsFilePath(startupDirectory)));
}

int32_t ReadCommPortSetting(const QString& startupDirectory) {
  const auto text =
      IniFile(SettingsFilePath(startupDirectory)).ReadString(OptionsSection, CommPortKey);
  return text ? TextToInteger(*text).value_or(DefaultCommPort) : DefaultCommPort;
}

void WriteCommPortSetting(const QString& startupDirectory, int32_t commPortNumber) {
  IniFile(SettingsFilePath(startupDirectory))
      .WriteString(OptionsSection, CommPortKey, QString::number(commPortNumber));
}
