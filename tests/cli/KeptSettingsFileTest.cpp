#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <functional>
#include <vector>

#include "cli/CliRun.h"
#include "support/UnitSimProcess.h"

namespace {

// A file as an interrupted run of unit-sim's model 1105 leaves it.
QJsonObject KeptFile() {
  QJsonArray slave19;
  for (int reg = 22; reg <= 32; ++reg) slave19.append(reg == 29 ? 0 : 1900 + reg);
  QJsonArray slave20;
  for (int reg = 7; reg <= 28; ++reg) slave20.append(2000 + reg);
  return {{"format", 1},
          {"unitModel", 1105},
          {"unitVersion", 109},
          {"product", "Dosing Controller DC-4 v21.10"},
          {"firmwareVersion", 2110},
          {"port", "/dev/ttyUSB0"},
          {"time", "2026-12-09T10:15:00.123Z"},
          {"slave17", QJsonArray{1724}},
          {"slave19", slave19},
          {"slave20", slave20}};
}

void WriteFile(const QString& path, const QJsonObject& object) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QJsonDocument(object).toJson());
}

QJsonObject WithWord(QJsonObject object, const char* slave, int index, const QJsonValue& value) {
  QJsonArray words = object[slave].toArray();
  words[index] = value;
  object[slave] = words;
  return object;
}

// Settings no read of a unit could have given, each with the cause named.
struct BadFile {
  QJsonObject file;
  QString cause;
};

std::vector<BadFile> BadFiles() {
  QJsonObject shortSlave20 = KeptFile();
  QJsonArray words = shortSlave20["slave20"].toArray();
  words.removeLast();
  shortSlave20["slave20"] = words;
  QJsonObject otherModel = KeptFile();
  otherModel["unitModel"] = 1104;
  return {
      {WithWord(KeptFile(), "slave19", 7, 0x7E59),
       "it holds 32345 for the command register (slave 19 register 29), which is kept as 0"},
      {WithWord(KeptFile(), "slave19", 7, 0x5C3A),
       "it holds 23610 for the command register (slave 19 register 29), which is kept as 0"},
      {otherModel, "it holds settings of model 1104, which keeps none"},
      {WithWord(KeptFile(), "slave17", 0, 65536), "it does not hold kept settings"},
      {WithWord(KeptFile(), "slave20", 3, -1), "it does not hold kept settings"},
      {WithWord(KeptFile(), "slave20", 3, 1.5), "it does not hold kept settings"},
      {shortSlave20, "it does not hold kept settings"},
  };
}

bool HeardWrites(const UnitSimProcess& unit) {
  return !unit.HeardFrames().filter(QRegularExpression("^rx 9600 .. (67|68) ")).isEmpty();
}

TEST_F(BootloadCli, RestoreByHandRefusesSettingsNoReadCouldHaveGivenAndWritesNothing) {
  UnitSimProcess unit({"--model", "1105", "--version", "109"});
  const QString port = QString::fromStdString(unit.SlavePath());
  const QString path = folder.filePath("kept.json");
  for (const BadFile& bad : BadFiles()) {
    WriteFile(path, bad.file);
    const CliRun run = RunCli({"--restore-settings", path, "--port", port}, folder.path());
    EXPECT_EQ(run.exitCode, 2) << bad.cause.toStdString();
    EXPECT_EQ(run.err, "bootload-cli: " + path + ": " + bad.cause + "\n");
  }
  EXPECT_FALSE(HeardWrites(unit)) << unit.Transcript().join('\n').toStdString();
}

TEST_F(KeptSettingsRun, AFileHoldingACommandIsSetAsideAndTheCommandNeverSent) {
  const BadFile bad = BadFiles().front();
  QDir().mkpath(StateFolder() + "/bootload");
  WriteFile(StoreFile(), bad.file);
  UnitSimProcess unit(OnPort({"--model", "1105", "--version", "109", "--start-in-boot-loader"}));
  const CliRun run = Update();
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out
                  .filter("Kept settings of an earlier run on this port not written back: the "
                          "file cannot be read (" +
                          bad.cause + "); they are set aside in ")
                  .size() == 1)
      << run.out.join('\n').toStdString();
  EXPECT_FALSE(QFile::exists(StoreFile()));
  EXPECT_FALSE(HeardWrites(unit)) << "neither the settings nor the commit key";
}

// A device or a FIFO as the kept-settings file is refused at once, without
// reading it.
TEST_F(KeptSettingsRun, ADeviceOrFifoAsTheFileIsRefusedAtOnce) {
  const QString fifo = folder.filePath("fifo");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  UnitSimProcess unit(OnPort({"--model", "1105", "--version", "109", "--start-in-boot-loader"}));
  for (const QString& target : {QStringLiteral("/dev/zero"), fifo}) {
    const QString kind = target == fifo ? "a FIFO" : "a character device";
    const CliRun restore = RunCli({"--restore-settings", target, "--port", Port()}, folder.path());
    EXPECT_EQ(restore.exitCode, 2);
    EXPECT_EQ(restore.err,
              "bootload-cli: " + target + ": it is " + kind + ", not a regular file\n");

    QDir().mkpath(StateFolder() + "/bootload");
    ASSERT_TRUE(QFile::link(target, StoreFile()));
    const CliRun run = Update();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(
        run.out.filter("the file cannot be read (it is " + kind + ", not a regular file)").size(),
        1)
        << run.out.join('\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(StoreFile()));
  }
}

// --info on a unit that an interrupted update left in its boot loader says
// so, and names the settings that wait for its port.
TEST_F(KeptSettingsRun, InfoOfAUnitInItsBootLoaderSaysSoAndNamesTheSettingsWaiting) {
  QDir().mkpath(StateFolder() + "/bootload");
  WriteFile(StoreFile(), KeptFile());
  UnitSimProcess unit(OnPort({"--model", "1105", "--version", "109", "--start-in-boot-loader"}));
  const CliRun run = RunCli({"--info", "--port", Port()}, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out,
            QStringList(Port() +
                        ": not answered: model and firmware version: no reply; its boot loader "
                        "answers (RM9001, version 103): the unit sits in its boot loader, "
                        "probably left there by an interrupted update; run the update again to "
                        "complete it, and the kept settings in " +
                        StoreFile() + ", which wait for this port, go back"));
  EXPECT_TRUE(unit.HeardFrames().filter(QRegularExpression("^rx 9600 .. (67|68) ")).isEmpty());
}

// Ctrl-C or SIGTERM stops --info after the read under way, as it stops an
// update.
TEST_F(BootloadCli, AStopSignalEndsInfoAfterTheReadUnderWay) {
  for (const int signal : {SIGINT, SIGTERM}) {
    UnitSimProcess unit({"--fault", "no-reply:read:*"});
    bool sent = false;
    const CliRun run = RunCli({"--info", "--port", QString::fromStdString(unit.SlavePath())},
                              folder.path(), [&](QProcess& cli) {
                                if (sent || unit.HeardFrames().isEmpty()) return;
                                sent = true;
                                kill(static_cast<pid_t>(cli.processId()), signal);
                              });
    ASSERT_TRUE(sent);
    EXPECT_EQ(run.exitCode, 128 + signal) << run.err.toStdString();
    EXPECT_EQ(unit.HeardFrames().size(), 1) << "the read was not tried again";
  }
}

}  // namespace
