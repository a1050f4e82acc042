#pragma once

#include <array>
#include <cstdint>

class UpdateView;

// The Modbus steps around an update: the unit's model and version before
// it, and for the one model that keeps its settings, their saving before
// and writing back after, with the commit that makes them stick.
class UpgradeSteps {
 public:
  static constexpr std::size_t SettingsWords = 31;
  using Settings = std::array<uint16_t, SettingsWords>;
  // Where a slave keeps its settings: its first register and how many.
  struct KeptBlock {
    uint8_t Slave;
    uint16_t FirstRegister;
    uint16_t Count;
  };
  static constexpr KeptBlock Slave17Block{17, 24, 1};
  static constexpr KeptBlock Slave19Block{19, 22, 11};
  static constexpr KeptBlock Slave20Block{20, 7, 22};
  // Word 7 of slave 19's settings is the unit's command register 29: it is
  // kept as 0 and always written back as 0.
  static constexpr std::size_t CommandRegisterWord = 7;

  explicit UpgradeSteps(UpdateView& view);

  // The Modbus result of reading model and version; both 0 when it failed.
  int32_t ReadUpgradeInfo();
  // The same read as one request with the given reply timeout, in 100 ms
  // ticks, and no second attempt.
  int32_t ReadUpgradeInfoOnce(uint16_t timeoutTicks);
  // 1 when all three reads succeeded, 99 when this unit and update keep
  // nothing, otherwise the result of the first failed read.
  int32_t SaveUnitSettings();
  // Reads the kept settings of slaves 17, 19 and 20 as they are, whatever
  // the versions: 1 when all three reads succeeded, otherwise the result of
  // the first failed read.
  int32_t ReadKeptSettings();
  // 1 when every write succeeded, 99 when nothing was to be written back,
  // otherwise the result of the last write made.
  int32_t RestoreUnitSettings();
  // The writes of the kept settings and the commit, without the wait and
  // the version test before them; the command register gets 0 whatever the
  // kept copy holds: 1 when every write succeeded, otherwise
  // the result of the last write made.
  int32_t WriteBackSettings();

  uint16_t UnitModel = 0;
  uint16_t UnitVersion = 0;
  Settings SettingsSlave17{};
  Settings SettingsSlave19{};
  Settings SettingsSlave20{};

 private:
  bool CrossesVersionWithKeptSettings() const;
  void TakeUpgradeInfo(int32_t result, const std::array<uint16_t, 2>& values);
  void CommitUnitSettings();

  UpdateView& view_;
};
