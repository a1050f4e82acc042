#include "BootLoader.h"

#include <algorithm>
#include <array>

namespace unitsim {

namespace {

constexpr uint8_t ModelOrRestartCommand = 0;
constexpr uint8_t ProgramCommand = 2;
constexpr uint8_t EraseCommand = 3;
constexpr uint8_t LeaveCommand = 5;
constexpr uint8_t InfoCommand = 8;
constexpr uint8_t ModelCount = 2;
constexpr uint8_t RestartCount = 0;
constexpr std::array<uint8_t, 4> LeaveData{0xFF, 0x03, 0x00, 0x00};
// The address field: low byte, high byte, upper byte.
constexpr std::size_t AddressSize = 3;
// An erase reply's data: the block's address, then five zero bytes.
constexpr std::size_t EraseReplySize = 8;

std::span<const uint8_t> DataOf(std::span<const uint8_t> body) {
  return body.subspan(2, body.size() - 3);
}

uint32_t AddressOf(std::span<const uint8_t> data) {
  return uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16;
}

// Empty when the address names a unit of `size` bytes the boot loader may change.
std::string AddressProblem(std::span<const uint8_t> data, std::size_t dataSize, uint32_t size,
                           const std::string& unit) {
  if (data.size() != dataSize) {
    return std::to_string(data.size()) + " data bytes where " + std::to_string(dataSize) +
           " belong";
  }
  const uint32_t address = AddressOf(data);
  if (address >= ProgramMemory::Size) return "address beyond the 64 KiB of program memory";
  if (address % size != 0) {
    return "address not at the start of a " + std::to_string(size) + "-byte " + unit;
  }
  if (address < BootLoader::ApplicationStart) return "address inside the boot loader itself";
  return {};
}

}  // namespace

BootLoader::BootLoader(ProgramMemory& memory, BootIdentity identity)
    : memory_(memory), identity_(identity) {}

std::optional<Exchange> BootLoader::Classify(std::span<const uint8_t> body,
                                             std::string& refusal) const {
  if (body.size() < 3) {
    refusal = "frame without command, count and checksum";
    return std::nullopt;
  }
  const std::span<const uint8_t> data = DataOf(body);
  switch (body[0]) {
    case InfoCommand:
      if (data.empty()) return Exchange::Info;
      refusal = "information takes no data";
      return std::nullopt;
    case ModelOrRestartCommand:
      if (!data.empty()) {
        refusal = "command 0 takes no data";
      } else if (body[1] == ModelCount) {
        return Exchange::Model;
      } else if (body[1] == RestartCount) {
        return Exchange::Restart;
      } else {
        refusal = "command 0 takes count 2 (model number) or 0 (restart)";
      }
      return std::nullopt;
    case EraseCommand:
      refusal = AddressProblem(data, AddressSize, ProgramMemory::BlockSize, "block");
      if (refusal.empty()) return Exchange::Erase;
      refusal = "erase: " + refusal;
      return std::nullopt;
    case ProgramCommand:
      refusal =
          AddressProblem(data, AddressSize + ProgramMemory::RowSize, ProgramMemory::RowSize, "row");
      if (refusal.empty()) return Exchange::Program;
      refusal = "program: " + refusal;
      return std::nullopt;
    case LeaveCommand:
      if (std::equal(data.begin(), data.end(), LeaveData.begin(), LeaveData.end())) {
        return Exchange::Leave;
      }
      refusal = "leave boot mode takes the data FF 03 00 00";
      return std::nullopt;
    default:
      refusal = "unknown command " + std::to_string(body[0]);
      return std::nullopt;
  }
}

Bytes BootLoader::Perform(Exchange exchange, std::span<const uint8_t> body, bool otherModel) {
  const std::span<const uint8_t> data = DataOf(body);
  switch (exchange) {
    case Exchange::Info: {
      Bytes reply{InfoCommand, 4};
      AppendBe16(reply, identity_.rmNumber);
      AppendBe16(reply, identity_.version);
      return reply;
    }
    case Exchange::Model: {
      Bytes reply{ModelOrRestartCommand, ModelCount};
      AppendBe16(reply, static_cast<uint16_t>(identity_.model + (otherModel ? 1 : 0)));
      return reply;
    }
    case Exchange::Erase: {
      memory_.EraseBlock(AddressOf(data));
      Bytes reply{EraseCommand, EraseReplySize, data[0], data[1], data[2]};
      reply.resize(2 + EraseReplySize, 0);
      return reply;
    }
    case Exchange::Program:
      memory_.ProgramRow(AddressOf(data),
                         data.subspan(AddressSize).first<ProgramMemory::RowSize>());
      return {ProgramCommand, 2, data[0], data[1]};
    case Exchange::Leave:
      return {LeaveCommand, 1, 0};
    default:
      return {ModelOrRestartCommand, RestartCount};
  }
}

}  // namespace unitsim
