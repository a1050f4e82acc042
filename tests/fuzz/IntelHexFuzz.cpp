// Fuzzes the Intel HEX reader (see RecordFileFuzz.h). Well-formed input: for
// each record, a 32-bit address and up to 32 data bytes, laid out behind
// extended linear address records, in lower-case digits with CR LF.
#include "RecordFileFuzz.h"
#include "image/IntelHexReader.h"

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
  AppendHexDigits(text, bytes, "%02x");
  text += "\r\n";
}

void CheckWellFormed(FuzzInput& input) {
  std::string text;
  FuzzRecords records;
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
  RequireReadsBack(ReadIntelHex, text, records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return FuzzRecordReader(data, size, ReadIntelHex, CheckWellFormed);
}
