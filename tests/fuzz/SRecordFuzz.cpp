// Fuzzes the S-record reader (see RecordFileFuzz.h). Well-formed input: for
// each record, a record type (S1, S2 or S3), an address and up to 32 data
// bytes, laid out after an S0, with an S5 count and an S9 end.
#include "RecordFileFuzz.h"
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
  AppendHexDigits(text, bytes, "%02X");
  text += '\n';
}

void CheckWellFormed(FuzzInput& input) {
  std::string text;
  AppendRecord(text, '0', 2, 0, {'f', 'u', 'z', 'z'});
  FuzzRecords records;
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
  RequireReadsBack(ReadSRecords, text, records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return FuzzRecordReader(data, size, ReadSRecords, CheckWellFormed);
}
