#pragma once

#include <QString>
#include <string>

#include "comms/PortResolver.h"

// Maps a COM port number to a device path: key "COM<n>" of section "Ports"
// in the settings file when present, otherwise /dev/ttyS<n-1>. The file is
// read again on every call, so an edit takes effect at the next open.
std::string ResolveComPort(const QString& startupDirectory, int comNumber);

PortResolver MakePortResolver(const QString& startupDirectory);
