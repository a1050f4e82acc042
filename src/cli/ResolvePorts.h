#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <variant>
#include <vector>

#include "cli/CliOptions.h"

// A --port value and the device it names.
struct ResolvedPort {
  QString Port;        // as given
  std::string Device;  // the path's bytes; empty when COMn maps to no device
  int ComNumber = 1;   // n of COMn; 1 for a device path
};

// Resolves each port: a device path is itself, byte for byte as given (see
// FileNameBytes.h); COMn is what it maps to from Bootload.Ini in
// startupDirectory, else the n-th port present; a network port over TLS that
// names no CA file gets the one Bootload.Ini names. Two ports that reach the same
// device (two spellings of a path, a link and its target, COMn and its path)
// are a bad command line: one unit would be taken for two.
std::variant<std::vector<ResolvedPort>, CliUsageError> ResolvePorts(
    const QStringList& ports, const QString& startupDirectory);
