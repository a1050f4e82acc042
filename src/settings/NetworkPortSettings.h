#pragma once

#include <QString>
#include <string>

// The port name with the CA file of key "CA" in section "Network" of the
// settings file in startupDirectory filled in, when the name is the TLS form
// of a network port and names no CA file itself; any other name unchanged.
// A relative CA path is taken from startupDirectory.
std::string WithSettingsCaFile(const std::string& name, const QString& startupDirectory);
