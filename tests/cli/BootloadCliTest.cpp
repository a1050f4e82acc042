#include <gtest/gtest.h>

#include <signal.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
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

// A frame as the trace or the unit's transcript shows it: who sent it (the
// program or the unit), the line speed and the bytes in hex.
struct WireFrame {
  bool fromProgram = false;
  QString speed;
  QString bytes;
  bool operator==(const WireFrame&) const = default;
};

// Appends a frame, joining it to the one before when the same side sent
// both without the other answering between: a reply handed over in pieces.
void AddFrame(std::vector<WireFrame>& frames, WireFrame frame) {
  if (!frames.empty() && frames.back().fromProgram == frame.fromProgram &&
      frames.back().speed == frame.speed) {
    frames.back().bytes += ' ' + frame.bytes;
    return;
  }
  frames.push_back(std::move(frame));
}

const QRegularExpression TraceLine(R"(^ *(\d+\.\d{3}) (\S+) (\S+) (\d+)(?: (.*))?$)");

// The trace file's lines, each split into time, port, what, speed and rest.
std::vector<QRegularExpressionMatch> TraceLines(const QString& path) {
  QFile file(path);
  std::vector<QRegularExpressionMatch> lines;
  if (!file.open(QIODevice::ReadOnly)) return lines;
  for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
    lines.push_back(TraceLine.match(line));
    EXPECT_TRUE(lines.back().hasMatch()) << line.toStdString();
  }
  return lines;
}

// The frames of one port's lines.
std::vector<WireFrame> TracedFrames(const std::vector<QRegularExpressionMatch>& lines,
                                    const QString& port) {
  std::vector<WireFrame> frames;
  for (const QRegularExpressionMatch& line : lines) {
    if (line.captured(2) == port && (line.captured(3) == "tx" || line.captured(3) == "rx")) {
      AddFrame(frames, {line.captured(3) == "tx", line.captured(4), line.captured(5)});
    }
  }
  return frames;
}

// The unit hears ("rx") what the program sends and sends ("tx") what the
// program receives.
std::vector<WireFrame> TranscriptFrames(const QStringList& transcript) {
  static const QRegularExpression frameLine(R"(^(rx|tx) (\d+) ([0-9A-F ]+)$)");
  std::vector<WireFrame> frames;
  for (const QString& line : transcript) {
    const QRegularExpressionMatch match = frameLine.match(line);
    if (match.hasMatch()) {
      AddFrame(frames, {match.captured(1) == "rx", match.captured(2), match.captured(3)});
    }
  }
  return frames;
}

TEST_F(BootloadCli, TraceOfAWholeUpdateHoldsEveryFrameOfTheUnitInOrder) {
  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  const QString tracePath = folder.filePath("trace.txt");
  const CliRun run = RunCli({"--port", port, "--trace", tracePath, "--quiet"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  unit.StopAndReadMemory();

  const std::vector<QRegularExpressionMatch> lines = TraceLines(tracePath);
  const std::vector<WireFrame> unitFrames = TranscriptFrames(unit.Transcript());
  ASSERT_GT(unitFrames.size(), 1000u);
  EXPECT_TRUE(TracedFrames(lines, port) == unitFrames);
  QStringList events;
  double lastTime = 0;
  for (const QRegularExpressionMatch& line : lines) {
    EXPECT_EQ(line.captured(2), port);
    EXPECT_GE(line.captured(1).toDouble(), lastTime);
    lastTime = line.captured(1).toDouble();
    if (line.captured(3) != "tx" && line.captured(3) != "rx") {
      events
          << QStringList{line.captured(3), line.captured(4), line.captured(5)}.join(' ').trimmed();
    }
  }
  // Opened at the start-up speed, reopened at the firmware's, then the boot
  // loader's and the firmware's again.
  EXPECT_EQ(events.mid(0, 7),
            (QStringList{"open 115200 8N1", "purge 115200", "purge 115200", "close 115200",
                         "speed 9600 from 115200", "open 9600 8N1", "purge 9600"}));
  EXPECT_TRUE(events.contains("speed 115200 from 9600"));
  EXPECT_EQ(events.last(), "close 9600");
}

TEST_F(BootloadCli, TraceOfAReplyCutShortShowsItThenTheTimeoutOnFileAndLoggingCategory) {
  // The first kept setting's read and its retry get a reply a byte short.
  UnitSimProcess unit({"--model", "1105", "--version", "109", "--fault", "short:read:2", "--fault",
                       "short:read:3"});
  const QString port = QString::fromStdString(unit.SlavePath());
  const QString tracePath = folder.filePath("trace.txt");
  qputenv("QT_LOGGING_RULES", "bootload.wire.debug=true");
  const CliRun run = RunCli({"--port", port, "--trace", tracePath}, folder.path());
  qunsetenv("QT_LOGGING_RULES");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out.last(), port + ": failed: Initialising Upgrade.....Error");

  const QStringList shortReplies = unit.Transcript().filter(QRegularExpression("^tx 9600 11 03 "));
  ASSERT_EQ(shortReplies.size(), 2);
  const std::vector<QRegularExpressionMatch> lines = TraceLines(tracePath);
  int shortThenTimeout = 0;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].captured(3) == "rx" && "tx 9600 " + lines[i].captured(5) == shortReplies[0] &&
        lines[i + 1].captured(3) == "timeout") {
      ++shortThenTimeout;
    }
  }
  EXPECT_EQ(shortThenTimeout, 2);

  QFile file(tracePath);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QStringList logged;
  for (const QString& line : run.err.split('\n')) {
    if (line.startsWith("bootload.wire: ")) logged << line.mid(15);
  }
  EXPECT_EQ(logged, QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts));
}

TEST_F(BootloadCli, InfoOfTwoUnitsPrintsWhatTheyHoldAfterModbusReadsOnlyTracedPerPort) {
  UnitSimProcess keeper({"--model", "1105", "--version", "109"});
  UnitSimProcess other;
  const QString keeperPort = QString::fromStdString(keeper.SlavePath());
  const QString otherPort = QString::fromStdString(other.SlavePath());
  const QString tracePath = folder.filePath("trace.txt");
  const CliRun run = RunCli({"--info", "--port", keeperPort, "--port", otherPort, "--json",
                             JsonPath(), "--trace", tracePath},
                            folder.path());

  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  ASSERT_EQ(run.out.size(), 5);
  EXPECT_EQ(run.out.mid(0, 3),
            (QStringList{keeperPort + ": model 1105, firmware version 109",
                         keeperPort + ": slave 17 kept settings from register 24: 1724",
                         keeperPort + ": slave 19 kept settings from register 22: 1922 1923 1924 "
                                      "1925 1926 1927 1928 1929 1930 1931 1932"}));
  EXPECT_EQ(run.out[4], otherPort + ": model 4001, firmware version 2100");
  const std::vector<QRegularExpressionMatch> lines = TraceLines(tracePath);
  for (UnitSimProcess* unit : {&keeper, &other}) {
    const QStringList heard = unit->HeardFrames();
    EXPECT_EQ(heard.size(), unit == &keeper ? 4 : 1);
    EXPECT_EQ(heard.filter(QRegularExpression("^rx 9600 [0-9A-F]{2} 03 ")), heard);
    EXPECT_TRUE(unit->Transcript().filter(QRegularExpression("^(boot-entry|commit)")).isEmpty());
    unit->StopAndReadMemory();
    EXPECT_TRUE(TracedFrames(lines, QString::fromStdString(unit->SlavePath())) ==
                TranscriptFrames(unit->Transcript()));
  }

  const std::vector<QJsonObject> records = JsonLines(JsonPath());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["outcome"].toString(), "answered");
  EXPECT_EQ(records[0]["unitModel"].toInt(), 1105);
  EXPECT_EQ(records[0]["unitVersion"].toInt(), 109);
  const QJsonArray kept = records[0]["keptSettings"].toArray();
  ASSERT_EQ(kept.size(), 3);
  EXPECT_EQ(kept[2].toObject()["slave"].toInt(), 20);
  EXPECT_EQ(kept[2].toObject()["values"].toArray().size(), 22);
  EXPECT_EQ(kept[2].toObject()["values"].toArray().last().toInt(), 2028);
  EXPECT_EQ(records[1]["unitModel"].toInt(), 4001);
  EXPECT_TRUE(records[1]["keptSettings"].isNull());
}

TEST_F(BootloadCli, InfoFromASilentUnitIsOneAndFromAPortThatDoesNotOpenThree) {
  UnitSimProcess unit({"--fault", "no-reply:read:*"});
  const QString port = QString::fromStdString(unit.SlavePath());
  const CliRun silent = RunCli({"--info", "--port", port}, folder.path());
  EXPECT_EQ(silent.exitCode, 1);
  EXPECT_EQ(silent.out, QStringList{port + ": not answered: model and firmware version: no reply"});

  const QString missing = folder.filePath("ttyUSB9");
  const CliRun notOpened = RunCli({"--info", "--port", missing}, folder.path());
  EXPECT_EQ(notOpened.exitCode, 3);
  EXPECT_TRUE(notOpened.err.contains(missing + ": no such device (not connected)"));
}

}  // namespace
