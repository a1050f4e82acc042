#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

constexpr int RunLimitMs = 300000;

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

inline std::vector<QJsonObject> JsonLines(const QString& path) {
  QFile file(path);
  std::vector<QJsonObject> objects;
  if (!file.open(QIODevice::ReadOnly)) return objects;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (!line.isEmpty()) objects.push_back(QJsonDocument::fromJson(line).object());
  }
  return objects;
}
