// Fuzzes the Intel HEX reader. Input: a mode byte, then either any text
// (odd mode), which is read or refused naming one of its lines and never
// crashes, or (even mode) records to lay out: for each, a 32-bit address
// and up to 32 data bytes; the file written from them must read back
// byte for byte.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzInput.h"
#include "image/IntelHexReader.h"
#include "image/RecordLines.h"

namespace {

constexpr std::size_t MaxRecords = 64;
constexpr std::size_t MaxData = 32;

void AppendRecord(std::string& text, uint8_t type, uint16_t offset,
                  const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
                             static_cast<uint8_t>(offset), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (const uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
  text += ':';
  char pair[3];
  for (const uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    text += pair;
  }
  text += "\r\n";
}

void CheckWellFormed(FuzzInput& input) {
  std::string text;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;
  for (std::size_t n = 0; n < MaxRecords; ++n) {
    // Each record in a 64 KiB segment of its own, so none overlap.
    const auto segment = static_cast<uint16_t>(n * 0x0101 + input.Take<uint8_t>());
    const auto offset = static_cast<uint16_t>(input.Take<uint8_t>() << 8);
    std::vector<uint8_t> data = input.TakeBytes(input.Take<uint8_t>() % (MaxData + 1));
    if (data.empty()) break;
    AppendRecord(text, 0x04, 0,
                 {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)});
    AppendRecord(text, 0x00, offset, data);
    records.emplace_back(uint32_t{segment} << 16 | offset, std::move(data));
  }
  AppendRecord(text, 0x01, 0, {});
  const AddressedBytes read =
      ReadIntelHex(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  Require(read.Runs().size() == records.size(), "every data record is read");
  for (const auto& [address, data] : records) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      Require(read.At(address + static_cast<uint32_t>(i)) == data[i], "the bytes come back");
    }
  }
}

void CheckAnyText(FuzzInput& input) {
  const std::vector<uint8_t> text = input.Rest();
  try {
    const AddressedBytes read = ReadIntelHex(text);
    for (const AddressedBytes::Run& run : read.Runs()) {
      Require(run.First <= run.Last && read.At(run.Last).has_value(), "a run's bytes are held");
    }
  } catch (const ImageRecordError& error) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    Require(error.Line() >= 0 && error.Line() <= lines, "a refusal names a line of the text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  if (input.Take<uint8_t>() % 2 == 0) {
    CheckWellFormed(input);
  } else {
    CheckAnyText(input);
  }
  return 0;
}
