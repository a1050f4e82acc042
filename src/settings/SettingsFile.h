#pragma once

#include <QString>
#include <cstdint>

// "Bootload.Ini" in the given folder (which ends in a path delimiter).
QString SettingsFilePath(const QString& startupDirectory);

// Whether the settings file is there as a regular file (links followed);
// start-up creates it when it is not.
bool SettingsFileExists(const QString& startupDirectory);

// The remembered COM port number ("Comms_Port" in "Options"); 1 when the
// file is missing or unreadable, the key or section is missing or the text
// is no integer. Never writes.
int32_t ReadCommPortSetting(const QString& startupDirectory);

// Writes the COM port number into the file, keeping everything else in it.
// Throws std::runtime_error "Unable to write to <path>" on failure.
void WriteCommPortSetting(const QString& startupDirectory, int32_t commPortNumber);
