#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "comms/GensioConnection.h"
#include "comms/NetworkPortName.h"
#include "comms/PortDevice.h"

// A port on a serial device server, reached by RFC 2217 over TCP (or over
// TLS) through libgensio: the line settings and purges go to the server as
// RFC 2217 commands, the line's bytes through the connection.
class NetworkDevice : public PortDevice {
 public:
  // How long the connection may take to open, and the server to answer a
  // line setting.
  static constexpr std::chrono::milliseconds ConnectLimit{5000};
  static constexpr std::chrono::milliseconds AnswerLimit{3000};
  // How long a server that closes the connection at once is tried again.
  static constexpr std::chrono::milliseconds BusyRetryLimit{1500};
  static constexpr std::chrono::milliseconds BusyRetryPause{100};

  NetworkDevice() = default;
  ~NetworkDevice() override;
  NetworkDevice(const NetworkDevice&) = delete;
  NetworkDevice& operator=(const NetworkDevice&) = delete;

  // Connects to the port the name gives, and checks that the server speaks
  // RFC 2217 by asking it for the line's speed.
  OpenResult Open(const std::string& name) override;
  const PortProblem& Problem() const override { return problem_; }
  bool IsOpen() const override { return connection_ != nullptr; }
  int Descriptor() const override;
  void Configure(const LineSettings& settings) override;
  LineSettings CurrentSettings() const override { return current_; }
  void Purge() override;
  bool Write(std::span<const uint8_t> bytes) override;
  void Close() override;

 private:
  OpenResult Refuse(const std::string& why);
  // One connection and the check for RFC 2217: 0, a libgensio error, or
  // GE_NOTSUP for a server without RFC 2217.
  int Connect(const NetworkPortName& port);
  unsigned Ask(GensioConnection::Setting setting, unsigned value, const char* what);

  GensioConnection::Pointer connection_;
  std::string name_;
  LineSettings current_;
  PortProblem problem_;
};
