#pragma once

#include <QString>
#include <optional>

// Why a --port value with a scheme names no network port the program can
// use ("unknown scheme ..."); nothing for a good network port name and for
// any name without a scheme (a device path, COMn).
std::optional<QString> NetworkPortOptionError(const QString& port);
