#include "update/ProgramTransfer.h"

#include <QString>
#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"
#include "update/BootFrames.h"
#include "update/EngineLink.h"

namespace {

constexpr uint32_t ApplicationStart = FirmwareImage::ApplicationStart;
constexpr uint32_t EraseBlockSize = 512;
constexpr uint8_t EraseCommand = 3;
constexpr uint8_t EraseCount = 8;
constexpr uint8_t ProgramCommand = 2;
constexpr uint8_t ProgramCount = 2;

const QString ErasingText = QStringLiteral("Erasing Program Memory......");
const QString SendingText = QStringLiteral("Sending New Program Data......");

QString Progress(const QString& text, std::size_t done, std::size_t total) {
  return text + QString::number(done * 100 / total) + QLatin1Char('%');
}

// Address low byte, high byte, then the upper byte 0.
std::array<uint8_t, 3> AddressBytes(uint32_t address) {
  return {static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>((address >> 8) & 0xFF), 0x00};
}

}  // namespace

ProgramTransfer::ProgramTransfer(UpdateView& view) : view_(view) {}

void ProgramTransfer::PauseAfterRequest() const {
  const int32_t pause = view_.Identity().ModelReadDelay;
  if (pause > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause));
}

bool ProgramTransfer::EraseProgramMemory() {
  view_.SetLastLogLine(ErasingText + "0%");
  const uint32_t end = view_.Identity().ProgramEndAddress + 1;
  // The blocks must end exactly at the end address: otherwise the address
  // would never meet it.
  if (end <= ApplicationStart || (end - ApplicationStart) % EraseBlockSize != 0) return false;
  const std::size_t total = (end - ApplicationStart) / EraseBlockSize;
  std::size_t done = 0;
  bool success = true;
  std::array<uint8_t, EraseCount> reply{};
  for (uint32_t address = ApplicationStart; address != end && success;) {
    success = BootTransaction(EngineLink(view_), EraseCommand, EraseCount, AddressBytes(address),
                              BootTimeoutTicks, reply) == 1;
    if (success) {
      ++done;
      view_.SetLastLogLine(Progress(ErasingText, done, total));
      address += EraseBlockSize;
    }
    PauseAfterRequest();
  }
  std::this_thread::sleep_for(PhaseEndPause);
  return success;
}

bool ProgramTransfer::SendProgramData() {
  const FirmwareImage& image = view_.Image();
  const std::vector<std::size_t> rows = image.RowsToSend(view_.Identity().ProgramEndAddress);
  view_.SetLastLogLine(SendingText + "0%");
  bool success = true;
  std::size_t sent = 0;
  std::array<uint8_t, 3 + FirmwareImage::BlockSize> data{};
  std::array<uint8_t, ProgramCount> reply{};
  for (auto row = rows.begin(); row != rows.end() && success; ++row) {
    const auto address = static_cast<uint32_t>(*row * FirmwareImage::BlockSize);
    const std::array<uint8_t, 3> addressBytes = AddressBytes(address);
    std::copy(addressBytes.begin(), addressBytes.end(), data.begin());
    const auto block = image.Block(*row);
    std::copy(block.begin(), block.end(), data.begin() + 3);
    success = BootTransaction(EngineLink(view_), ProgramCommand, ProgramCount, data,
                              BootTimeoutTicks, reply) == 1;
    if (success) {
      ++sent;
      view_.SetLastLogLine(Progress(SendingText, sent, rows.size()));
    }
    PauseAfterRequest();
  }
  std::this_thread::sleep_for(PhaseEndPause);
  return success;
}
