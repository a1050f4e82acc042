#include "cli/UnitLink.h"

#include "comms/KovaComms.h"
#include "update/LineSpeeds.h"

std::optional<QString> OpenUnitLink(TKovaComms& link, int comNumber, uint32_t baudRate,
                                    EchoMode echo) {
  link.SetEchoMode(echo);
  return ReopenUnitLink(link, comNumber, baudRate);
}

std::optional<QString> ReopenUnitLink(TKovaComms& link, int comNumber, uint32_t baudRate) {
  link.BaudRate = baudRate;
  link.RxBufferSize = StartupRxBufferSize;
  link.CommPort = static_cast<uint8_t>(comNumber - 1);
  try {
    if (link.Open()) return std::nullopt;
    return QString::fromStdString(link.OpenFailureDetail());
  } catch (const ECommsError& error) {
    return QString::fromStdString(error.Detail().empty() ? error.what() : error.Detail());
  }
}
