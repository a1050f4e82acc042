#pragma once

#include <QString>
#include <string>

#include "cli/LogEvent.h"
#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"
#include "update/RunOutcome.h"
#include "update/UpdateView.h"

class QObject;

// The view of one unit's update without a window: log lines go to the
// printer, states are posted to the unit's own thread.
class CliView final : public UpdateView {
 public:
  CliView(TKovaComms& link, std::string device, const ProductIdentity& identity,
          const FirmwareImage& image, int32_t slaveAddress, LogSink log, QObject& stateTarget);

  void ClearLog() override;
  void AppendLogLine(const QString& text) override;
  void SetLastLogLine(const QString& text) override;
  void DelayWithMessages(int32_t milliseconds) override;
  void ProcessPendingMessages() override;
  void SetRunButtonsEnabled(bool enabled) override;
  void PostUpdateState(int32_t state) override;
  void RunEnded(const RunOutcome& outcome) override;
  // Prints every note; the last line stays the sequence's own.
  void AppendNote(const LogNote& note) override;

  TKovaComms* CommsLink() override { return &link_; }
  std::string PortDevice() const override { return device_; }
  const ProductIdentity& Identity() const override { return identity_; }
  const FirmwareImage& Image() const override { return image_; }
  int32_t SlaveAddress() const override { return slaveAddress_; }
  int32_t SlaveAddressOffset() const override { return 0; }

  // Ends the run after the state under way: the next state posted is the
  // end of the run instead.
  void StopAfterCurrentState() { stopping_ = true; }

  const QString& LastLogLine() const { return lastLine_; }
  // The last note of something out of the ordinary; empty when none.
  const QString& LastUnusualNote() const { return lastUnusualNote_; }
  const RunOutcome& Outcome() const { return outcome_; }

 private:
  TKovaComms& link_;
  std::string device_;
  const ProductIdentity& identity_;
  const FirmwareImage& image_;
  int32_t slaveAddress_;
  LogSink log_;
  QObject& stateTarget_;
  QString lastLine_;
  QString lastUnusualNote_;
  RunOutcome outcome_;
  bool stopping_ = false;
};
