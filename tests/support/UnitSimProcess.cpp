#include "support/UnitSimProcess.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <array>
#include <stdexcept>

namespace {

constexpr int StartLimitMs = 30000;
constexpr int StopLimitMs = 30000;

}  // namespace

HeldPort::HeldPort() {
  // Inherited by the units, so without close-on-exec.
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  std::array<char, 128> name{};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name.data(), name.size()) != 0) {
    if (master_ >= 0) ::close(master_);
    throw std::runtime_error("no pseudo-terminal for the held port");
  }
  path_ = name.data();
}

HeldPort::~HeldPort() {
  ::close(master_);
}

QStringList HeldPort::Options() const {
  return {"--pty-fd", QString::number(master_)};
}

UnitSimProcess::UnitSimProcess(const QStringList& options) {
  QStringList arguments = options;
  arguments << "--transcript" << dir_.filePath("transcript.txt") << "--memory-out"
            << dir_.filePath("memory.bin");
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QStringLiteral(UNIT_SIM_PATH), arguments);
  if (!process_.waitForStarted(StartLimitMs)) throw std::runtime_error("unit-sim did not start");
  while (!process_.canReadLine()) {
    if (!process_.waitForReadyRead(StartLimitMs)) {
      throw std::runtime_error("unit-sim printed no device path");
    }
  }
  slavePath_ = QString::fromUtf8(process_.readLine()).trimmed().toStdString();
}

UnitSimProcess::~UnitSimProcess() {
  if (process_.state() != QProcess::NotRunning) {
    process_.terminate();
    if (!process_.waitForFinished(StopLimitMs)) process_.kill();
    process_.waitForFinished(StopLimitMs);
  }
}

QStringList UnitSimProcess::Transcript() const {
  QFile file(dir_.filePath("transcript.txt"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QStringList UnitSimProcess::HeardFrames() const {
  return Transcript().filter(QRegularExpression("^rx "));
}

void UnitSimProcess::Unplug() {
  process_.kill();
  process_.waitForFinished(StopLimitMs);
}

std::vector<uint8_t> UnitSimProcess::StopAndReadMemory() {
  process_.terminate();
  process_.waitForFinished(StopLimitMs);
  QFile file(dir_.filePath("memory.bin"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}
