#pragma once

// What the fuzz targets of the firmware file readers share. Input: a mode
// byte, then either any text (odd mode), which is read or refused naming one
// of its lines and never crashes, or (even mode) records that the target lays
// out as a file, which must read back byte for byte.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "FuzzInput.h"
#include "image/AddressedBytes.h"
#include "image/RecordLines.h"

using RecordReader = AddressedBytes (*)(std::span<const uint8_t>);
// Each record's address and data bytes.
using FuzzRecords = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;

// Appends each byte as two hexadecimal digits, in the case of format.
inline void AppendHexDigits(std::string& text, const std::vector<uint8_t>& bytes,
                            const char* format) {
  char pair[3];
  for (const uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, format, b);
    text += pair;
  }
}

inline void RequireReadsBack(RecordReader read, const std::string& text,
                             const FuzzRecords& records) {
  const AddressedBytes bytes =
      read(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  Require(bytes.Runs().size() == records.size(), "every data record is read");
  for (const auto& [address, data] : records) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      Require(bytes.At(address + static_cast<uint32_t>(i)) == data[i], "the bytes come back");
    }
  }
}

inline void CheckAnyText(RecordReader read, FuzzInput& input) {
  const std::vector<uint8_t> text = input.Rest();
  try {
    const AddressedBytes bytes = read(text);
    for (const AddressedBytes::Run& run : bytes.Runs()) {
      Require(run.First <= run.Last && bytes.At(run.Last).has_value(), "a run's bytes are held");
    }
  } catch (const ImageRecordError& error) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    Require(error.Line() >= 0 && error.Line() <= lines, "a refusal names a line of the text");
  }
}

// Chooses the mode by the input's first byte.
template <typename CheckWellFormed>
int FuzzRecordReader(const uint8_t* data, std::size_t size, RecordReader read,
                     CheckWellFormed checkWellFormed) {
  FuzzInput input(data, size);
  if (input.Take<uint8_t>() % 2 == 0) {
    checkWellFormed(input);
  } else {
    CheckAnyText(read, input);
  }
  return 0;
}
