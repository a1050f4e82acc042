#include "ProgramMemory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace unitsim {

namespace {

std::runtime_error FileError(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " " + path + ": " + std::generic_category().message(errno));
}

}  // namespace

ProgramMemory::ProgramMemory() {
  bytes_.fill(0xFF);
}

void ProgramMemory::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("cannot open the memory file", path);
  in.read(reinterpret_cast<char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  if (in.bad()) throw FileError("cannot read the memory file", path);
  const std::streamsize count = in.gcount();
  if (count == static_cast<std::streamsize>(bytes_.size()) && in.peek() != EOF) {
    throw std::runtime_error("memory file " + path + " is larger than 64 KiB: give at most " +
                             std::to_string(Size) + " bytes");
  }
  std::fill(bytes_.begin() + count, bytes_.end(), 0xFF);
}

void ProgramMemory::Save(const std::string& path) const {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) throw FileError("cannot create the memory file", partial);
    out.write(reinterpret_cast<const char*>(bytes_.data()),
              static_cast<std::streamsize>(bytes_.size()));
    out.flush();
    if (!out) throw FileError("cannot write the memory file", partial);
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    throw FileError("cannot replace the memory file", path);
  }
}

void ProgramMemory::EraseBlock(uint32_t address) {
  std::fill_n(bytes_.begin() + address, BlockSize, 0xFF);
}

void ProgramMemory::ProgramRow(uint32_t address, std::span<const uint8_t, RowSize> row) {
  for (std::size_t i = 0; i < RowSize; ++i) bytes_[address + i] &= row[i];
}

}  // namespace unitsim
