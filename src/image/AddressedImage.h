#pragma once

#include <cstdint>

class AddressedBytes;
class FirmwareImage;

// Builds the image from the bytes a firmware file gives by address: 0xFF,
// the value of erased flash, where the file gives nothing, and a block
// present exactly when the file gives one of its bytes, so that only those
// rows are sent. The file must give at least one byte, and only from 0x0800
// (below it is the boot loader's own area, never written) to the program
// end address. Throws ImageRecordError (line 0 when no line is to blame)
// and leaves the image unchanged when the file breaks a rule.
void FillFromAddressedBytes(FirmwareImage& image, const AddressedBytes& data,
                            uint32_t programEndAddress);
