#pragma once

#include <QString>

#include "comms/EchoFilter.h"

// Whether the line echoes, as key "Echo" of section "Line" of the settings
// file in startupDirectory says: auto, on or off (any case); auto when the
// file, the section or the key is missing or the value empty. Never writes.
// Throws std::runtime_error naming the file and the value for any other
// value.
EchoMode ReadLineEchoSetting(const QString& startupDirectory);
