// Fuzzes the kept-settings file: a file of any content is read as the next
// run (or --restore-settings) reads it. It is refused, or it gives settings a
// read of the unit could have given: the model that keeps settings, 16-bit
// values as many as each slave keeps, none beyond, the command register 0.
// Settings taken are written as the program writes them and read back the
// same. Input: the file's content.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>

#include "FuzzInput.h"
#include "update/KeptSettingsStore.h"
#include "update/ProductRoles.h"
#include "update/UpgradeSteps.h"

namespace {

const QString MemoryFileSystem = QStringLiteral("/dev/shm");

const QString& FilePath() {
  static const QString base =
      QFileInfo(MemoryFileSystem).isWritable() ? MemoryFileSystem : QDir::tempPath();
  static const QTemporaryDir dir(base + "/fuzz_kept_settings-XXXXXX");
  static const QString path = dir.filePath("kept.json");
  return path;
}

void WriteFile(const QByteArray& content) {
  QFile file(FilePath());
  Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              file.write(content) == content.size(),
          "the file can be made");
}

// Only the first count words are used; the rest stay 0.
bool UsesOnly(const UpgradeSteps::Settings& words, std::size_t count) {
  return std::all_of(words.begin() + static_cast<std::ptrdiff_t>(count), words.end(),
                     [](uint16_t word) { return word == 0; });
}

bool Same(const KeptSettings& a, const KeptSettings& b) {
  return a.UnitModel == b.UnitModel && a.UnitVersion == b.UnitVersion &&
         a.FirmwareVersion == b.FirmwareVersion && a.Product == b.Product && a.Port == b.Port &&
         a.Slave17 == b.Slave17 && a.Slave19 == b.Slave19 && a.Slave20 == b.Slave20;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  WriteFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  KeptSettings settings;
  if (!LoadKeptSettings(FilePath(), settings).isEmpty()) return 0;

  Require(settings.UnitModel == SettingsCarryModel, "only the model that keeps settings");
  Require(settings.Slave19[UpgradeSteps::CommandRegisterWord] == 0,
          "the command register is kept as 0");
  Require(UsesOnly(settings.Slave17, UpgradeSteps::Slave17Block.Count) &&
              UsesOnly(settings.Slave19, UpgradeSteps::Slave19Block.Count) &&
              UsesOnly(settings.Slave20, UpgradeSteps::Slave20Block.Count),
          "no word beyond what each slave keeps");
  const QJsonObject object = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data),
                                                                static_cast<qsizetype>(size)))
                                 .object();
  Require(object["slave17"].toArray().size() == UpgradeSteps::Slave17Block.Count &&
              object["slave19"].toArray().size() == UpgradeSteps::Slave19Block.Count &&
              object["slave20"].toArray().size() == UpgradeSteps::Slave20Block.Count,
          "each slave's count exactly as a read gives it");

  WriteFile(QJsonDocument(KeptSettingsJson(settings)).toJson());
  KeptSettings again;
  Require(LoadKeptSettings(FilePath(), again).isEmpty() && Same(settings, again),
          "settings written as the program writes them read back the same");
  return 0;
}
