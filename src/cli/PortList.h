#pragma once

#include <QString>
#include <cstdio>

// Prints one line per serial port present: the COM number that reaches it
// from startupDirectory, its device, by-id name, description and serial
// number ("-" where there is none).
void PrintPresentPorts(std::FILE* out, const QString& startupDirectory);
