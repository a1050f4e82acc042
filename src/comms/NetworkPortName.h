#pragma once

#include <cstdint>
#include <string>
#include <variant>

// A network port: a serial device server's TCP port that carries the line
// and its settings by RFC 2217, plainly ("rfc2217://HOST:PORT") or over TLS
// ("rfc2217s://HOST:PORT", the server's certificate checked against the CA
// file of "?ca=FILE", or against the system's trusted ones without it).
// HOST is a host name, an IPv4 address or an IPv6 address in brackets.
struct NetworkPortName {
  bool Tls = false;
  std::string Host;
  bool Ipv6 = false;
  uint16_t Port = 0;
  std::string CaFile;  // empty: the system's trusted certificates

  // The name again, in the form the user writes it.
  std::string Text() const;
  // The libgensio stack that reaches the port.
  std::string GensioStack() const;
};

// True for a name with a scheme ("xxx://..."): a network port, or a name the
// program must refuse; never a device path.
bool HasPortScheme(const std::string& name);

// The network port a name gives, or why it gives none: an unknown scheme, a
// missing or bad host or port, a CA file the stack cannot carry.
std::variant<NetworkPortName, std::string> ParseNetworkPortName(const std::string& name);

// The name with the CA file for the TLS form filled in when it names none;
// any other name unchanged.
std::string WithDefaultCaFile(const std::string& name, const std::string& caFile);
