#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "comms/PortResolver.h"
#include "comms/PresentPort.h"

// What each COM number means now. A number pinned by key "COM<n>" of
// section "Ports" in the settings file is the path given there; any other
// number n is the n-th serial port present on the machine, in COM order.
class ComPortMap {
 public:
  // The path a key pins the number to; nothing when no key does.
  using PinnedPaths = std::function<std::optional<std::string>(int comNumber)>;

  // The ports present, in COM order.
  using PortLister = std::function<std::vector<PresentPort>()>;

  // Reads section "Ports" of the settings file in startupDirectory; lists
  // the ports present when a number is not pinned.
  explicit ComPortMap(const QString& startupDirectory);
  ComPortMap(PinnedPaths pinned, PortLister listPorts);

  // The device path of the number; empty when it maps to no device.
  std::string DevicePath(int comNumber) const;
  // The device in one line, "/dev/ttyUSB0 - FT232R USB UART - A1B2C3", or
  // "no device" when nothing is there ("no device (PATH)" for a key whose
  // path is missing); a network port is "rfc2217://HOST:PORT - network port".
  QString DeviceText(int comNumber) const;

 private:
  const std::vector<PresentPort>& Present() const;
  const PresentPort* PresentPortAt(const std::string& path) const;

  PinnedPaths pinned_;
  PortLister listPorts_;
  // Listed once, on first need: a pinned number needs no listing.
  mutable std::optional<std::vector<PresentPort>> present_;
};

// The resolver of the link: a fresh map at every open, so an edit of the
// settings file or a port plugged in meanwhile is seen. A network port's TLS
// form gets the settings file's CA file when it names none.
PortResolver MakePortResolver(const QString& startupDirectory);
