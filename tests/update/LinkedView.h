#pragma once

#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>

#include "comms/KovaComms.h"
#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"
#include "update/UpdateView.h"

// A window stand-in with a real serial link on the given device, opened as
// the window opens it at start-up, for driving the update commands.
class LinkedView final : public UpdateView {
 public:
  explicit LinkedView(const std::string& device)
      : Device(device), Link(std::make_unique<TKovaComms>([device](int) { return device; })) {
    Link->BaudRate = 115200;
    Link->RxBufferSize = 500;
    Link->Open();
    Product.ModelReadDelay = -1;
  }

  std::string Device;
  QStringList Log;
  int32_t Slave = 1;
  ProductIdentity Product;
  FirmwareImage Firmware;
  std::unique_ptr<TKovaComms> Link;
  int Delays = 0;

  void ClearLog() override { Log.clear(); }
  void AppendLogLine(const QString& text) override { Log.append(text); }
  void SetLastLogLine(const QString& text) override {
    if (!Log.isEmpty()) Log.last() = text;
  }
  void DelayWithMessages(int32_t milliseconds) override {
    ++Delays;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
  }
  void ProcessPendingMessages() override {}
  void SetRunButtonsEnabled(bool) override {}
  void PostUpdateState(int32_t) override {}
  void RunEnded(const RunOutcome&) override {}
  void AppendNote(const LogNote& note) override { Log.append(note.Text); }
  TKovaComms* CommsLink() override { return Link.get(); }
  std::string PortDevice() const override { return Device; }
  const ProductIdentity& Identity() const override { return Product; }
  const FirmwareImage& Image() const override { return Firmware; }
  int32_t SlaveAddress() const override { return Slave; }
  int32_t SlaveAddressOffset() const override { return 0; }
};
