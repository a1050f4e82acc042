#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
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

#include "cli/CliRun.h"
#include "support/UnitSimProcess.h"
#include "support/WholeUpdateLog.h"

namespace {

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
        QStringList{"--port", "COM1", "--slave-address", "248"}, QStringList{"stray"},
        QStringList{"--port", "COM0"}, QStringList{"--port", "com33"},
        QStringList{"--port", "COM99"}}) {
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

TEST_F(BootloadCli, AClosedOutputOrAHangUpLetsTheRunFinish) {
  {
    SCOPED_TRACE("output into a reader that stops after one line");
    UnitSimProcess unit;
    QProcess reader;
    const CliRun run =
        RunCli({"--port", QString::fromStdString(unit.SlavePath()), "--json", JsonPath()},
               folder.path(), {}, [&](QProcess& cli) {
                 cli.setStandardOutputProcess(&reader);
                 reader.start(QStringLiteral("head"), {"-n", "1"});
               });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("the output is gone (Broken pipe)")) << run.err.toStdString();
    EXPECT_TRUE(HoldsTheImage(unit.StopAndReadMemory()));
    const std::vector<QJsonObject> records = JsonLines(JsonPath());
    EXPECT_TRUE(records.size() == 1 && records[0]["outcome"].toString() == "completed");
  }
  {
    SCOPED_TRACE("SIGHUP mid-transfer");
    UnitSimProcess unit;
    const QString port = QString::fromStdString(unit.SlavePath());
    bool hungUp = false;
    const CliRun run = RunCli({"--port", port}, folder.path(), [&](QProcess& process) {
      if (hungUp || unit.HeardFrames().size() < 250) return;
      hungUp = true;
      kill(static_cast<pid_t>(process.processId()), SIGHUP);
    });
    ASSERT_TRUE(hungUp);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.last(), port + ": updated");
    EXPECT_TRUE(HoldsTheImage(unit.StopAndReadMemory()));
  }
}

TEST_F(BootloadCli, AStopSignalOnceTheUnitLeftItsBootLoaderEndsAsTheUpdateDoes) {
  // The unit answers "leave boot mode" two seconds late: the signal comes while
  // the run waits for that answer.
  UnitSimProcess unit({"--fault", "late:leave:1", "--late-ms", "2000"});
  const QString port = QString::fromStdString(unit.SlavePath());
  bool signalled = false;
  const CliRun run = RunCli({"--port", port}, folder.path(), [&](QProcess& process) {
    if (signalled || unit.Transcript().filter(QRegularExpression("^leave")).isEmpty()) return;
    signalled = true;
    kill(static_cast<pid_t>(process.processId()), SIGTERM);
  });
  ASSERT_TRUE(signalled);
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(run.out.last(), port +
                                ": updated (TERM came once the unit had left its boot loader, "
                                "too late to stop it)");
  EXPECT_TRUE(HoldsTheImage(unit.StopAndReadMemory()));
}

TEST_F(BootloadCli, ARecordWithNowhereToGoIsRefusedFirstAndOneNotWrittenFailsTheRun) {
  const QString fifo = folder.filePath("records");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  for (const QString& destination : {fifo, folder.filePath("missing/units.json")}) {
    SCOPED_TRACE(destination.toStdString());
    UnitSimProcess unit;
    const CliRun run = RunCli(
        {"--port", QString::fromStdString(unit.SlavePath()), "--json", destination}, folder.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("Unable to write the record to " + destination))
        << run.err.toStdString();
    EXPECT_TRUE(unit.HeardFrames().isEmpty());
  }

  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  const CliRun run = RunCli({"--port", port, "--json", "/dev/full"}, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out.last(), port + ": updated");
  EXPECT_TRUE(run.err.contains("Unable to write the record to /dev/full: No space left on device"))
      << run.err.toStdString();
}

TEST_F(BootloadCli, TheSameDeviceUnderTwoNamesIsABadCommandLine) {
  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  const QString link = folder.filePath("by-id-link");
  ASSERT_TRUE(QFile::link(port, link));
  QString doubled = port;
  doubled.insert(port.lastIndexOf('/'), '/');
  for (const QString& other : {doubled, link}) {
    SCOPED_TRACE(other.toStdString());
    const CliRun run = RunCli({"--port", port, "--port", other}, folder.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("--port " + port + " and --port " + other + " are the same"))
        << run.err.toStdString();
  }
  EXPECT_TRUE(unit.HeardFrames().isEmpty());
}

TEST_F(BootloadCli, AFolderAndPathsThatAreNotUtf8AreTakenByTheirBytes) {
  // COM32 pinned in the folder's Bootload.Ini, COM31 pinned to a link whose
  // name is not UTF-8, and such a link given on the command line.
  UnitSimProcess pinned, pinnedLink, givenLink;
  const QByteArray bytes = QFile::encodeName(folder.path()) + "/caf\xe9";
  ASSERT_EQ(mkdir(bytes.constData(), 0700), 0);
  ASSERT_EQ(symlink(pinnedLink.SlavePath().c_str(), (bytes + "/pinned\xff").constData()), 0);
  ASSERT_EQ(symlink(givenLink.SlavePath().c_str(), (bytes + "/given\xff").constData()), 0);
  QFile settings(QFile::decodeName(QFile::encodeName(folder.path())) + "/ini");
  ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
  settings.write("[Ports]\r\nCOM32=" + QByteArray::fromStdString(pinned.SlavePath()) +
                 "\r\nCOM31=" + bytes + "/pinned\xff\r\n");
  settings.close();
  ASSERT_EQ(rename(QFile::encodeName(settings.fileName()).constData(),
                   (bytes + "/Bootload.Ini").constData()),
            0);
  // The program runs in the folder through a link with a UTF-8 name; the
  // folder it finds itself in is the one that is not UTF-8.
  const QString here = folder.filePath("here");
  ASSERT_EQ(symlink(bytes.constData(), QFile::encodeName(here).constData()), 0);

  const CliRun run = RunCli({}, here, {}, [](QProcess& cli) {
    cli.setArguments({"-c",
                      "exec \"$0\" --port COM32 --port COM31 --port \"$(printf 'given\\377')\"",
                      cli.program()});
    cli.setProgram(QStringLiteral("/bin/sh"));
  });
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("COM32: updated"));
  EXPECT_TRUE(run.out.contains("COM31: updated"));
  for (UnitSimProcess* unit : {&pinned, &pinnedLink, &givenLink}) {
    EXPECT_TRUE(HoldsTheImage(unit->StopAndReadMemory()));
  }
}

// The values unit-sim starts with, slave x 100 + register, as the words of a
// frame; the command register 29 goes back as 0.
QString StartValues(int slave, int first, int count) {
  QString words;
  for (int reg = first; reg < first + count; ++reg) {
    const int value = reg == 29 && slave == 19 ? 0 : slave * 100 + reg;
    words += QString::asprintf(" %02X %02X", value >> 8, value & 0xFF);
  }
  return words;
}

TEST_F(KeptSettingsRun, AnInterruptedRunKeepsTheSettingsAndTheNextOneWritesThemBack) {
  const QString memoryFile = folder.filePath("left.bin");
  InterruptedRun(memoryFile);
  QFile store(StoreFile());
  ASSERT_TRUE(store.open(QIODevice::ReadOnly)) << "the settings outlive the run";
  const QJsonObject kept = QJsonDocument::fromJson(store.readAll()).object();
  EXPECT_EQ(kept["unitModel"].toInt(), 1105);
  EXPECT_EQ(kept["unitVersion"].toInt(), 109);
  EXPECT_EQ(kept["port"].toString(), Port());
  EXPECT_EQ(kept["slave17"].toArray(), QJsonArray({1724}));
  EXPECT_EQ(kept["slave19"].toArray().size(), 11);
  EXPECT_EQ(kept["slave19"].toArray()[0].toInt(), 1922);
  EXPECT_EQ(kept["slave19"].toArray()[7].toInt(), 0);
  EXPECT_EQ(kept["slave20"].toArray().size(), 22);
  EXPECT_EQ(kept["slave20"].toArray()[21].toInt(), 2028);
  const QJsonObject stopped = JsonLines(JsonPath()).at(0);
  EXPECT_EQ(stopped["keptSettings"].toObject()["state"].toString(), "pending");
  EXPECT_EQ(stopped["keptSettings"].toObject()["file"].toString(), StoreFile());

  // The same unit, powered up again: in its boot loader, with what it holds.
  UnitSimProcess unit(OnPort({"--model", "1105", "--version", "109", "--start-in-boot-loader",
                              "--memory-in", memoryFile}));
  const CliRun run = Update();
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("Initialising Upgrade.....Done (0)"));
  EXPECT_TRUE(run.out.contains("Kept settings of an interrupted run on this port found in " +
                               StoreFile() +
                               ": they go back if the boot loader reports model 1105 and the "
                               "update completes"));
  EXPECT_EQ(run.out.mid(run.out.size() - 3),
            QStringList({"Finalising Upgrade.....Done",
                         "Kept settings written back; " + StoreFile() + " removed",
                         Port() + ": updated"}));
  EXPECT_FALSE(QFile::exists(StoreFile()));
  const QJsonObject record = JsonLines(JsonPath()).at(0);
  EXPECT_EQ(record["keptSettings"].toObject()["state"].toString(), "written back");
  EXPECT_TRUE(record["keptSettings"].toObject()["file"].isNull());

  const QStringList transcript = unit.Transcript();
  const QStringList writes =
      transcript.filter(QRegularExpression("^rx 9600 (11 67|13 68|14 68|13 67 00 1D) "));
  ASSERT_EQ(writes.size(), 5) << transcript.join('\n').toStdString();
  EXPECT_TRUE(writes[0].startsWith("rx 9600 11 67 00 18" + StartValues(17, 24, 1)));
  EXPECT_TRUE(writes[1].startsWith("rx 9600 13 68 00 16 00 0B 16" + StartValues(19, 22, 11)));
  EXPECT_TRUE(writes[2].startsWith("rx 9600 14 68 00 07 00 0B 16" + StartValues(20, 7, 11)));
  EXPECT_TRUE(writes[3].startsWith("rx 9600 14 68 00 12 00 0B 16" + StartValues(20, 18, 11)));
  EXPECT_TRUE(writes[4].startsWith("rx 9600 13 67 00 1D 7E 59")) << "then the commit";
  EXPECT_TRUE(HoldsTheImage(unit.StopAndReadMemory()));
}

TEST_F(KeptSettingsRun, SettingsThatCannotBeKeptLeaveTheUnitOutOfItsBootLoader) {
  QFile blocker(StateFolder());
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)) << "a file where the folder would be";
  blocker.close();
  UnitSimProcess unit(OnPort({"--model", "1105", "--version", "109"}));
  const CliRun run = Update();
  EXPECT_EQ(run.exitCode, 1);
  const QString refusal = "Kept settings could not be saved in " + StoreFile() + " (the folder " +
                          StateFolder() +
                          "/bootload cannot be made): the unit was not switched into its boot "
                          "loader; make that folder writable and run the update again";
  EXPECT_EQ(run.out, QStringList({"New File Loaded...RM1105", "Initialising Upgrade.....Done (1)",
                                  refusal, Port() + ": failed: " + refusal}));
  const QJsonObject record = JsonLines(JsonPath()).at(0);
  EXPECT_EQ(record["failingStep"].toString(), "keep settings");
  EXPECT_EQ(record["lastLogLine"].toString(), refusal);
  EXPECT_TRUE(
      unit.Transcript().filter(QRegularExpression("^(boot-entry|rx 115200|ignored)")).isEmpty())
      << "no boot-entry request, no boot-loader frame";
}

TEST_F(KeptSettingsRun, AUnitThatAnswersAsARunningUnitNeverGetsAnotherRunsSettings) {
  InterruptedRun(folder.filePath("left.bin"));
  ASSERT_TRUE(QFile::exists(StoreFile()));

  // The next unit on the line, running, with settings of its own.
  UnitSimProcess unit(OnPort({"--model", "1105", "--version", "109", "--fault", "no-reply:read:2",
                              "--fault", "no-reply:read:3"}));
  const CliRun run = Update();
  EXPECT_EQ(run.exitCode, 1) << "its own settings cannot be read: it is left alone";
  const QStringList aside =
      QDir(StateFolder() + "/bootload").entryList({"*.set-aside-*.json"}, QDir::Files);
  ASSERT_EQ(aside.size(), 1);
  const QString asidePath = StateFolder() + "/bootload/" + aside[0];
  EXPECT_TRUE(
      run.out.contains("Kept settings of an earlier run on this port not written back: "
                       "this unit answers as a running unit and may be another one; "
                       "they are set aside in " +
                       asidePath))
      << run.out.join('\n').toStdString();
  EXPECT_FALSE(QFile::exists(StoreFile()));
  EXPECT_EQ(JsonLines(JsonPath()).at(0)["keptSettingsSetAside"].toString(), asidePath);
  EXPECT_TRUE(unit.Transcript().filter(QRegularExpression("^rx 9600 .. (67|68) ")).isEmpty())
      << "nothing was written into the unit";

  // Given back by hand: the file's values go into the running unit, then
  // the commit.
  QFile file(asidePath);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  QJsonObject kept = QJsonDocument::fromJson(file.readAll()).object();
  kept["slave17"] = QJsonArray({4242});
  file.resize(0);
  file.write(QJsonDocument(kept).toJson());
  file.close();
  const CliRun restore = RunCli({"--restore-settings", asidePath, "--port", Port()}, folder.path());
  EXPECT_EQ(restore.exitCode, 0) << restore.err.toStdString();
  EXPECT_EQ(restore.out, QStringList(Port() + ": the settings of " + asidePath +
                                     " written into the unit and committed; the file can be "
                                     "deleted"));
  const QStringList writes = unit.Transcript().filter(QRegularExpression("^rx 9600 .. (67|68) "));
  ASSERT_EQ(writes.size(), 5);
  EXPECT_TRUE(writes[0].startsWith("rx 9600 11 67 00 18 10 92 ")) << "4242 into slave 17";
  EXPECT_TRUE(writes[1].startsWith("rx 9600 13 68 00 16 00 0B 16" + StartValues(19, 22, 11)));
  EXPECT_TRUE(writes[4].startsWith("rx 9600 13 67 00 1D 7E 59 "));
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

// The lines of one port in the output of a run of several, without the port.
QStringList LinesOf(const QStringList& out, const QString& port) {
  QStringList lines;
  for (const QString& line : out) {
    if (line.startsWith(port + ": ")) lines << line.mid(port.size() + 2);
  }
  return lines;
}

QString EchoFoundNote(const QString& port) {
  return "bootload-cli: " + port +
         ": the line echoes what is sent (half-duplex RS-485); the echo is taken out of every "
         "reply\n";
}

// A unit on a plain line and one on a line that echoes, updated side by
// side: the same log, the same requests heard once each, the same bytes
// counted, both memories the image.
void ExpectEchoMakesNoDifference(const QStringList& unitOptions, const QStringList& cliOptions,
                                 const QString& folder, const QString& jsonPath) {
  UnitSimProcess plain(unitOptions);
  UnitSimProcess echoing(unitOptions + QStringList{"--echo"});
  const QString plainPort = QString::fromStdString(plain.SlavePath());
  const QString echoPort = QString::fromStdString(echoing.SlavePath());
  const CliRun run =
      RunCli(cliOptions + QStringList{"--port", plainPort, "--port", echoPort, "--json", jsonPath},
             folder);
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  // A kept-settings file is named after its port's device number.
  const auto portless = [](QStringList lines, const QString&) {
    return lines.replaceInStrings(QRegularExpression("char-[0-9]+-[0-9]+"), "PORT");
  };
  EXPECT_EQ(portless(LinesOf(run.out, echoPort), echoPort),
            portless(LinesOf(run.out, plainPort), plainPort));
  for (const QString& line : WholeUpdateLog) EXPECT_TRUE(LinesOf(run.out, echoPort).contains(line));
  EXPECT_EQ(LinesOf(run.out, echoPort).last(), "updated");
  EXPECT_EQ(run.err.count(EchoFoundNote(echoPort)), 1) << run.err.toStdString();
  // With its colon: /dev/pts/1 is the start of /dev/pts/10.
  EXPECT_FALSE(run.err.contains(plainPort + ":")) << run.err.toStdString();
  EXPECT_EQ(echoing.HeardFrames(), plain.HeardFrames());
  EXPECT_EQ(echoing.Transcript().filter(QRegularExpression("^echo ")).size(),
            echoing.HeardFrames().size());
  EXPECT_TRUE(HoldsTheImage(plain.StopAndReadMemory()));
  EXPECT_TRUE(HoldsTheImage(echoing.StopAndReadMemory()));
  const std::vector<QJsonObject> records = JsonLines(jsonPath);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_FALSE(records[0]["lineEchoes"].toBool());
  EXPECT_TRUE(records[1]["lineEchoes"].toBool());
  EXPECT_EQ(records[1]["outcome"].toString(), "completed");
  EXPECT_EQ(records[1]["bytesSent"], records[0]["bytesSent"]);
  EXPECT_EQ(records[1]["bytesReceived"], records[0]["bytesReceived"]) << "the echo is left out";
}

TEST_F(BootloadCli, AnEchoingLineUpdatesAsAPlainLineDoes) {
  ExpectEchoMakesNoDifference({}, {}, folder.path(), JsonPath());
}

TEST_F(KeptSettingsRun, AnEchoingLineKeepsTheSettingsAsAPlainLineDoes) {
  // Function 103 replies equal their requests, and 104 replies repeat their start.
  ExpectEchoMakesNoDifference(
      {"--model", "1105", "--version", "109"},
      {"--image", BOOTLOAD_SHIPPED_IMAGE, "--processor", "4680", "--rm", "1105"}, folder.path(),
      JsonPath());
}

TEST_F(BootloadCli, InfoSaysTheLineEchoesWithoutAnyUnitAnswering) {
  UnitSimProcess unit({"--echo", "--fault", "no-reply:read:*"});
  const QString port = QString::fromStdString(unit.SlavePath());
  const CliRun run = RunCli({"--info", "--port", port, "--json", JsonPath()}, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, (QStringList{port + ": the line echoes what is sent (half-duplex RS-485); "
                                         "the echo is taken out of every reply",
                                  port + ": not answered: model and firmware version: no reply"}));
  const std::vector<QJsonObject> records = JsonLines(JsonPath());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0]["lineEchoes"].toBool());
}

std::vector<uint8_t> WriteMemory(const std::vector<uint8_t>& memory, const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(reinterpret_cast<const char*>(memory.data()), static_cast<qint64>(memory.size()));
  return memory;
}

TEST_F(BootloadCli, ADamagedEchoFailsItsExchangeAsADamagedReplyDoesAndARerunCompletes) {
  struct Case {
    QString at;  // WHAT:N of the unit's faults
    QString lastLine;
  };
  const Case cases[] = {
      {"read:1", "Finalising Upgrade.....Done"},
      {"erase:3", "Erasing Program Memory......Error Detected"},
      {"program:5", "Sending New Program Data......Error Detected"},
  };
  std::vector<std::unique_ptr<UnitSimProcess>> damagedEchoes;
  std::vector<std::unique_ptr<UnitSimProcess>> damagedReplies;
  QStringList arguments{"--json", JsonPath()};
  for (const Case& c : cases) {
    damagedEchoes.push_back(
        std::make_unique<UnitSimProcess>(QStringList{"--echo", "--fault", "damaged-echo:" + c.at}));
    damagedReplies.push_back(
        std::make_unique<UnitSimProcess>(QStringList{"--fault", "bad-check:" + c.at}));
    arguments << "--port" << QString::fromStdString(damagedEchoes.back()->SlavePath()) << "--port"
              << QString::fromStdString(damagedReplies.back()->SlavePath());
  }
  const CliRun run = RunCli(arguments, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  QStringList rerun;
  std::vector<std::unique_ptr<UnitSimProcess>> rerunUnits;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].at.toStdString());
    const QString echoPort = QString::fromStdString(damagedEchoes[i]->SlavePath());
    const QString replyPort = QString::fromStdString(damagedReplies[i]->SlavePath());
    EXPECT_EQ(LinesOf(run.out, echoPort), LinesOf(run.out, replyPort));
    EXPECT_EQ(LinesOf(run.out, echoPort).last(),
              (i == 0 ? "updated" : "failed: ") + (i == 0 ? QString() : cases[i].lastLine));
    EXPECT_TRUE(damagedEchoes[i]->Transcript().contains(
        QRegularExpression("^fault damaged-echo " + QString(cases[i].at).replace(':', ' '))));
    const QString memoryFile = folder.filePath(QString("left-%1.bin").arg(i));
    const std::vector<uint8_t> memory =
        WriteMemory(damagedEchoes[i]->StopAndReadMemory(), memoryFile);
    EXPECT_EQ(memory, damagedReplies[i]->StopAndReadMemory()) << "the unit's state is the same";
    EXPECT_EQ(HoldsTheImage(memory), i == 0);
    if (i == 0) continue;
    EXPECT_TRUE(run.err.contains(echoPort + ": 1 of ")) << run.err.toStdString();
    rerunUnits.push_back(std::make_unique<UnitSimProcess>(
        QStringList{"--echo", "--start-in-boot-loader", "--memory-in", memoryFile}));
    rerun << "--port" << QString::fromStdString(rerunUnits.back()->SlavePath());
  }
  const CliRun again = RunCli(rerun, folder.path());
  EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
  for (const auto& unit : rerunUnits) EXPECT_TRUE(HoldsTheImage(unit->StopAndReadMemory()));
}

TEST_F(BootloadCli, EchoOffOnAnEchoingLineAndOnOnAPlainLineFailAndSayWhy) {
  struct Case {
    QStringList unitOptions;
    QString echo;
    QString why;
  };
  const Case cases[] = {
      {{"--echo"}, "off", "--echo off, but the line gave a request back before its reply"},
      {{}, "on", "--echo on, but no request came back as its echo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.echo.toStdString());
    UnitSimProcess unit(c.unitOptions);
    const QString port = QString::fromStdString(unit.SlavePath());
    // Giving settings back by hand fails for the same reason, and says it;
    // the unit is left running for the update after it.
    const CliRun restore =
        RunCli({"--restore-settings", QStringLiteral(BOOTLOAD_KEPT_SETTINGS_SAMPLE), "--port", port,
                "--echo", c.echo},
               folder.path());
    EXPECT_EQ(restore.exitCode, 1);
    EXPECT_TRUE(restore.err.contains("bootload-cli: " + port + ": " + c.why))
        << restore.err.toStdString();
    const CliRun run = RunCli({"--port", port, "--echo", c.echo}, folder.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.last(), port + ": failed: Retrieving Model Number......Error (No Reply)");
    EXPECT_TRUE(run.err.contains("bootload-cli: " + port + ": " + c.why)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("use --echo auto"));
    EXPECT_FALSE(run.err.contains(EchoFoundNote(port)));
  }
  const CliRun bad = RunCli({"--port", "/dev/null", "--echo", "maybe"}, folder.path());
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_TRUE(bad.err.startsWith("bootload-cli: --echo takes auto, on or off, not 'maybe'\n"));
}

}  // namespace
