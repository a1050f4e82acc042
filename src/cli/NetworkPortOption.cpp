#include "cli/NetworkPortOption.h"

#include <string>
#include <variant>

#include "comms/NetworkPortName.h"

std::optional<QString> NetworkPortOptionError(const QString& port) {
  const std::string name = port.toStdString();
  if (!HasPortScheme(name)) return std::nullopt;
  const auto parsed = ParseNetworkPortName(name);
  const auto* why = std::get_if<std::string>(&parsed);
  if (why == nullptr) return std::nullopt;
  return QStringLiteral("--port %1: %2").arg(port, QString::fromStdString(*why));
}
