#pragma once

#include <QString>
#include <string>

// The name of a port's kept-settings file, made from what the port is
// rather than from how it was spelt, so that two spellings of one port find
// one file and two ports never share one:
// - a local device: "serial_by-id_NAME" after its /dev/serial/by-id name,
//   which stays with the adapter whichever ttyUSB number it gets; without
//   one, "char-MAJOR-MINOR" after its device number;
// - a network port: "SCHEME_ADDRESS_PORT" with the scheme in lower case, the
//   host's address as it resolves (its first IPv4 address, else its first
//   IPv6 one; the name in lower case when it does not resolve) and the TCP
//   port as a number, leaving out any CA file.
struct PortStateName {
  QString Name;     // without ".json"; empty when the port cannot be named
  QString Problem;  // why not, for the user
};

PortStateName StateNameOfPort(const std::string& device);
