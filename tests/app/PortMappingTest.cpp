#include <gtest/gtest.h>

#include "support/Files.h"

#include <QFile>
#include <QTemporaryDir>

#include "app/PortMapping.h"

namespace {

class PortMapping : public testing::Test {
 protected:
  QString folder() const { return dir_.path() + '/'; }
  QString path() const { return folder() + "Bootload.Ini"; }
  void writeFile(const QByteArray& bytes) const { WriteFileBytes(path(), bytes); }

  QTemporaryDir dir_;
};

TEST_F(PortMapping, MappedPortGivesItsPath) {
  writeFile("[Ports]\r\nCOM3 =  /dev/ttyUSB0  \r\n");
  EXPECT_EQ(ResolveComPort(folder(), 3), "/dev/ttyUSB0");
}

TEST_F(PortMapping, NamesMatchWithoutRegardToCase) {
  writeFile("[ports]\r\ncom3=/dev/serial/by-id/usb-x\r\n");
  EXPECT_EQ(ResolveComPort(folder(), 3), "/dev/serial/by-id/usb-x");
}

TEST_F(PortMapping, UnmappedPortGivesSerialDevice) {
  writeFile("[Ports]\r\nCOM3=\r\nCOM4=   \r\nCOM5=/dev/ttyUSB5\r\n[Options]\r\nCOM6=/dev/x\r\n");
  const std::pair<int, const char*> expected[] = {{1, "/dev/ttyS0"},
                                                  {3, "/dev/ttyS2"},
                                                  {4, "/dev/ttyS3"},
                                                  {6, "/dev/ttyS5"},
                                                  {32, "/dev/ttyS31"}};
  for (const auto& [comNumber, device] : expected) {
    EXPECT_EQ(ResolveComPort(folder(), comNumber), device) << comNumber;
  }
}

TEST_F(PortMapping, MissingFileGivesSerialDeviceAndStaysMissing) {
  EXPECT_EQ(ResolveComPort(folder(), 1), "/dev/ttyS0");
  EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(PortMapping, ResolverSeesEditsBetweenCalls) {
  const PortResolver resolve = MakePortResolver(folder());
  writeFile("[Ports]\r\nCOM2=/dev/pts/7\r\n");
  EXPECT_EQ(resolve(2), "/dev/pts/7");
  writeFile("[Ports]\r\nCOM2=/dev/pts/9\r\n");
  EXPECT_EQ(resolve(2), "/dev/pts/9");
  writeFile("");
  EXPECT_EQ(resolve(2), "/dev/ttyS1");
}

}  // namespace
