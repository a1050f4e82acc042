#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>

namespace unitsim {

// The registers the firmware serves: on slave 19 the model (20) and version (21), read only,
// and the kept settings, which read and write: slave 17 register 24, slave 19 registers 22
// to 32 (29 being the command register) and slave 20 registers 7 to 28.
class RegisterMap {
 public:
  // Every kept setting starts as slave × 100 + register (slave 19 register 22 holds 1922).
  RegisterMap(uint16_t model, uint16_t version);

  // A reset to factory defaults, as new firmware starts: every kept setting reads
  // FactoryDefault, and the version register the new version.
  void Restart(uint16_t newVersion);

  bool HasSlave(uint8_t slave) const;
  bool CanRead(uint8_t slave, uint16_t first, uint16_t count) const;
  bool CanWrite(uint8_t slave, uint16_t first, uint16_t count) const;
  // Only for ranges CanRead or CanWrite accepted.
  std::vector<uint16_t> Read(uint8_t slave, uint16_t first, uint16_t count) const;
  void Write(uint8_t slave, uint16_t first, std::span<const uint16_t> values);

  static constexpr uint8_t InformationSlave = 19;
  static constexpr uint16_t ModelRegister = 20;
  static constexpr uint16_t VersionRegister = 21;
  static constexpr uint16_t CommandRegister = 29;
  static constexpr uint16_t FactoryDefault = 0xFFFF;

 private:
  struct Cell {
    uint16_t value;
    bool writable;
  };
  using Key = std::pair<uint8_t, uint16_t>;

  bool AllCells(uint8_t slave, uint16_t first, uint16_t count, bool write) const;

  std::map<Key, Cell> cells_;
};

}  // namespace unitsim
