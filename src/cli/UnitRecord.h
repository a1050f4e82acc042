#pragma once

#include <QDateTime>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "update/SettingsSafeKeeping.h"

// The firmware an update writes, as the record names it.
struct ImageOnRecord {
  QString File;                 // empty for the built-in image
  QString Format;               // "built-in", "raw", "ihex" or "srec"
  QByteArray Sha256;            // of the file, or of the built-in image's 65,536 bytes; hexadecimal
  std::size_t RowsSent = 0;     // the rows the transfer sends
  std::size_t ProgramRows = 0;  // every row from 0x0800 to the program end address
};

// What one unit's update did, for the summary and the JSON record.
struct UnitRecord {
  // Current: the unit already had the image's firmware version and was left
  // alone (the station's poll).
  enum class Result { Completed, Failed, PortNotOpened, Stopped, Current };

  QString Port;    // as given on the command line
  QString Device;  // the device path it resolved to; empty when none
  QString ProductTitle;
  ImageOnRecord Image;
  std::optional<uint16_t> UnitModel;  // read before the update
  std::optional<uint16_t> UnitVersion;
  std::optional<uint32_t> BootLoaderInfo;  // RM number high, version low
  Result Outcome = Result::Failed;
  // The state whose failure, or during which a stop, ended the run.
  int32_t FailedState = -1;
  // A signal that asked to stop once the unit had left its boot loader, too
  // late to stop the run; 0 when none did.
  int LateStopSignal = 0;
  QString LastLogLine;
  QString PortDetail;  // why the port did not open
  // The settings the unit keeps across the update, kept in a file from boot
  // entry until written back, and an earlier run's file set aside.
  std::optional<KeptSettingsOutcome> Kept;
  QString KeptSetAside;
  QDateTime Start;
  QDateTime End;
  uint64_t BytesSent = 0;
  uint64_t BytesReceived = 0;
  // The line was seen to give back what is sent.
  bool LineEchoes = false;
  // What went wrong with the echo, for standard error; empty when nothing did.
  QString EchoProblem;
};
