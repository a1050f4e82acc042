#pragma once

#include "update/UpdateView.h"

class TMainForm;

// The narrow view of the main window that the update engine works through.
class MainWindowView final : public UpdateView {
 public:
  explicit MainWindowView(TMainForm& form);

  void ClearLog() override;
  void AppendLogLine(const QString& text) override;
  void SetLastLogLine(const QString& text) override;
  void DelayWithMessages(int32_t milliseconds) override;
  void ProcessPendingMessages() override;
  void SetRunButtonsEnabled(bool enabled) override;
  void PostUpdateState(int32_t state) override;
  void RunEnded(const RunOutcome& outcome) override;
  // The list holds the sequence's own lines, and notes only of what was out
  // of the ordinary.
  void AppendNote(const LogNote& note) override;

  TKovaComms* CommsLink() override;
  std::string PortDevice() const override;
  const ProductIdentity& Identity() const override;
  const FirmwareImage& Image() const override;
  int32_t SlaveAddress() const override;
  int32_t SlaveAddressOffset() const override;

  // Ends the run after the state under way: the next state posted is the
  // end of the run instead. For the window's last run before it ends.
  void StopAfterCurrentState() { stopping_ = true; }

 private:
  TMainForm& form_;
  bool stopping_ = false;
};
