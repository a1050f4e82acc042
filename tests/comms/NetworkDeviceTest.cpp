#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "comms/GensioConnection.h"
#include "comms/NetworkDevice.h"
#include "support/PseudoTerminal.h"

namespace {

using namespace std::chrono_literals;

bool Listening(uint16_t port) {
  QFile table(QStringLiteral("/proc/net/tcp"));
  if (!table.open(QIODevice::ReadOnly)) return false;
  // local address "0100007F:PORT" in state 0A (listening)
  const QByteArray local =
      QByteArray(":") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
  for (const QByteArray& line : table.readAll().split('\n')) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] == "0A") return true;
  }
  return false;
}

uint16_t FreePort() {
  QProcess python;
  python.start(QStringLiteral("python3"),
               {QStringLiteral("-c"),
                QStringLiteral("import socket; s = socket.socket(); s.bind(('127.0.0.1', 0)); "
                               "print(s.getsockname()[1])")});
  python.waitForFinished();
  return static_cast<uint16_t>(python.readAllStandardOutput().trimmed().toUInt());
}

// ser2net in the foreground with one RFC 2217 port in front of a
// pseudo-terminal whose line starts at 19200 bit/s.
class Ser2net {
 public:
  explicit Ser2net(const std::string& device) : port_(FreePort()) {
    QFile yaml(folder_.filePath(QStringLiteral("ser2net.yaml")));
    EXPECT_TRUE(yaml.open(QIODevice::WriteOnly));
    QTextStream(&yaml) << "connection: &line\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port_
                       << "\n  connector: serialdev," << QString::fromStdString(device)
                       << ",19200n81,local\n";
    yaml.close();
    server_.setProcessChannelMode(QProcess::MergedChannels);
    server_.start(
        QStringLiteral("ser2net"),
        {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"), QStringLiteral("-c"),
         yaml.fileName(), QStringLiteral("-P"), folder_.filePath(QStringLiteral("ser2net.pid"))});
    for (int tries = 0; tries < 100 && !Listening(port_); ++tries)
      std::this_thread::sleep_for(100ms);
  }
  ~Ser2net() {
    server_.terminate();
    server_.waitForFinished();
  }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  std::string Name() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

 private:
  QTemporaryDir folder_;
  uint16_t port_;
  QProcess server_;
};

// Collects n bytes from the descriptor, or fewer when limit passes first.
std::vector<uint8_t> ReadFrom(int fd, std::size_t n, std::chrono::milliseconds limit) {
  std::vector<uint8_t> bytes;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (bytes.size() < n && std::chrono::steady_clock::now() < end) {
    pollfd readable{fd, POLLIN, 0};
    if (poll(&readable, 1, 100) <= 0) continue;
    std::vector<uint8_t> room(n - bytes.size());
    const ssize_t got = read(fd, room.data(), room.size());
    if (got <= 0) break;
    bytes.insert(bytes.end(), room.begin(), room.begin() + got);
  }
  return bytes;
}

}  // namespace

TEST(NetworkDevice, EverySpeedOfTheUpdateIsSetAtTheLineAndReadBackAndBytesPassBothWays) {
  PseudoTerminal line;
  line.KeepSlaveOpen();
  Ser2net server(line.SlavePath());
  NetworkDevice device;
  ASSERT_EQ(device.Open(server.Name()), PortDevice::OpenResult::Opened)
      << DescribePortProblem(server.Name(), device.Problem());
  for (const uint32_t speed : {9600U, 115200U, 800000U, 92160U}) {
    device.Configure({speed, 8, TParity::None, TStopBits::sb1});
    EXPECT_EQ(device.CurrentSettings().BaudRate, speed);
    EXPECT_EQ(line.SlaveBaudRate(), speed);
  }
  device.Configure({9600, 8, TParity::Even, TStopBits::sb2});
  EXPECT_EQ(device.CurrentSettings().Parity, TParity::Even);
  EXPECT_EQ(device.CurrentSettings().StopBits, TStopBits::sb2);

  const std::vector<uint8_t> request = {0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D};
  ASSERT_TRUE(device.Write(request));
  EXPECT_EQ(line.ReadExactly(request.size(), 10s), request);
  const std::vector<uint8_t> reply = {0x13, 0x03, 0x04, 0x0F, 0xA1, 0x08, 0x3E, 0x1C, 0xD4};
  line.Write(reply);
  EXPECT_EQ(ReadFrom(device.Descriptor(), reply.size(), 10s), reply);
}

// Connections come and go while others stay open, as with several units at
// once and a window that opens and closes its port: each one carries its
// bytes, whichever opened first.
TEST(NetworkDevice, ConnectionsThatOverlapAndFollowOneAnotherEachCarryTheirBytes) {
  PseudoTerminal first_line;
  PseudoTerminal second_line;
  first_line.KeepSlaveOpen();
  second_line.KeepSlaveOpen();
  Ser2net first_server(first_line.SlavePath());
  Ser2net second_server(second_line.SlavePath());
  const auto exchange = [](NetworkDevice& device, PseudoTerminal& line, uint8_t mark) {
    const std::vector<uint8_t> bytes(64, mark);
    ASSERT_TRUE(device.Write(bytes));
    EXPECT_EQ(line.ReadExactly(bytes.size(), 10s), bytes);
    line.Write(bytes);
    EXPECT_EQ(ReadFrom(device.Descriptor(), bytes.size(), 10s), bytes);
  };
  auto held = std::make_unique<NetworkDevice>();
  ASSERT_EQ(held->Open(first_server.Name()), PortDevice::OpenResult::Opened);
  for (uint8_t round = 1; round <= 12; ++round) {
    auto next = std::make_unique<NetworkDevice>();
    PseudoTerminal& next_line = round % 2 == 1 ? second_line : first_line;
    const std::string next_name = round % 2 == 1 ? second_server.Name() : first_server.Name();
    ASSERT_EQ(next->Open(next_name), PortDevice::OpenResult::Opened)
        << DescribePortProblem(next_name, next->Problem());
    exchange(*next, next_line, round);
    if (HasFatalFailure()) return;
    held = std::move(next);
  }
  held->Close();
  EXPECT_FALSE(held->IsOpen());
}

namespace {

// A TCP port on the loopback interface whose connections the kernel takes
// and nobody ever answers.
class SilentServer {
 public:
  SilentServer() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(listen(fd_, 4), 0);
    EXPECT_EQ(getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { close(fd_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  uint16_t Port() const { return port_; }

 private:
  int fd_;
  uint16_t port_ = 0;
};

// Every CA file that cannot serve is refused before the TLS library opens it,
// naming the file and what is wrong with it; a FIFO among them would hold
// the network loop for good.
TEST(NetworkDevice, ACaFileThatCannotServeIsRefusedNamingItAndWhy) {
  const QTemporaryDir folder;
  const auto path = [&](const char* name) { return folder.filePath(name).toStdString(); };
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink(path("nothing").c_str(), path("dangling").c_str()), 0);
  QFile(folder.filePath("empty")).open(QIODevice::WriteOnly);
  QFile text(folder.filePath("text.pem"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("no certificate here\n");
  text.close();
  const std::vector<std::pair<std::string, std::string>> cases{
      {path("fifo"), "it is a FIFO, not a regular file"},
      {"/dev/zero", "it is a character device, not a regular file"},
      {folder.path().toStdString(), "it is a folder, not a regular file"},
      {path("dangling"), "it is a link to nothing"},
      {path("missing"), "No such file or directory"},
      {path("empty"), "it is empty"},
      {path("text.pem"), "it holds no certificate in PEM form (-----BEGIN CERTIFICATE-----)"},
  };
  for (const auto& [file, cause] : cases) {
    NetworkDevice device;
    EXPECT_EQ(device.Open("rfc2217s://127.0.0.1:1?ca=" + file),
              PortDevice::OpenResult::Unavailable);
    std::string expected = "the CA file " + file;
    expected += " cannot be used: " + cause;
    expected +=
        "; give the CA's certificate file (PEM) with ?ca=FILE or key CA of section [Network]";
    EXPECT_EQ(device.Problem().Kind, expected);
  }
}

// A server that takes the connection and never answers is told from one
// that answers Telnet without RFC 2217.
TEST(NetworkDevice, AServerThatNeverAnswersTheNegotiationIsSaidToBeSilent) {
  const SilentServer server;
  NetworkDevice device;
  EXPECT_EQ(device.Open("rfc2217://127.0.0.1:" + std::to_string(server.Port())),
            PortDevice::OpenResult::Unavailable);
  EXPECT_TRUE(
      device.Problem().Kind.starts_with("the server did not answer the Telnet negotiation in time"))
      << device.Problem().Kind;
}

}  // namespace

namespace {

// The TLS library opens its CA file on the network loop's thread: a FIFO
// there holds the loop until a writer comes. The connection on it is given
// up within its limits and abandoned, never waited on for ever, and the loop
// serves new connections once it is free again.
TEST(GensioConnection, AConnectionTheLoopCannotLetGoOfIsAbandonedNotWaitedOn) {
  const QTemporaryDir folder;
  const std::string fifo = folder.filePath("ca.pem").toStdString();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const SilentServer server;
  const std::string stack =
      "telnet(rfc2217),ssl(CA=" + fifo + "),tcp,127.0.0.1," + std::to_string(server.Port());

  GensioConnection::Pointer held = GensioConnection::Make();
  EXPECT_NE(held->Connect(stack, 2s), 0);
  held.reset();  // abandoned: the loop still holds work for it
  EXPECT_THROW(GensioConnection::Make(), std::runtime_error) << "the loop is still held";

  // A writer comes and goes: the library reads an empty CA file and the loop
  // is free again.
  const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  close(writer);
  GensioConnection::Pointer next;
  for (int tries = 0; tries < 50 && !next; ++tries) {
    try {
      next = GensioConnection::Make();
    } catch (const std::runtime_error&) {
      std::this_thread::sleep_for(100ms);
    }
  }
  EXPECT_TRUE(next) << "the loop serves again";
}

}  // namespace
