#include "comms/NetworkPortName.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

constexpr char Separator[] = "://";
constexpr char PlainScheme[] = "rfc2217";
constexpr char TlsScheme[] = "rfc2217s";
constexpr char CaQuery[] = "?ca=";
constexpr char Forms[] = "use rfc2217://HOST:PORT or rfc2217s://HOST:PORT";

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

bool IsHostNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

bool IsIpv6Char(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The host and port of "HOST:PORT" or "[IPV6]:PORT".
std::variant<NetworkPortName, std::string> ParseAuthority(const std::string& authority) {
  NetworkPortName name;
  std::string port;
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string::npos || authority.compare(close + 1, 1, ":") != 0)
      return std::string("an IPv6 address is written [ADDRESS]:PORT");
    name.Host = authority.substr(1, close - 1);
    name.Ipv6 = true;
    port = authority.substr(close + 2);
    if (name.Host.find(':') == std::string::npos &&
        std::all_of(name.Host.begin(), name.Host.end(), IsHostNameChar))
      return "brackets are for IPv6 addresses; write " + name.Host + ":PORT without them";
    if (name.Host.empty() || !std::all_of(name.Host.begin(), name.Host.end(), IsIpv6Char))
      return "\"" + name.Host + "\" is no IPv6 address";
  } else {
    const auto colon = authority.rfind(':');
    if (colon == std::string::npos) return std::string("the TCP port is missing (HOST:PORT)");
    name.Host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
    if (name.Host.empty()) return std::string("the host is missing (HOST:PORT)");
    if (!std::all_of(name.Host.begin(), name.Host.end(), IsHostNameChar))
      return "\"" + name.Host + "\" is no host name or address";
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || error != std::errc() || end != port.data() + port.size() || value == 0 ||
      value > 65535)
    return "\"" + port + "\" is no TCP port (1 to 65535)";
  name.Port = static_cast<uint16_t>(value);
  return name;
}

}  // namespace

bool HasPortScheme(const std::string& name) {
  const auto separator = name.find(Separator);
  return separator != std::string::npos && separator > 0 &&
         std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(separator),
                     IsSchemeChar);
}

std::variant<NetworkPortName, std::string> ParseNetworkPortName(const std::string& name) {
  if (!HasPortScheme(name)) return "not a network port; " + std::string(Forms);
  const auto separator = name.find(Separator);
  const std::string scheme = Lower(name.substr(0, separator));
  if (scheme != PlainScheme && scheme != TlsScheme)
    return "unknown scheme \"" + name.substr(0, separator) + "\"; " + Forms;
  std::string rest = name.substr(separator + sizeof(Separator) - 1);
  std::string caFile;
  if (const auto query = rest.find('?'); query != std::string::npos) {
    if (scheme != TlsScheme || rest.compare(query, sizeof(CaQuery) - 1, CaQuery) != 0)
      return std::string("only rfc2217s://HOST:PORT takes ?ca=FILE");
    caFile = rest.substr(query + sizeof(CaQuery) - 1);
    rest.resize(query);
    if (caFile.find('&') != std::string::npos)
      return std::string("the query takes one key, ca=FILE, once");
    // The CA file sits inside the stack's own syntax, which has no quoting.
    if (caFile.empty() || caFile.find_first_of(",()\"'") != std::string::npos)
      return "the CA file \"" + caFile + "\" is empty or holds one of , ( ) \" '";
  }
  auto parsed = ParseAuthority(rest);
  if (auto* port = std::get_if<NetworkPortName>(&parsed)) {
    port->Tls = scheme == TlsScheme;
    port->CaFile = caFile;
  }
  return parsed;
}

std::string NetworkPortName::Text() const {
  std::string text = std::string(Tls ? TlsScheme : PlainScheme) + Separator +
                     (Ipv6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
  if (!CaFile.empty()) text += CaQuery + CaFile;
  return text;
}

std::string NetworkPortName::GensioStack() const {
  std::string stack = "telnet(rfc2217),";
  if (Tls) stack += CaFile.empty() ? "ssl," : "ssl(CA=" + CaFile + "),";
  // Small frames leave at once, without waiting for the acknowledgement.
  return stack + "tcp(nodelay)," + (Ipv6 ? "ipv6," : "") + Host + "," + std::to_string(Port);
}

std::string WithDefaultCaFile(const std::string& name, const std::string& caFile) {
  if (caFile.empty()) return name;
  const auto parsed = ParseNetworkPortName(name);
  const auto* port = std::get_if<NetworkPortName>(&parsed);
  if (port == nullptr || !port->Tls || !port->CaFile.empty()) return name;
  return name + CaQuery + caFile;
}
