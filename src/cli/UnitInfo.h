#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "cli/UnitUpdate.h"

// What --info read from one unit.
struct UnitInfoRecord {
  enum class Result { Answered, NotAnswered, PortNotOpened, Stopped };

  // One slave's kept settings, from its first register on.
  struct KeptSettings {
    uint8_t Slave = 0;
    uint16_t FirstRegister = 0;
    std::vector<uint16_t> Values;
  };

  QString Port;    // as given on the command line
  QString Device;  // the device path it resolved to; empty when none
  Result Outcome = Result::NotAnswered;
  std::optional<uint16_t> UnitModel;
  std::optional<uint16_t> UnitVersion;
  std::vector<KeptSettings> Settings;  // only for the model that keeps them
  // The read that went unanswered and how, or why the port did not open.
  QString Problem;
  // The line was seen to give back what is sent; and that echo taken out.
  bool LineEchoes = false;
  bool EchoTakenOut = false;
  // What went wrong with the echo, for standard error; empty when nothing did.
  QString EchoProblem;
};

// Reads from each unit, all at once and each on its own link and thread,
// what an update reads first: model and firmware version and, for the model
// that keeps settings, those settings, with Modbus reads only. Returns the
// records in the order given, once every unit is done. A unit that does not
// answer is asked whether its boot loader does. stopSignal holds the number
// of a signal that asks every unit to stop after the read under way, 0 while
// none has.
std::vector<UnitInfoRecord> QueryUnits(const std::vector<UnitUpdate::Setup>& units,
                                       const std::atomic<int>& stopSignal);
