#pragma once

#include <cstdint>
#include <span>

#include "image/AddressedBytes.h"

// Reads a Motorola S-record file whole: S0 (header, ignored), S1, S2 and S3
// (data with 16-, 24- and 32-bit addresses), S5 and S6 (record counts,
// checked), and S7, S8 and S9 (end). Every checksum is checked. Throws
// ImageRecordError naming the line for a wrong checksum or record count, a
// character that is no hexadecimal digit, a record cut short, an unknown
// or reserved record type, a record after the end record, a missing end
// record, or an address given two different bytes.
AddressedBytes ReadSRecords(std::span<const uint8_t> text);
