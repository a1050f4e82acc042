#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <string>

#include "update/UpgradeSteps.h"

// The settings a unit keeps across an update, as read before it entered its
// boot loader, with the unit and the update they belong to.
struct KeptSettings {
  uint16_t UnitModel = 0;
  uint16_t UnitVersion = 0;
  QString Product;  // title of the product being installed
  uint16_t FirmwareVersion = 0;
  QString Port;    // the device the unit was on
  QDateTime Time;  // when they were read, UTC
  UpgradeSteps::Settings Slave17{};
  UpgradeSteps::Settings Slave19{};
  UpgradeSteps::Settings Slave20{};
};

// The settings as the file and the command line's record hold them.
QJsonObject KeptSettingsJson(const KeptSettings& settings);
// Reads a file of kept settings: an empty text when done, else the cause.
QString LoadKeptSettings(const QString& path, KeptSettings& settings);

// The file that holds a port's kept settings until they are written back:
// $XDG_STATE_HOME/bootload/PORT.json (~/.local/state/bootload/ without it),
// PORT being the device's /dev/serial/by-id name where it has one (so that
// both names of one adapter find the same file), else its path as given.
class KeptSettingsStore {
 public:
  explicit KeptSettingsStore(const std::string& device);

  const QString& Path() const { return path_; }
  bool Exists() const;

  // Each gives an empty text when done, otherwise the cause for the user.
  // Save writes a new file beside the old one, syncs it and renames it over.
  QString Save(const KeptSettings& settings) const;
  QString Load(KeptSettings& settings) const;
  // Renames the file to one named with the time, which no run takes up.
  QString SetAside(QString& asidePath) const;
  QString Remove() const;

 private:
  QString path_;
};
