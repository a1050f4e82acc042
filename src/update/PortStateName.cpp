#include "update/PortStateName.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <system_error>
#include <variant>

#include "comms/NetworkPortName.h"

namespace {

constexpr char ByIdFolder[] = "/dev/serial/by-id";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The text of the first address of family among the host's addresses.
std::string FirstAddress(const addrinfo* addresses, int family) {
  for (const addrinfo* at = addresses; at != nullptr; at = at->ai_next) {
    if (at->ai_family != family) continue;
    std::array<char, INET6_ADDRSTRLEN> text{};
    const void* address =
        family == AF_INET
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(at->ai_addr)->sin_addr)
            : static_cast<const void*>(
                  &reinterpret_cast<const sockaddr_in6*>(at->ai_addr)->sin6_addr);
    if (inet_ntop(family, address, text.data(), text.size()) != nullptr) return text.data();
  }
  return {};
}

std::string ResolvedHost(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return Lower(host);
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
  std::string address = FirstAddress(addresses.get(), AF_INET);
  if (address.empty()) address = FirstAddress(addresses.get(), AF_INET6);
  return address.empty() ? Lower(host) : address;
}

PortStateName NetworkStateName(const NetworkPortName& port) {
  const std::string name = std::string(port.Tls ? "rfc2217s" : "rfc2217") + "_" +
                           ResolvedHost(port.Host) + "_" + std::to_string(port.Port);
  return {QString::fromStdString(name), {}};
}

PortStateName Unnamed(const QString& port, const QString& cause) {
  return {{}, QStringLiteral("the port %1 cannot be named (%2)").arg(port, cause)};
}

PortStateName LocalStateName(const std::string& device) {
  struct stat status {};
  if (::stat(device.c_str(), &status) != 0) {
    return Unnamed(QFile::decodeName(device.c_str()),
                   QString::fromStdString(std::generic_category().message(errno)));
  }
  if (!S_ISCHR(status.st_mode))
    return Unnamed(QFile::decodeName(device.c_str()), QStringLiteral("it is no device"));
  const QDir byId(QString::fromLatin1(ByIdFolder));
  for (const QString& link : byId.entryList(QDir::System | QDir::Files, QDir::Name)) {
    struct stat target {};
    if (::stat(QFile::encodeName(byId.filePath(link)).constData(), &target) == 0 &&
        S_ISCHR(target.st_mode) && target.st_rdev == status.st_rdev) {
      return {QStringLiteral("serial_by-id_") + link, {}};
    }
  }
  return {QStringLiteral("char-%1-%2").arg(major(status.st_rdev)).arg(minor(status.st_rdev)), {}};
}

}  // namespace

PortStateName StateNameOfPort(const std::string& device) {
  if (HasPortScheme(device)) {
    const auto parsed = ParseNetworkPortName(device);
    if (const auto* port = std::get_if<NetworkPortName>(&parsed)) return NetworkStateName(*port);
    return Unnamed(QString::fromStdString(device),
                   QString::fromStdString(std::get<std::string>(parsed)));
  }
  return LocalStateName(device);
}
