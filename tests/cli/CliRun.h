#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "support/UnitSimProcess.h"

// Runs of the real bootload-cli, the fixtures its tests share.

inline constexpr int RunLimitMs = 300000;
inline constexpr uint32_t ProgramStart = 0x800;

struct CliRun {
  int exitCode = -1;
  QStringList out;
  QString err;
};

// Runs the real bootload-cli in folder; during, if given, is called every
// 20 ms while it runs; before, if given, just before it starts.
inline CliRun RunCli(const QStringList& arguments, const QString& folder,
                     const std::function<void(QProcess&)>& during = {},
                     const std::function<void(QProcess&)>& before = {}) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.setProgram(QStringLiteral(BOOTLOAD_CLI_PATH));
  process.setArguments(arguments);
  if (before) before(process);
  process.start();
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

inline QByteArray ShippedImage() {
  QFile file(QStringLiteral(BOOTLOAD_SHIPPED_IMAGE));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool HoldsTheImage(const std::vector<uint8_t>& memory) {
  const QByteArray image = ShippedImage();
  return memory.size() == 65536 && image.size() == 65536 &&
         std::equal(memory.begin() + ProgramStart, memory.end(), image.begin() + ProgramStart,
                    [](uint8_t unit, char file) { return unit == static_cast<uint8_t>(file); });
}

inline std::vector<QJsonObject> JsonLines(const QString& path) {
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

// The settings-keeping model 1105 at version 109, updated with the shipped
// image (new firmware 21.10) through a link in folder that names its port,
// so that a unit-sim started later can stand on the same port.
class KeptSettingsRun : public BootloadCli {
 protected:
  KeptSettingsRun() {
    qputenv("XDG_STATE_HOME", StateFolder().toUtf8());
    QFile::link(QString::fromStdString(port_.Path()), Port());
  }

  QString StateFolder() const { return folder.filePath("state"); }
  QString Port() const { return folder.filePath("bench-port"); }
  // Named after the pseudo-terminal's device number, whatever the spelling.
  QString StoreFile() const {
    struct stat status {};
    ::stat(port_.Path().c_str(), &status);
    return StateFolder() + QStringLiteral("/bootload/char-%1-%2.json")
                               .arg(major(status.st_rdev))
                               .arg(minor(status.st_rdev));
  }
  // The unit-sim options that put a unit on the port.
  QStringList OnPort(QStringList options) const { return options << port_.Options(); }

  CliRun Update(const std::function<void(QProcess&)>& during = {}) {
    return RunCli({"--port", Port(), "--image", BOOTLOAD_SHIPPED_IMAGE, "--processor", "4680",
                   "--rm", "1105", "--json", JsonPath()},
                  folder.path(), during);
  }

  // A run stopped by SIGTERM well into the rows: the unit stays in its boot
  // loader, its program memory half written, and is written to memoryFile.
  void InterruptedRun(const QString& memoryFile) {
    UnitSimProcess unit(OnPort({"--model", "1105", "--version", "109"}));
    bool stopped = false;
    const CliRun run = Update([&](QProcess& process) {
      if (stopped || unit.HeardFrames().size() < 250) return;
      stopped = true;
      kill(static_cast<pid_t>(process.processId()), SIGTERM);
    });
    ASSERT_TRUE(stopped);
    ASSERT_EQ(run.exitCode, 143) << run.err.toStdString();
    EXPECT_TRUE(
        run.out.contains("Kept settings saved in " + StoreFile() + " until they are written back"));
    const std::vector<uint8_t> memory = unit.StopAndReadMemory();
    QFile out(memoryFile);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(memory.data()), static_cast<qint64>(memory.size()));
  }

  HeldPort port_;
};
