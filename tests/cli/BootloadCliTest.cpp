#include <gtest/gtest.h>

#include <signal.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>
#include <vector>

#include "support/UnitSimProcess.h"
#include "support/WholeUpdateLog.h"

namespace {

constexpr int RunLimitMs = 300000;
constexpr uint32_t ProgramStart = 0x800;

struct CliRun {
  int exitCode = -1;
  QStringList out;
  QString err;
};

// Runs the real bootload-cli in folder; during, if given, is called every
// 20 ms while it runs.
CliRun RunCli(const QStringList& arguments, const QString& folder,
              const std::function<void(QProcess&)>& during = {}) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.start(QStringLiteral(BOOTLOAD_CLI_PATH), arguments);
  const QDeadlineTimer deadline(RunLimitMs);
  while (!process.waitForFinished(20)) {
    if (process.state() == QProcess::NotRunning || deadline.hasExpired()) break;
    if (during) during(process);
  }
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished();
    return {};
  }
  CliRun run;
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

QByteArray ShippedImage() {
  QFile file(QStringLiteral(BOOTLOAD_SHIPPED_IMAGE));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool HoldsTheImage(const std::vector<uint8_t>& memory) {
  const QByteArray image = ShippedImage();
  return memory.size() == 65536 && image.size() == 65536 &&
         std::equal(memory.begin() + ProgramStart, memory.end(), image.begin() + ProgramStart,
                    [](uint8_t unit, char file) { return unit == static_cast<uint8_t>(file); });
}

std::vector<QJsonObject> JsonLines(const QString& path) {
  QFile file(path);
  std::vector<QJsonObject> objects;
  if (!file.open(QIODevice::ReadOnly)) return objects;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (!line.isEmpty()) objects.push_back(QJsonDocument::fromJson(line).object());
  }
  return objects;
}

class BootloadCli : public testing::Test {
 protected:
  QString JsonPath() const { return folder.filePath("units.json"); }
  QTemporaryDir folder;
};

TEST_F(BootloadCli, WholeUpdateLogsEveryStepWritesTheImageAndItsRecord) {
  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  const CliRun run = RunCli({"--port", port, "--json", JsonPath()}, folder.path());

  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, WholeUpdateLog + QStringList{port + ": updated"});
  EXPECT_TRUE(HoldsTheImage(unit.StopAndReadMemory()));

  const std::vector<QJsonObject> records = JsonLines(JsonPath());
  ASSERT_EQ(records.size(), 1u);
  const QJsonObject& record = records[0];
  EXPECT_EQ(record["port"].toString(), port);
  EXPECT_EQ(record["device"].toString(), port);
  EXPECT_EQ(record["product"].toString(), "Multi-Drop Controller MD-5 v2.110");
  EXPECT_EQ(record["unitModel"].toInt(), 4001);
  EXPECT_EQ(record["unitVersion"].toInt(), 2100);
  EXPECT_EQ(record["bootLoader"].toObject()["rm"].toInt(), 9001);
  EXPECT_EQ(record["bootLoader"].toObject()["version"].toInt(), 103);
  EXPECT_EQ(record["outcome"].toString(), "completed");
  EXPECT_TRUE(record["failingStep"].isNull());
  EXPECT_EQ(record["lastLogLine"].toString(), "Finalising Upgrade.....Done");
  const QDateTime start = QDateTime::fromString(record["start"].toString(), Qt::ISODateWithMs);
  const QDateTime end = QDateTime::fromString(record["end"].toString(), Qt::ISODateWithMs);
  EXPECT_TRUE(start.isValid() && end.isValid() && start <= end);
  EXPECT_GT(record["bytesSent"].toInteger(), 65536 - ProgramStart) << "the image went out";
  EXPECT_GT(record["bytesReceived"].toInteger(), 0);
}

TEST_F(BootloadCli, FailedUnitsEndWithTheirLinesAndStatusOne) {
  struct Case {
    QStringList unitOptions;
    QStringList lastLines;
  };
  const Case cases[] = {
      {{"--fault", "no-reply:any:*"},
       {"Initialising Upgrade.....Done (0)", "Enabling BootLoader.....Done",
        "Retrieving Bootloader Info......Info Unavailable",
        "Retrieving Model Number......Error (No Reply)"}},
      {{"--fault", "other-model:model:*"},
       {"Retrieving Model Number......Error (Incompatible Model)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unitOptions.join(' ').toStdString());
    UnitSimProcess unit(c.unitOptions);
    const QString port = QString::fromStdString(unit.SlavePath());
    const CliRun run = RunCli({"--port", port}, folder.path());
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_GE(run.out.size(), c.lastLines.size() + 1);
    EXPECT_EQ(run.out.mid(run.out.size() - c.lastLines.size() - 1, c.lastLines.size()),
              c.lastLines);
    EXPECT_EQ(run.out.last(), port + ": failed: " + c.lastLines.last());
  }
}

TEST_F(BootloadCli, BadCommandLineIsTwoAndAPortThatDoesNotOpenIsThree) {
  for (const QStringList& arguments :
       {QStringList{}, QStringList{"--port"}, QStringList{"--port", "COM1", "--image", "x"},
        QStringList{"--port", "COM1", "--slave-address", "248"}, QStringList{"stray"}}) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const CliRun run = RunCli(arguments, folder.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("Usage: bootload-cli --port PORT")) << run.err.toStdString();
  }

  const QString missing = folder.filePath("ttyUSB9");
  const CliRun run = RunCli({"--port", missing}, folder.path());
  EXPECT_EQ(run.exitCode, 3);
  const QString detail = missing + ": no such device (not connected)";
  EXPECT_TRUE(run.err.contains(detail)) << run.err.toStdString();
  EXPECT_TRUE(run.out.last().startsWith(missing + ": port not opened: " + detail));
}

// Its bytes over the built-in image would send the unit a mix of two images.
TEST_F(BootloadCli, ImageFileShorterThanTheImageIsABadCommandLineAndNothingIsSent) {
  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  const QString image = folder.filePath("short.bin");
  for (const int size : {0, 65535}) {
    SCOPED_TRACE(size);
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(QByteArray(size, '\x5A')), size);
    file.close();
    const CliRun run = RunCli(
        {"--port", port, "--image", image, "--processor", "4680", "--rm", "4001"}, folder.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, QString("bootload-cli: Cannot use file %1: it holds %2 bytes; a firmware "
                               "image is 65536 bytes\n")
                           .arg(image)
                           .arg(size));
  }
  for (const QString& line : unit.Transcript())
    EXPECT_TRUE(line.startsWith("start ")) << line.toStdString();
}

TEST_F(BootloadCli, FourUnitsAtOnceOneFaultedMidTransfer) {
  std::vector<std::unique_ptr<UnitSimProcess>> units;
  QStringList arguments;
  for (int i = 0; i < 4; ++i) {
    units.push_back(std::make_unique<UnitSimProcess>(
        i == 2 ? QStringList{"--fault", "no-reply:program:100"} : QStringList{}));
    arguments << "--port" << QString::fromStdString(units.back()->SlavePath());
  }
  const CliRun run = RunCli(arguments + QStringList{"--json", JsonPath()}, folder.path());

  EXPECT_EQ(run.exitCode, 1);
  ASSERT_GE(run.out.size(), 4);
  const std::vector<QJsonObject> records = JsonLines(JsonPath());
  ASSERT_EQ(records.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const QString port = QString::fromStdString(units[i]->SlavePath());
    EXPECT_TRUE(run.out.contains(port + ": Sending New Program Data......" +
                                 (i == 2 ? "Error Detected" : "100%")));
    const QString summary = run.out[run.out.size() - 4 + i];
    const QJsonObject& record = records[static_cast<std::size_t>(i)];
    EXPECT_EQ(record["port"].toString(), port);
    if (i == 2) {
      EXPECT_EQ(summary, port + ": failed: Sending New Program Data......Error Detected");
      EXPECT_EQ(record["outcome"].toString(), "failed");
      EXPECT_EQ(record["failingStep"].toString(), "send");
      EXPECT_EQ(record["lastLogLine"].toString(), "Sending New Program Data......Error Detected");
    } else {
      EXPECT_EQ(summary, port + ": updated");
      EXPECT_EQ(record["outcome"].toString(), "completed");
      EXPECT_TRUE(HoldsTheImage(units[i]->StopAndReadMemory()));
    }
  }
}

TEST_F(BootloadCli, InterruptedMidTransferLeavesTheUnitInItsBootLoaderAndARunAgainCompletesIt) {
  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  bool interrupted = false;
  const CliRun run = RunCli({"--port", port}, folder.path(), [&](QProcess& process) {
    // Well into the rows: the erase's 124 frames and then some.
    if (interrupted || unit.HeardFrames().size() < 250) return;
    interrupted = true;
    kill(static_cast<pid_t>(process.processId()), SIGINT);
  });
  ASSERT_TRUE(interrupted);
  EXPECT_EQ(run.exitCode, 130);
  EXPECT_EQ(run.out.last(), port +
                                ": stopped by INT at \"Sending New Program Data......Error "
                                "Detected\"; the unit is left in its boot loader: run the "
                                "update again to complete it");

  const CliRun again = RunCli({"--port", port}, folder.path());
  EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
  EXPECT_EQ(again.out.last(), port + ": updated");
  EXPECT_TRUE(HoldsTheImage(unit.StopAndReadMemory()));
}

}  // namespace
