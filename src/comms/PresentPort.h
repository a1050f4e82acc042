#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A serial port present on this machine, as the system describes it.
struct PresentPort {
  std::string DevicePath;  // /dev/ttyUSB0
  // The stable /dev/serial/by-id/... link to it; empty when it has none.
  std::string ByIdPath;
  std::string Description;  // the product, for a USB adapter
  std::string Manufacturer;
  std::string SerialNumber;
  std::optional<uint16_t> VendorId;
  std::optional<uint16_t> ProductId;
};

// Where the kernel names the terminals its console writes to now, for
// example "tty0 ttyS0".
inline constexpr char ActiveConsoleList[] = "/sys/class/tty/console/active";

// The serial ports present now, in the order COM numbers are given to them.
// On-board ports without hardware behind them are not listed; pseudo-
// terminals never are, nor is a port that consoleList names as a console:
// the kernel writes its messages into it. No ports is a valid answer.
std::vector<PresentPort> ListPresentPorts(const std::string& consoleList = ActiveConsoleList);

// Puts ports in COM order: first the ports that come and go (USB adapters,
// ttyUSB, ttyACM, anything with a by-id link) by that link's name, or the
// device's where there is none; then the on-board UARTs by name and number.
// A by-id name stays the same whichever socket an adapter is plugged into,
// so replugging keeps its number.
std::vector<PresentPort> InComOrder(std::vector<PresentPort> ports);

// "/dev/ttyUSB0 - FT232R USB UART - A1B2C3": the path, then the description
// and serial number where known.
std::string DescribePort(const PresentPort& port);
