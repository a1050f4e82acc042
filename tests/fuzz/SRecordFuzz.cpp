// Fuzzes the S-record reader. Input: a mode byte, then either any text (odd
// mode), which is read or refused naming one of its lines and never crashes, or
// (even mode) records to lay out: for each, a record type (S1, S2 or S3), an
// address and up to 32 data bytes, with a count record; the file written
// from them must read back byte for byte.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzInput.h"
#include "image/RecordLines.h"
#include "image/SRecordReader.h"

namespace {

constexpr std::size_t MaxRecords = 64;
constexpr std::size_t MaxData = 32;

void AppendRecord(std::string& text, char type, std::size_t addressBytes, uint32_t address,
                  const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(addressBytes + data.size() + 1)};
  for (std::size_t i = addressBytes; i-- > 0;)
    bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (const uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<uint8_t>(~sum));
  text += 'S';
  text += type;
  char pair[3];
  for (const uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  text += '\n';
}

void CheckWellFormed(FuzzInput& input) {
  std::string text;
  AppendRecord(text, '0', 2, 0, {'f', 'u', 'z', 'z'});
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;
  for (std::size_t n = 0; n < MaxRecords; ++n) {
    const std::size_t addressBytes = 2 + input.Take<uint8_t>() % 3;
    // Records 256 bytes apart, so none overlap.
    const uint32_t high = addressBytes > 2 ? uint32_t{input.Take<uint8_t>()} << 16 : 0;
    const auto address = static_cast<uint32_t>(n * 0x100) | high;
    std::vector<uint8_t> data = input.TakeBytes(input.Take<uint8_t>() % (MaxData + 1));
    if (data.empty()) break;
    AppendRecord(text, static_cast<char>('0' + addressBytes - 1), addressBytes, address, data);
    records.emplace_back(address, std::move(data));
  }
  AppendRecord(text, '5', 2, static_cast<uint32_t>(records.size()), {});
  AppendRecord(text, '9', 2, 0, {});
  const AddressedBytes read =
      ReadSRecords(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
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
    const AddressedBytes read = ReadSRecords(text);
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
