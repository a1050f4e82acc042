#include "image/SRecordReader.h"

#include <array>
#include <numeric>
#include <string>
#include <vector>

#include "image/RecordLines.h"

namespace {

enum class Kind { Header, Data, Count, End, Reserved };

struct TypeRow {
  Kind What;
  std::size_t AddressBytes;
};

// By the digit after the S.
constexpr std::array<TypeRow, 10> Types{{
    {Kind::Header, 2},
    {Kind::Data, 2},
    {Kind::Data, 3},
    {Kind::Data, 4},
    {Kind::Reserved, 0},
    {Kind::Count, 2},
    {Kind::Count, 3},
    {Kind::End, 4},
    {Kind::End, 3},
    {Kind::End, 2},
}};

constexpr int FirstDigitColumn = 3;

struct Record {
  TypeRow Type;
  uint32_t Address;
  std::span<const uint8_t> Data;
};

Record Parse(std::string_view line, int number, std::vector<uint8_t>& bytes) {
  if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
    throw ImageRecordError(number,
                           "the line does not start with S and a digit, as every "
                           "record does");
  }
  const TypeRow type = Types[static_cast<std::size_t>(line[1] - '0')];
  if (type.What == Kind::Reserved) throw ImageRecordError(number, "S4 is a reserved record type");
  bytes = HexBytes(line.substr(2), number, FirstDigitColumn);
  if (bytes.empty()) throw ImageRecordError(number, "the record is cut short: it has no count");
  if (bytes.size() != std::size_t{bytes[0]} + 1) {
    throw ImageRecordError(number, "the record is cut short or too long: its count says " +
                                       std::to_string(bytes[0]) + " bytes, it holds " +
                                       std::to_string(bytes.size() - 1));
  }
  if (bytes.size() < 2 + type.AddressBytes) {
    throw ImageRecordError(number,
                           "the record is cut short: it has no room for its address "
                           "and checksum");
  }
  const unsigned sum = std::accumulate(bytes.begin(), bytes.end() - 1, 0U);
  if (((~sum) & 0xFF) != bytes.back()) {
    throw ImageRecordError(number, "wrong checksum: the record says " + HexByte(bytes.back()) +
                                       ", its bytes give " + HexByte(~sum));
  }
  uint32_t address = 0;
  for (std::size_t i = 1; i <= type.AddressBytes; ++i) address = address << 8 | bytes[i];
  const std::size_t dataStart = 1 + type.AddressBytes;
  return {type, address,
          std::span<const uint8_t>(bytes).subspan(dataStart, bytes.size() - dataStart - 1)};
}

}  // namespace

AddressedBytes ReadSRecords(std::span<const uint8_t> text) {
  AddressedBytes data;
  RecordLines lines(text);
  std::vector<uint8_t> bytes;
  uint32_t dataRecords = 0;
  bool ended = false;
  while (lines.Next()) {
    const int number = lines.Number();
    if (ended) throw ImageRecordError(number, "a record follows the end record (S7, S8 or S9)");
    const Record record = Parse(lines.Text(), number, bytes);
    switch (record.Type.What) {
      case Kind::Data:
        PutDataRecord(data, record.Address, record.Data, number);
        ++dataRecords;
        break;
      case Kind::Count:
        if (record.Address != dataRecords) {
          throw ImageRecordError(number, "the record count says " + std::to_string(record.Address) +
                                             " data records, the file has " +
                                             std::to_string(dataRecords) + " before it");
        }
        break;
      case Kind::End:
        ended = true;
        break;
      case Kind::Header:
      case Kind::Reserved:
        break;
    }
  }
  if (!ended) {
    throw ImageRecordError(lines.Number(),
                           "the file ends without an end record (S7, S8 or S9; srec_cat "
                           "writes one when given -execution-start-address)");
  }
  return data;
}
