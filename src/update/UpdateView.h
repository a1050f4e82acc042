#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "update/RunOutcome.h"
#include "update/UpdateCommands.h"

class FirmwareImage;
class TKovaComms;
struct ProductIdentity;

// What the update engine may use of the main window, and nothing more.
class UpdateView {
 public:
  virtual ~UpdateView() = default;

  virtual void ClearLog() = 0;
  // Adds a new last line, scrolls to it and selects it.
  virtual void AppendLogLine(const QString& text) = 0;
  // Replaces the text of the last line in place.
  virtual void SetLastLogLine(const QString& text) = 0;
  // Waits at least milliseconds while dispatching window messages.
  virtual void DelayWithMessages(int32_t milliseconds) = 0;
  // Dispatches the window messages that are pending now, once.
  virtual void ProcessPendingMessages() = 0;
  // Enables or disables the Start and Close buttons together.
  virtual void SetRunButtonsEnabled(bool enabled) = 0;
  // Posts the update state to the window's message queue; it runs after the
  // current message has been handled.
  virtual void PostUpdateState(int32_t state) = 0;
  // The run has ended (state 99 ran): how, as the sequence saw it.
  virtual void RunEnded(const RunOutcome& outcome) = 0;
  // Adds a note of the commands as a new last line, or leaves a routine one
  // out where the log holds only the sequence's own lines and what was out
  // of the ordinary. A note is never the step's line the run ended on.
  virtual void AppendNote(const LogNote& note) = 0;

  // The serial link, or nullptr while the window has none.
  virtual TKovaComms* CommsLink() = 0;
  // The device path of the link's port, as its open resolves it; empty when
  // the port maps to no device.
  virtual std::string PortDevice() const = 0;
  virtual const ProductIdentity& Identity() const = 0;
  virtual const FirmwareImage& Image() const = 0;
  virtual int32_t SlaveAddress() const = 0;
  virtual int32_t SlaveAddressOffset() const = 0;
};
