#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <string>

#include "cli/LogEvent.h"
#include "cli/UnitRecord.h"
#include "comms/EchoFilter.h"
#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"

class TKovaComms;

// One unit's whole update over its own link, run in the calling thread with
// an event loop of its own, so that several units run side by side.
class UnitUpdate {
 public:
  struct Setup {
    QString Port;        // as given
    std::string Device;  // the resolved path's bytes; empty when PORT maps to no device
    int ComNumber = 1;   // n of COMn; 1 for a device path
    ProductIdentity Identity;
    FirmwareImage Image;
    int32_t SlaveAddress = 1;
    EchoMode Echo = EchoMode::Auto;
    ImageOnRecord ImageSource;
  };

  // stopSignal holds the number of a signal that asks every run to stop,
  // 0 while none has; another thread sets it.
  UnitUpdate(Setup setup, LogSink log, const std::atomic<int>& stopSignal);

  // Opens the port at the start-up settings and runs the update to its end.
  UnitRecord Run();
  // Runs the update to its end on a link already open on the unit's port,
  // which stays the caller's. portSeenEmpty: the port has been seen without
  // a unit since its kept settings' file was written, so the file is not
  // this unit's.
  UnitRecord RunOn(TKovaComms& link, bool portSeenEmpty);

  const Setup& Settings() const { return setup_; }
  // A link to the unit's port, not open yet: every run on this unit, the
  // station's poll too, goes through one made here.
  std::unique_ptr<TKovaComms> NewLink() const;
  // A record of this unit with its port, device and product, started now.
  UnitRecord NewRecord() const;

 private:
  Setup setup_;
  LogSink log_;
  const std::atomic<int>& stopSignal_;
};
