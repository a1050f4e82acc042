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

  TKovaComms* CommsLink() override;
  std::string PortDevice() const override;
  const ProductIdentity& Identity() const override;
  const FirmwareImage& Image() const override;
  int32_t SlaveAddress() const override;
  int32_t SlaveAddressOffset() const override;

 private:
  TMainForm& form_;
};
