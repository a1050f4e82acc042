#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <set>

#include "settings/PortMapping.h"
#include "support/Files.h"

namespace {

PresentPort Adapter(std::string device, const std::string& byId, std::string serial) {
  PresentPort port;
  port.DevicePath = std::move(device);
  port.ByIdPath = byId.empty() ? std::string() : "/dev/serial/by-id/" + byId;
  port.Description = "FT232R USB UART";
  port.SerialNumber = std::move(serial);
  port.VendorId = 0x0403;
  port.ProductId = 0x6001;
  return port;
}

PresentPort OnBoard(std::string device) {
  PresentPort port;
  port.DevicePath = std::move(device);
  return port;
}

std::vector<std::string> Paths(const std::vector<PresentPort>& ports) {
  std::vector<std::string> paths;
  paths.reserve(ports.size());
  for (const PresentPort& port : ports) paths.push_back(port.DevicePath);
  return paths;
}

ComPortMap MapOf(const std::map<int, std::string>& pinned,
                 const std::vector<PresentPort>& present) {
  return ComPortMap(
      [pinned](int n) -> std::optional<std::string> {
        const auto found = pinned.find(n);
        if (found == pinned.end()) return std::nullopt;
        return found->second;
      },
      [present] { return InComOrder(present); });
}

TEST(ComOrder, AdaptersComeFirstByTheirStableNameThenOnBoardPortsByNumber) {
  const std::vector<PresentPort> present = {
      OnBoard("/dev/ttyS10"),
      OnBoard("/dev/ttyAMA0"),
      Adapter("/dev/ttyUSB1", "usb-FTDI_FT232R_USB_UART_B2-if00-port0", "B2"),
      OnBoard("/dev/ttyS2"),
      OnBoard("/dev/ttyACM0"),
      Adapter("/dev/ttyUSB0", "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "A1"),
      OnBoard("/dev/ttyS0"),
  };
  EXPECT_EQ(Paths(InComOrder(present)),
            (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1",
                                      "/dev/ttyAMA0", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10"}));

  // The same two adapters after A1 was replugged into another socket and
  // came back as ttyUSB2: COM1 is still A1, COM2 still B2.
  const ComPortMap replugged =
      MapOf({}, {Adapter("/dev/ttyUSB1", "usb-FTDI_FT232R_USB_UART_B2-if00-port0", "B2"),
                 OnBoard("/dev/ttyS0"),
                 Adapter("/dev/ttyUSB2", "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "A1")});
  EXPECT_EQ(replugged.DevicePath(1), "/dev/ttyUSB2");
  EXPECT_EQ(replugged.DevicePath(2), "/dev/ttyUSB1");
  EXPECT_EQ(replugged.DevicePath(3), "/dev/ttyS0");
}

TEST(ComPortMap, KeyWinsOverAPresentPortAndNumbersBeyondThePortsMapToNoDevice) {
  QTemporaryDir folder;
  const std::string pinned = folder.filePath("port").toStdString();
  const ComPortMap map = MapOf({{2, pinned}, {5, folder.filePath("gone").toStdString()}},
                               {OnBoard("/dev/ttyS0"), Adapter("/dev/ttyUSB0", "", "A1")});
  ASSERT_TRUE(QFile(QString::fromStdString(pinned)).open(QIODevice::WriteOnly));

  EXPECT_EQ(map.DevicePath(1), "/dev/ttyUSB0");
  EXPECT_EQ(map.DevicePath(2), pinned);
  EXPECT_EQ(map.DevicePath(3), "");
  EXPECT_EQ(map.DeviceText(2), QString::fromStdString(pinned));
  EXPECT_EQ(map.DeviceText(3), "no device");
  EXPECT_EQ(map.DeviceText(5), "no device (" + folder.filePath("gone") + ")");
}

class PortsSection : public testing::Test {
 protected:
  QString folder() const { return dir_.path() + '/'; }
  void writeFile(const QByteArray& bytes) const {
    WriteFileBytes(folder() + "Bootload.Ini", bytes);
  }

  QTemporaryDir dir_;
};

TEST_F(PortsSection, KeysAreReadWithoutRegardToCaseAndAnEmptyValuePinsNothing) {
  writeFile("[ports]\r\ncom3 =  /dev/serial/by-id/usb-x  \r\nCOM4=   \r\n[Options]\r\nCOM5=/x\r\n");
  const ComPortMap map(folder());
  EXPECT_EQ(map.DevicePath(3), "/dev/serial/by-id/usb-x");
  const std::vector<PresentPort> present = ListPresentPorts();
  for (int n : {4, 5}) {
    EXPECT_EQ(map.DevicePath(n), present.size() >= static_cast<std::size_t>(n)
                                     ? present[static_cast<std::size_t>(n) - 1].DevicePath
                                     : std::string())
        << n;
  }
}

TEST_F(PortsSection, ResolverSeesEditsBetweenCallsAndCreatesNoFile) {
  const PortResolver resolve = MakePortResolver(folder());
  const std::string unpinned = resolve(2);
  EXPECT_FALSE(QFile::exists(folder() + "Bootload.Ini"));
  writeFile("[Ports]\r\nCOM2=/dev/pts/7\r\n");
  EXPECT_EQ(resolve(2), "/dev/pts/7");
  writeFile("[Ports]\r\nCOM2=/dev/pts/9\r\n");
  EXPECT_EQ(resolve(2), "/dev/pts/9");
  writeFile("");
  EXPECT_EQ(resolve(2), unpinned);
}

TEST_F(PortsSection, NetworkPortsAreNamedAsSuchAndTheTlsFormTakesTheCaFileOfTheSettings) {
  writeFile(
      "[Ports]\r\nCOM1=rfc2217://bench:4001\r\nCOM2=rfc2217s://[::1]:4002\r\n"
      "COM3=rfc2217s://bench:4003?ca=/etc/own.pem\r\n[Network]\r\nCA=certs/bench-ca.pem\r\n");
  const ComPortMap map(folder());
  EXPECT_EQ(map.DeviceText(1), "rfc2217://bench:4001 - network port");
  const PortResolver resolve = MakePortResolver(folder());
  EXPECT_EQ(resolve(1), "rfc2217://bench:4001");
  EXPECT_EQ(resolve(2),
            "rfc2217s://[::1]:4002?ca=" + folder().toStdString() + "certs/bench-ca.pem");
  EXPECT_EQ(resolve(3), "rfc2217s://bench:4003?ca=/etc/own.pem");
}

// Whatever this machine has: every listed port is a terminal device that is
// really there, never a pseudo-terminal, and an on-board UART is listed only
// with hardware behind it. No ports at all is a valid answer.
TEST(PresentPorts, RealEnumerationListsOnlyPortsWithHardware) {
  for (const PresentPort& port : ListPresentPorts()) {
    SCOPED_TRACE(port.DevicePath);
    struct stat status {};
    ASSERT_EQ(stat(port.DevicePath.c_str(), &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
    EXPECT_FALSE(port.DevicePath.starts_with("/dev/pts/"));
    const std::string name = port.DevicePath.substr(port.DevicePath.rfind('/') + 1);
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int uartType = -1;
    if (name.starts_with("ttyS") && type >> uartType) {
      EXPECT_NE(uartType, 0);
    }
  }
}

// The console lists are real files; the ports are this machine's.
TEST(PresentPorts, APortThatIsAnActiveConsoleIsLeftOutOfTheNumbering) {
  std::set<std::string> realConsoles;
  std::ifstream real(ActiveConsoleList);
  for (std::string name; real >> name;) realConsoles.insert("/dev/" + name);
  for (const PresentPort& port : ListPresentPorts()) {
    EXPECT_FALSE(realConsoles.contains(port.DevicePath)) << port.DevicePath << " is a console";
  }

  QTemporaryDir folder;
  const QString consoles = folder.filePath("active");
  WriteFileBytes(consoles, "tty0\n");
  std::vector<std::string> expected = Paths(ListPresentPorts(consoles.toStdString()));
  if (expected.empty()) GTEST_SKIP() << "this machine has no serial port to take as a console";
  const std::string console = expected.front();
  WriteFileBytes(consoles, QByteArray("tty0 ") + console.substr(console.rfind('/') + 1).c_str());
  expected.erase(expected.begin());
  EXPECT_EQ(Paths(ListPresentPorts(consoles.toStdString())), expected);
}

}  // namespace
