#pragma once

#include <cstdint>
#include <string>

// Tells on standard error when the speed set on a port is more than 2% away
// from the one asked for, naming the port and who set it ("the driver",
// "the server"); the run goes on at what was set.
void WarnOfSpeedSet(const std::string& port, const char* setBy, uint32_t set, uint32_t asked);
