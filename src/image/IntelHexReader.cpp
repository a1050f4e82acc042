#include "image/IntelHexReader.h"

#include <numeric>
#include <string>
#include <vector>

#include "image/RecordLines.h"

namespace {

constexpr uint8_t DataRecord = 0x00;
constexpr uint8_t EndRecord = 0x01;
constexpr uint8_t SegmentAddressRecord = 0x02;
constexpr uint8_t StartSegmentRecord = 0x03;
constexpr uint8_t LinearAddressRecord = 0x04;
constexpr uint8_t StartLinearRecord = 0x05;
// Count, two address bytes, type and checksum.
constexpr std::size_t FrameBytes = 5;
constexpr int FirstDigitColumn = 2;

struct Record {
  uint8_t Type;
  uint16_t Offset;
  std::span<const uint8_t> Data;
};

Record Parse(std::string_view line, int number, std::vector<uint8_t>& bytes) {
  if (line.front() != ':') {
    throw ImageRecordError(number, "the line does not start with ':', as every record does");
  }
  bytes = HexBytes(line.substr(1), number, FirstDigitColumn);
  if (bytes.size() < FrameBytes) {
    throw ImageRecordError(number,
                           "the record is cut short: it has no room for its count, "
                           "address, type and checksum");
  }
  const std::size_t count = bytes[0];
  if (bytes.size() != FrameBytes + count) {
    throw ImageRecordError(number, "the record is cut short or too long: its count says " +
                                       std::to_string(count) + " data bytes, it holds " +
                                       std::to_string(bytes.size() - FrameBytes));
  }
  const unsigned sum = std::accumulate(bytes.begin(), bytes.end(), 0U) & 0xFF;
  if (sum != 0) {
    const unsigned expected = (bytes.back() - sum) & 0xFF;
    throw ImageRecordError(number, "wrong checksum: the record says " + HexByte(bytes.back()) +
                                       ", its bytes give " + HexByte(expected));
  }
  return {bytes[3], static_cast<uint16_t>(bytes[1] << 8 | bytes[2]),
          std::span<const uint8_t>(bytes).subspan(4, count)};
}

uint32_t AddressRecordValue(const Record& record, int number) {
  if (record.Data.size() != 2) {
    throw ImageRecordError(number, "an address record holds 2 data bytes, this one " +
                                       std::to_string(record.Data.size()));
  }
  return static_cast<uint32_t>(record.Data[0] << 8 | record.Data[1]);
}

}  // namespace

AddressedBytes ReadIntelHex(std::span<const uint8_t> text) {
  AddressedBytes data;
  RecordLines lines(text);
  std::vector<uint8_t> bytes;
  uint64_t base = 0;
  bool ended = false;
  while (lines.Next()) {
    const int number = lines.Number();
    if (ended) throw ImageRecordError(number, "a record follows the end record (type 01)");
    const Record record = Parse(lines.Text(), number, bytes);
    switch (record.Type) {
      case DataRecord:
        PutDataRecord(data, base + record.Offset, record.Data, number);
        break;
      case EndRecord:
        ended = true;
        break;
      case SegmentAddressRecord:
        base = uint64_t{AddressRecordValue(record, number)} << 4;
        break;
      case LinearAddressRecord:
        base = uint64_t{AddressRecordValue(record, number)} << 16;
        break;
      case StartSegmentRecord:
      case StartLinearRecord:
        break;
      default:
        throw ImageRecordError(number, "unknown record type " + HexByte(record.Type));
    }
  }
  if (!ended) {
    throw ImageRecordError(lines.Number(), "the file ends without an end record (type 01)");
  }
  return data;
}
