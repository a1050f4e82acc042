#include <gtest/gtest.h>

#include <QRegularExpression>

#include "modbus/ModbusFrames.h"
#include "support/UnitSimProcess.h"
#include "update/BootLoaderCommands.h"
#include "update/LinkedView.h"

namespace {

QString FrameText(const std::vector<uint8_t>& frame) {
  return QByteArray(reinterpret_cast<const char*>(frame.data()),
                    static_cast<qsizetype>(frame.size()))
      .toHex(' ')
      .toUpper();
}

// What went on the line at the firmware's speed, as "SPEED BYTES": frames the
// unit heard, and those it ignored once its boot loader listened at another
// speed.
QStringList FirmwareRequests(const UnitSimProcess& unit, uint32_t speed) {
  QStringList requests;
  const QRegularExpression line(QString("^(rx|ignored) (%1 .*)$").arg(speed));
  for (const QString& entry : unit.Transcript()) {
    const QRegularExpressionMatch match = line.match(entry);
    if (match.hasMatch()) requests << match.captured(2);
  }
  return requests;
}

struct EntryRequest {
  uint8_t slave;
  uint8_t function;
  uint16_t reg;
};

struct KindCase {
  char kind;
  uint16_t model;
  std::vector<EntryRequest> requests;
  int32_t result;
  uint32_t unitSpeed;
  uint32_t bootSpeed;
};

class BootEntry : public testing::TestWithParam<KindCase> {};

TEST_P(BootEntry, SwitchesTheUnitIntoItsBootLoader) {
  const KindCase& c = GetParam();
  UnitSimProcess unit({"--model", QString::number(c.model), "--slave-address", "7"});
  LinkedView view(unit.SlavePath());
  view.Product.ExpectedModel = c.model;
  view.Slave = 7;
  BootLoaderCommands commands(view);

  EXPECT_EQ(commands.EnableBootLoader(), c.result);
  EXPECT_EQ(view.Link->BaudRate, c.bootSpeed);
  EXPECT_EQ(commands.ReadModelNumber(), c.model) << "the boot loader answers at its speed";

  QStringList expected;
  for (const EntryRequest& r : c.requests) {
    expected << QString("%1 ").arg(c.unitSpeed) +
                    FrameText(BuildWriteRequest(r.slave, r.function, r.reg, 0x5C3A));
  }
  EXPECT_EQ(FirmwareRequests(unit, c.unitSpeed), expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, BootEntry,
    testing::Values(KindCase{'A', 1101, {{1, 6, 156}, {0, 6, 156}}, 0, 9600, 115200},
                    KindCase{'B', 1105, {{19, 103, 29}}, 1, 9600, 115200},
                    KindCase{'C', 1120, {{242, 6, 13}}, 1, 9600, 115200},
                    KindCase{'D', 2000, {{1, 103, 8}}, 1, 9600, 115200},
                    KindCase{'E', 1121, {{1, 103, 8}, {2, 103, 5}}, 1, 800000, 92160},
                    KindCase{'F', 1122, {}, 1, 9600, 115200},
                    KindCase{'G', 4001, {{7, 103, 151}}, 1, 9600, 115200},
                    KindCase{'H', 3001, {{1, 103, 2}}, 1, 9600, 115200}),
    [](const testing::TestParamInfo<KindCase>& info) { return std::string(1, info.param.kind); });

TEST(BootEntryWithoutKind, ModelWithoutARowSendsNothing) {
  UnitSimProcess unit({"--model", "2001"});
  LinkedView view(unit.SlavePath());
  view.Product.ExpectedModel = 2001;
  BootLoaderCommands commands(view);
  EXPECT_EQ(commands.EnableBootLoader(), 0);
  EXPECT_EQ(view.Link->BaudRate, 115200u);
  EXPECT_TRUE(unit.Transcript().filter(QRegularExpression("^rx ")).isEmpty());
}

}  // namespace
