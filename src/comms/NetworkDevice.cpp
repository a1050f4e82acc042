#include "comms/NetworkDevice.h"

#include <gensio/gensio_err.h>
#include <gensio/sergensio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <variant>

#include "comms/BoundedWrite.h"
#include "comms/FileToRead.h"
#include "comms/NetworkPortName.h"
#include "comms/SpeedCheck.h"

namespace {

using Setting = GensioConnection::Setting;

// A server that never answered the Telnet negotiation (not a libgensio error).
constexpr int NoTelnetAnswer = -1;
// libgensio gives up on a server that says nothing to the Telnet negotiation
// after some seconds, with the same error as for a refusal of RFC 2217; a
// server that refuses answers within a round trip.
constexpr auto RefusalLimit = std::chrono::seconds(1);
// The most a CA file may hold: many certificates, never a device's stream.
constexpr qsizetype LargestCaFile = qsizetype{4} * 1024 * 1024;

// Why the CA file cannot serve, checked before the TLS library opens it (a
// FIFO would hold the network loop for good); empty when it can.
std::string CaFileProblem(const std::string& path) {
  const auto content = ReadFileToRead(QByteArray::fromStdString(path), LargestCaFile);
  QString cause;
  if (const auto* error = std::get_if<QString>(&content)) {
    cause = *error;
  } else if (std::get<QByteArray>(content).trimmed().isEmpty()) {
    cause = QStringLiteral("it is empty");
  } else if (!std::get<QByteArray>(content).contains("-----BEGIN CERTIFICATE-----")) {
    cause = QStringLiteral("it holds no certificate in PEM form (-----BEGIN CERTIFICATE-----)");
  }
  if (cause.isEmpty()) return {};
  return "the CA file " + path + " cannot be used: " + cause.toStdString() +
         "; give the CA's certificate file (PEM) with ?ca=FILE or key CA of section [Network]";
}

// Why a connection did not open, in the user's words, with what to do.
std::string ConnectFailure(int error, const NetworkPortName& port) {
  const std::string seconds = std::to_string(
      std::chrono::duration_cast<std::chrono::seconds>(NetworkDevice::ConnectLimit).count());
  switch (error) {
    case GE_TIMEDOUT:
      return "no answer from " + port.Host + " within " + seconds +
             " s; check that the server is on and on the network";
    case GE_CONNREFUSE:
      return "connection refused by " + port.Host + " on TCP port " + std::to_string(port.Port) +
             "; check the port number and that the server is running";
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_SERVER_FAILURE:
    case GE_NAME_INVALID:
    case GE_NAME_NET_NOT_UP:
      return "host \"" + port.Host + "\" not found; check the host name";
    case GE_REMCLOSE:
      return "the server closed the connection at once: another client has this port (a "
             "server serves one at a time), or the server cannot open its serial device; close "
             "that client, or check the server's adapter";
    case GE_HOSTDOWN:
      return "host " + port.Host + " unreachable; check the network";
    case GE_CERTINVALID:
    case GE_CERTNOTFOUND:
    case GE_NOCERT:
    case GE_CERTEXPIRED:
    case GE_CERTREVOKED:
    case GE_KEYINVALID:
    case GE_AUTHREJECT:
      return std::string("the server's certificate did not verify (") + gensio_err_to_str(error) +
             (port.CaFile.empty()
                  ? "); give the CA file with ?ca=FILE or key CA of section [Network]"
                  : "); check the CA file " + port.CaFile + " and the server's certificate");
    default:
      return std::string("the connection failed (") + gensio_err_to_str(error) +
             "); check the server";
  }
}

unsigned GensioParity(TParity parity) {
  switch (parity) {
    case TParity::Odd:
      return SERGENSIO_PARITY_ODD;
    case TParity::Even:
      return SERGENSIO_PARITY_EVEN;
    case TParity::Mark:
      return SERGENSIO_PARITY_MARK;
    case TParity::Space:
      return SERGENSIO_PARITY_SPACE;
    case TParity::None:
      break;
  }
  return SERGENSIO_PARITY_NONE;
}

TParity ParityOf(unsigned parity) {
  switch (parity) {
    case SERGENSIO_PARITY_ODD:
      return TParity::Odd;
    case SERGENSIO_PARITY_EVEN:
      return TParity::Even;
    case SERGENSIO_PARITY_MARK:
      return TParity::Mark;
    case SERGENSIO_PARITY_SPACE:
      return TParity::Space;
    default:
      return TParity::None;
  }
}

// RFC 2217's codes: 1 and 2 stop bits, 3 for one and a half.
unsigned GensioStopBits(TStopBits stopBits) {
  switch (stopBits) {
    case TStopBits::sb1_5:
      return 3;
    case TStopBits::sb2:
      return 2;
    case TStopBits::sb1:
      break;
  }
  return 1;
}

TStopBits StopBitsOf(unsigned stopBits) {
  switch (stopBits) {
    case 3:
      return TStopBits::sb1_5;
    case 2:
      return TStopBits::sb2;
    default:
      return TStopBits::sb1;
  }
}

}  // namespace

NetworkDevice::~NetworkDevice() {
  NetworkDevice::Close();
}

PortDevice::OpenResult NetworkDevice::Open(const std::string& name) {
  if (IsOpen()) return Refuse("already open; close it first");
  problem_ = {};
  name_ = name;
  const auto parsed = ParseNetworkPortName(name);
  if (const auto* why = std::get_if<std::string>(&parsed)) return Refuse(*why);
  const auto& port = std::get<NetworkPortName>(parsed);
  if (!port.CaFile.empty()) {
    if (const std::string problem = CaFileProblem(port.CaFile); !problem.empty())
      return Refuse(problem);
  }
  // The server may still be closing this program's own last connection (the
  // link reopens the port to change its speed): a connection closed at once
  // is tried again for a moment before it counts as another client's port.
  const auto giveUp = std::chrono::steady_clock::now() + BusyRetryLimit;
  int error = Connect(port);
  while (error == GE_REMCLOSE && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(BusyRetryPause);
    error = Connect(port);
  }
  if (error == GE_NOTSUP) {
    return Refuse(
        "the server does not offer RFC 2217 (it refused the line's speed); give "
        "the port a telnet(rfc2217) accepter on the server");
  }
  if (error == NoTelnetAnswer) {
    return Refuse(
        "the server did not answer the Telnet negotiation in time: it is hung, or the port is a "
        "plain TCP one that cannot set the line's "
        "speed; check the server, and give the port a telnet(rfc2217) accepter");
  }
  if (error != 0) return Refuse(ConnectFailure(error, port));
  return OpenResult::Opened;
}

int NetworkDevice::Connect(const NetworkPortName& port) {
  connection_.reset();
  try {
    connection_ = GensioConnection::Make();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s: the network client could not start: %s\n",
                 program_invocation_short_name, name_.c_str(), error.what());
    return GE_NOMEM;
  }
  const auto start = std::chrono::steady_clock::now();
  const int error = connection_->Connect(port.GensioStack(), ConnectLimit);
  if (error != 0) return error;
  // A server that speaks RFC 2217 answers at once with the line's speed. A
  // plain TCP port cannot set the speed, so it is refused rather than used at
  // whatever speed its line has.
  const GensioConnection::Answer speed = connection_->Set(Setting::Baud, 0, AnswerLimit);
  if (connection_->Lost()) return GE_REMCLOSE;
  if (speed.Error == GE_TIMEDOUT ||
      (speed.Error != 0 && std::chrono::steady_clock::now() - start >= RefusalLimit))
    return NoTelnetAnswer;
  if (speed.Error != 0) return GE_NOTSUP;
  current_ = {};
  current_.BaudRate = speed.Value;
  return 0;
}

PortDevice::OpenResult NetworkDevice::Refuse(const std::string& why) {
  connection_.reset();
  problem_ = {PortProblem::Cause::Network, 0, why, {}};
  return OpenResult::Unavailable;
}

int NetworkDevice::Descriptor() const {
  return connection_ != nullptr ? connection_->DataDescriptor() : -1;
}

unsigned NetworkDevice::Ask(Setting setting, unsigned value, const char* what) {
  const GensioConnection::Answer answer = connection_->Set(setting, value, AnswerLimit);
  if (answer.Error == 0) return answer.Value;
  std::fprintf(stderr, "%s: %s: the server did not set the %s (%s)\n",
               program_invocation_short_name, name_.c_str(), what, gensio_err_to_str(answer.Error));
  return 0;
}

void NetworkDevice::Configure(const LineSettings& settings) {
  if (!IsOpen()) return;
  // Speed 0 would only ask; it is no line speed.
  if (settings.BaudRate != 0) {
    const unsigned set = Ask(Setting::Baud, settings.BaudRate, "line speed");
    current_.BaudRate = set;
    if (set != 0) WarnOfSpeedSet(name_, "the server", set, settings.BaudRate);
  }
  if (const unsigned size = Ask(Setting::DataSize, settings.DataBits, "data bits"); size != 0)
    current_.DataBits = static_cast<uint8_t>(size);
  if (const unsigned parity = Ask(Setting::Parity, GensioParity(settings.Parity), "parity");
      parity != 0)
    current_.Parity = ParityOf(parity);
  if (const unsigned stop = Ask(Setting::StopBits, GensioStopBits(settings.StopBits), "stop bits");
      stop != 0)
    current_.StopBits = StopBitsOf(stop);
}

void NetworkDevice::Purge() {
  if (!IsOpen()) return;
  connection_->Flush();
  std::array<uint8_t, 4096> discard{};
  while (::read(connection_->DataDescriptor(), discard.data(), discard.size()) > 0) {
  }
}

bool NetworkDevice::Write(std::span<const uint8_t> bytes) {
  return IsOpen() && !connection_->Lost() &&
         WriteWithinLineTime(connection_->DataDescriptor(), bytes, current_.BaudRate, WriteGraceMs);
}

void NetworkDevice::Close() {
  connection_.reset();
}
