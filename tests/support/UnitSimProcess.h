#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <string>
#include <vector>

// A port that outlives the units on it: a pseudo-terminal whose master the
// test holds, inherited by every unit-sim started with its Options(), so that
// units started one after another stand on the same device.
class HeldPort {
 public:
  // Throws std::runtime_error when no pseudo-terminal can be made.
  HeldPort();
  ~HeldPort();
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;

  const std::string& Path() const { return path_; }
  // The unit-sim options that put a unit on this port.
  QStringList Options() const;

 private:
  int master_ = -1;
  std::string path_;
};

// The simulated unit as a child process: started with the given options, it
// serves a pseudo-terminal whose path it reports, writes its transcript to a
// file and its program memory to another when it ends.
class UnitSimProcess {
 public:
  explicit UnitSimProcess(const QStringList& options = {});
  ~UnitSimProcess();
  UnitSimProcess(const UnitSimProcess&) = delete;
  UnitSimProcess& operator=(const UnitSimProcess&) = delete;

  const std::string& SlavePath() const { return slavePath_; }

  // The transcript so far, one frame or event a line.
  QStringList Transcript() const;
  // The transcript lines of frames heard ("rx ...").
  QStringList HeardFrames() const;

  // Ends the unit at once, as when an adapter is unplugged: the line hangs
  // up under the program.
  void Unplug();

  // Ends the unit and returns its 64 KiB program memory.
  std::vector<uint8_t> StopAndReadMemory();

 private:
  QTemporaryDir dir_;
  QProcess process_;
  std::string slavePath_;
};
