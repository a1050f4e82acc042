#pragma once

#include <QString>
#include <string>

#include "comms/EchoFilter.h"

// How writing kept settings back by hand ended: the exit status and the
// line for the user.
struct SettingsRestoreResult {
  int Status = 0;
  QString Message;
};

// Writes the settings of a kept-settings file into the running unit on the
// port, with the writes and the commit an update ends with, once the unit
// has answered with the model the settings belong to.
SettingsRestoreResult RestoreSettingsByHand(const QString& file, const QString& port,
                                            const std::string& device, int comNumber,
                                            EchoMode echo);
