#pragma once

#include <cstdint>
#include <span>

#include "image/AddressedBytes.h"

// Reads an Intel HEX file whole: data (00), end (01), extended segment
// address (02) and extended linear address (04) records; the start
// addresses (03, 05) are accepted and ignored. Every checksum is checked.
// Throws ImageRecordError naming the line for a wrong checksum, a character
// that is no hexadecimal digit, a record cut short, an unknown record type,
// a record after the end record, a missing end record, or an address given
// two different bytes.
AddressedBytes ReadIntelHex(std::span<const uint8_t> text);
