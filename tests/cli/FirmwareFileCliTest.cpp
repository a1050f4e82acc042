#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <numeric>

#include "cli/CliRun.h"
#include "support/Files.h"
#include "support/SparseFirmware.h"
#include "support/UnitSimProcess.h"

namespace {

// One Intel HEX record with its checksum.
QByteArray HexRecord(uint8_t type, uint16_t offset, const QByteArray& data) {
  QByteArray bytes;
  bytes.append(static_cast<char>(data.size()));
  bytes.append(static_cast<char>(offset >> 8)).append(static_cast<char>(offset & 0xFF));
  bytes.append(static_cast<char>(type)).append(data);
  const int sum = std::accumulate(bytes.begin(), bytes.end(), 0,
                                  [](int total, char b) { return total + uint8_t(b); });
  bytes.append(static_cast<char>(-sum));
  return ':' + bytes.toHex().toUpper() + "\r\n";
}

const QByteArray Data16 = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
const QByteArray EndRecord = ":00000001FF\n";
const QByteArray SixtyFourK = HexRecord(4, 0, QByteArray::fromHex("0001"));

QByteArray WithCharAt(QByteArray text, qsizetype at, char c) {
  text[at] = c;
  return text;
}

class FirmwareFiles : public testing::Test {
 protected:
  QString Write(const QString& name, const QByteArray& bytes) {
    QString path = folder.filePath(name);
    WriteFileBytes(path, bytes);
    return path;
  }
  QTemporaryDir folder;
};

TEST_F(FirmwareFiles, SparseFilesFromSrecCatWriteExactlyTheirRowsIntoTheUnit) {
  const SparseFirmware sparse(QStringLiteral(BOOTLOAD_SHIPPED_IMAGE), folder.path());
  ASSERT_TRUE(sparse.Error.isEmpty()) << sparse.Error.toStdString();
  const struct {
    QString file;
    const char* format;
  } cases[] = {{sparse.Hex, "ihex"}, {sparse.S19, "srec"}, {sparse.S37, "srec"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    UnitSimProcess unit({"--memory-in", QStringLiteral(BOOTLOAD_SHIPPED_IMAGE)});
    const QString port = QString::fromStdString(unit.SlavePath());
    const QString json = folder.filePath("unit.json");
    QFile::remove(json);
    const CliRun run = RunCli(
        {"--port", port, "--image", c.file, "--processor", "4680", "--rm", "4001", "--json", json},
        folder.path());

    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.value(run.out.size() - 1),
              QString("%1: updated (%2 of 496 rows sent)").arg(port).arg(sparse.Rows.size()));
    EXPECT_EQ(ProgrammedRows(unit.HeardFrames()), sparse.Rows);
    const std::vector<uint8_t> memory = unit.StopAndReadMemory();
    ASSERT_EQ(memory.size(), 65536u);
    EXPECT_TRUE(std::equal(memory.begin() + ProgramStart, memory.end(),
                           sparse.Binary.begin() + ProgramStart,
                           [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }));
    const std::vector<QJsonObject> records = JsonLines(json);
    ASSERT_EQ(records.size(), 1u);
    const QJsonObject image = records[0]["image"].toObject();
    EXPECT_EQ(image["file"].toString(), c.file);
    EXPECT_EQ(image["format"].toString(), c.format);
    EXPECT_EQ(image["sha256"].toString(),
              QCryptographicHash::hash(ReadFileBytes(c.file), QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(image["rowsSent"].toInt(), static_cast<int>(sparse.Rows.size()));
  }
}

// Every refusal happens before any unit is touched: exit 2, the file, the
// line and the cause on standard error, and nothing on the line.
TEST_F(FirmwareFiles, FilesThatBreakARuleAreRefusedBeforeTheUnitHearsAnything) {
  const SparseFirmware sparse(QStringLiteral(BOOTLOAD_SHIPPED_IMAGE), folder.path());
  ASSERT_TRUE(sparse.Error.isEmpty()) << sparse.Error.toStdString();
  const QByteArray good = HexRecord(0, 0x0800, Data16);
  const QByteArray s1 = "S1130800" + Data16.toHex().toUpper() + "EC\n";
  const struct {
    QString file;
    QString processor;
    QString expected;
  } cases[] = {
      {Write("checksum.hex", SixtyFourK + WithCharAt(good, 41, '0') + EndRecord), "4680",
       "line 2: wrong checksum"},
      {Write("letter.hex", WithCharAt(good, 12, 'G') + EndRecord), "4680",
       "line 1: 'G' at column 13 is not a hexadecimal digit"},
      {Write("short.hex", good.left(good.size() - 4) + "\n" + EndRecord), "4680",
       "line 1: the record is cut short"},
      {Write("no-end.hex", good + good), "4680", "line 2: the file ends without an end record"},
      {Write("twice.hex", good + HexRecord(0, 0x0808, "x") + EndRecord), "4680",
       "line 2: the record gives an address that an earlier record gave a different byte"},
      {Write("boot-area.hex", HexRecord(0, 0x07F8, Data16) + EndRecord), "4680",
       "line 1: data at 0x07F8 lies below 0x0800, in the boot loader's own area"},
      {Write("above.hex", good + SixtyFourK + good + EndRecord), "4680",
       "line 3: data at 0x10800 lies above 0xFFFF"},
      {sparse.Hex, "4321", "data at 0x2040 lies above 0x1FFF"},
      {Write("empty.hex", HexRecord(5, 0, QByteArray(4, 0)) + EndRecord), "4680",
       "it holds no data between 0x0800 and 0xFFFF"},
      {Write("count.s19", s1 + "S5030002FA\nS9030000FC\n"), "4680",
       "line 2: the record count says 2 data records, the file has 1"},
      {Write("checksum.s19", WithCharAt(s1, 40, 'F') + "S9030000FC\n"), "4680",
       "line 1: wrong checksum"},
      {Write("raw-looking.bin", ':' + QByteArray(65535, '\x55')), "4680",
       "line 1: 'U' at column 2 is not a hexadecimal digit"},
  };
  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    const CliRun run =
        RunCli({"--port", port, "--image", c.file, "--processor", c.processor, "--rm", "4001"},
               folder.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.startsWith("bootload-cli: Cannot use file " + c.file + ": ") &&
                run.err.contains(c.expected))
        << run.err.toStdString();
  }
  // A raw image that merely starts with ':' goes through when named raw.
  const CliRun raw =
      RunCli({"--info", "--port", port, "--image", folder.filePath("raw-looking.bin"), "--format",
              "raw", "--processor", "4680", "--rm", "4001"},
             folder.path());
  EXPECT_EQ(raw.exitCode, 0) << raw.err.toStdString();
  const QStringList heard = unit.HeardFrames();
  ASSERT_FALSE(heard.isEmpty());
  EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](const QString& frame) {
    return frame.startsWith("rx 9600 13 03");
  })) << "only the read of --info reached the unit";
}

}  // namespace
