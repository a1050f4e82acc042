#include "comms/PresentPort.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <system_error>

namespace {

namespace fs = std::filesystem;

constexpr char ByIdFolder[] = "/dev/serial/by-id";

std::string_view BaseName(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ComesAndGoes(const PresentPort& port) {
  const std::string_view name = BaseName(port.DevicePath);
  return !port.ByIdPath.empty() || port.VendorId.has_value() || StartsWith(name, "ttyUSB") ||
         StartsWith(name, "ttyACM");
}

// "ttyS10" after "ttyS9": runs of digits compare by their value.
bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (digitA && digitB) {
      const std::size_t endA = a.find_first_not_of("0123456789", i);
      const std::size_t endB = b.find_first_not_of("0123456789", j);
      std::string_view numberA = a.substr(i, endA - i);
      std::string_view numberB = b.substr(j, endB - j);
      numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
      numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
      if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
      if (numberA != numberB) return numberA < numberB;
      i = endA == std::string_view::npos ? a.size() : endA;
      j = endB == std::string_view::npos ? b.size() : endB;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::string_view OrderName(const PresentPort& port) {
  return BaseName(port.ByIdPath.empty() ? port.DevicePath : port.ByIdPath);
}

// The first by-id link that leads to the device; empty when none does.
std::string ByIdLinkTo(const std::string& devicePath) {
  std::error_code error;
  const fs::path device = fs::canonical(devicePath, error);
  if (error) return {};
  std::vector<std::string> links;
  for (const fs::directory_entry& entry : fs::directory_iterator(ByIdFolder, error)) {
    std::error_code linkError;
    if (fs::canonical(entry.path(), linkError) == device && !linkError) {
      links.push_back(entry.path().string());
    }
  }
  std::sort(links.begin(), links.end());
  return links.empty() ? std::string() : links.front();
}

// The terminal names the console list holds; none when it cannot be read.
std::set<std::string> ActiveConsoles(const std::string& consoleList) {
  std::ifstream file(consoleList);
  return std::set<std::string>(std::istream_iterator<std::string>(file),
                               std::istream_iterator<std::string>());
}

}  // namespace

std::vector<PresentPort> ListPresentPorts(const std::string& consoleList) {
  const std::set<std::string> consoles = ActiveConsoles(consoleList);
  std::vector<PresentPort> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    PresentPort port;
    port.DevicePath = info.systemLocation().toStdString();
    if (consoles.contains(std::string(BaseName(port.DevicePath)))) continue;
    port.ByIdPath = ByIdLinkTo(port.DevicePath);
    port.Description = info.description().toStdString();
    port.Manufacturer = info.manufacturer().toStdString();
    port.SerialNumber = info.serialNumber().toStdString();
    if (info.hasVendorIdentifier()) port.VendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier()) port.ProductId = info.productIdentifier();
    ports.push_back(std::move(port));
  }
  return InComOrder(std::move(ports));
}

std::vector<PresentPort> InComOrder(std::vector<PresentPort> ports) {
  std::stable_sort(ports.begin(), ports.end(), [](const PresentPort& a, const PresentPort& b) {
    const bool onBoardA = !ComesAndGoes(a);
    const bool onBoardB = !ComesAndGoes(b);
    if (onBoardA != onBoardB) return onBoardB;
    if (NaturalLess(OrderName(a), OrderName(b))) return true;
    if (NaturalLess(OrderName(b), OrderName(a))) return false;
    return NaturalLess(a.DevicePath, b.DevicePath);
  });
  return ports;
}

std::string DescribePort(const PresentPort& port) {
  std::string text = port.DevicePath;
  for (const std::string* part : {&port.Description, &port.SerialNumber}) {
    if (!part->empty()) text += " - " + *part;
  }
  return text;
}
