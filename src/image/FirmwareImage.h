#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class ResourceStore;

// The 64 KiB program image: byte offset = device program address, seen as
// 512 blocks of 128 bytes with one "present" flag each. Fixed storage: loads
// write into it, nothing is allocated per load.
class FirmwareImage {
 public:
  static constexpr std::size_t BlockSize = 128;
  static constexpr std::size_t BlockCount = 512;
  static constexpr std::size_t Size = BlockSize * BlockCount;
  // Below it is the boot loader's own area: never erased or sent.
  static constexpr uint32_t ApplicationStart = 0x0800;
  static constexpr uint8_t ErasedByte = 0xFF;

  std::array<uint8_t, Size> Bytes{};
  std::array<bool, BlockCount> BlockPresent{};

  // Sets every image byte to 0; the flags stay as they are.
  void ClearImage();

  // The 128 bytes of block n (n < BlockCount).
  std::span<const uint8_t, BlockSize> Block(std::size_t n) const;

  // Copies up to Size bytes of data from offset 0, leaving the rest as it
  // was, then marks every block present.
  void Fill(std::span<const uint8_t> data);

  // The rows the transfer sends, in order: the present ones from
  // ApplicationStart up to the end address.
  std::vector<std::size_t> RowsToSend(uint32_t programEndAddress) const;
};

// Fills the image from the resource "HFile" (see FirmwareImage::Fill).
void LoadEmbeddedImage(FirmwareImage& image, const ResourceStore& resources);
