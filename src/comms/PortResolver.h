#pragma once

#include <functional>
#include <string>

// Gives the device path of a COM port number (1 = COM1), empty when the
// number maps to no device; asked at every open.
using PortResolver = std::function<std::string(int comNumber)>;
