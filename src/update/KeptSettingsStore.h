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
// Only a regular file of at most 64 KiB is read, and only values a read of
// the unit could have given are taken: 16 bits each, as many as each slave
// keeps, of the model that keeps settings, the command register as 0.
QString LoadKeptSettings(const QString& path, KeptSettings& settings);

// The file that holds a port's kept settings until they are written back:
// $XDG_STATE_HOME/bootload/NAME.json (~/.local/state/bootload/ without it),
// NAME made from what the port is (see PortStateName.h).
class KeptSettingsStore {
 public:
  explicit KeptSettingsStore(const std::string& device);

  // Empty when the port cannot be named: nothing is then found, and Save
  // gives the cause.
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
  QString path_;  // empty when the port cannot be named
  QString problem_;
};
