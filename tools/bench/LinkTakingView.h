#pragma once

#include <functional>

#include "update/UpdateView.h"

// The window's view as the update engine sees it, passed through unchanged,
// except that every time the engine takes the serial link (right before
// each request it sends) the clock is read and handed to onLinkTaken.
class LinkTakingView final : public UpdateView {
 public:
  explicit LinkTakingView(std::function<void()> onLinkTaken);

  // The window's own view, from the window's commands factory.
  void Wrap(UpdateView& window) { window_ = &window; }

  void ClearLog() override { window_->ClearLog(); }
  void AppendLogLine(const QString& text) override { window_->AppendLogLine(text); }
  void SetLastLogLine(const QString& text) override { window_->SetLastLogLine(text); }
  void DelayWithMessages(int32_t milliseconds) override {
    window_->DelayWithMessages(milliseconds);
  }
  void ProcessPendingMessages() override { window_->ProcessPendingMessages(); }
  void SetRunButtonsEnabled(bool enabled) override { window_->SetRunButtonsEnabled(enabled); }
  void PostUpdateState(int32_t state) override { window_->PostUpdateState(state); }
  void RunEnded(const RunOutcome& outcome) override { window_->RunEnded(outcome); }
  void AppendNote(const LogNote& note) override { window_->AppendNote(note); }
  TKovaComms* CommsLink() override;
  std::string PortDevice() const override { return window_->PortDevice(); }
  const ProductIdentity& Identity() const override { return window_->Identity(); }
  const FirmwareImage& Image() const override { return window_->Image(); }
  int32_t SlaveAddress() const override { return window_->SlaveAddress(); }
  int32_t SlaveAddressOffset() const override { return window_->SlaveAddressOffset(); }

 private:
  std::function<void()> onLinkTaken_;
  UpdateView* window_ = nullptr;
};
