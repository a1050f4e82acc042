#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "comms/EchoFilter.h"

class TKovaComms;

// Opens the link on its port at baudRate, 8 data bits, no parity, 1 stop
// bit, with the start-up receive buffer, its echo found or set by echo.
// Nothing when it opened, otherwise why not, in one line for the user (empty
// when the link gave no cause).
std::optional<QString> OpenUnitLink(TKovaComms& link, int comNumber, uint32_t baudRate,
                                    EchoMode echo);
// The same for a link opened before, keeping what was found of its line's
// echo.
std::optional<QString> ReopenUnitLink(TKovaComms& link, int comNumber, uint32_t baudRate);
