#include "image/AddressedImage.h"

#include <algorithm>
#include <string>

#include "image/AddressedBytes.h"
#include "image/FirmwareImage.h"
#include "image/RecordLines.h"

namespace {

void CheckRange(const AddressedBytes& data, uint32_t end) {
  if (end < FirmwareImage::ApplicationStart) {
    throw ImageRecordError(0,
                           "the processor's program memory is not known, so the file's "
                           "addresses cannot be checked: give a known processor number");
  }
  for (const AddressedBytes::Run& run : data.Runs()) {
    if (run.First < FirmwareImage::ApplicationStart) {
      throw ImageRecordError(
          run.Line, "data at " + HexAddress(run.First) +
                        " lies below 0x0800, in the boot loader's own area, which is never "
                        "written: crop a combined image to 0x0800 (the README shows how with "
                        "srec_cat), or build the application for the boot loader");
    }
    if (run.Last > end) {
      throw ImageRecordError(run.Line, "data at " + HexAddress(std::max(run.First, end + 1)) +
                                           " lies above " + HexAddress(end) +
                                           ", the end of the processor's program memory: it "
                                           "would never be written");
    }
  }
  if (data.Runs().empty()) {
    throw ImageRecordError(0, "it holds no data between 0x0800 and " + HexAddress(end) +
                                  ": nothing would be programmed");
  }
}

}  // namespace

void FillFromAddressedBytes(FirmwareImage& image, const AddressedBytes& data,
                            uint32_t programEndAddress) {
  const uint32_t end = std::min(programEndAddress, static_cast<uint32_t>(FirmwareImage::Size - 1));
  CheckRange(data, end);
  image.Bytes.fill(FirmwareImage::ErasedByte);
  image.BlockPresent.fill(false);
  for (const AddressedBytes::Run& run : data.Runs()) {
    for (uint32_t address = run.First; address <= run.Last; ++address) {
      image.Bytes[address] = *data.At(address);
      image.BlockPresent[address / FirmwareImage::BlockSize] = true;
    }
  }
}
