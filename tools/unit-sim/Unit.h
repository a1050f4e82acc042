#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "BootEntry.h"
#include "BootFramer.h"
#include "BootLoader.h"
#include "Faults.h"
#include "ModbusFramer.h"
#include "ModbusSlave.h"
#include "Options.h"
#include "ProgramMemory.h"
#include "RegisterMap.h"
#include "ReplyShaping.h"
#include "Transcript.h"

namespace unitsim {

// The unit on the line: its firmware (Modbus slave) until boot entry, then its boot loader
// until it restarts into the firmware. It works on one request at a time: from a request to
// the end of its reply it hears nothing.
class Unit {
 public:
  // `speedVisible`: whether the speed the other side sends at can be seen (a pseudo-terminal);
  // where it cannot, every byte counts as heard and a kind F unit starts in its boot loader.
  Unit(const Options& options, ProgramMemory& memory, Transcript& transcript, bool speedVisible);

  uint32_t ListenSpeed() const;
  bool InBootLoader() const { return mode_ == Mode::BootLoader; }

  // Bytes read from the line, with the speed the other side is set to when that can be seen.
  // Returns the reply to send, if any; the unit is then busy until ReplyDone.
  std::optional<Reply> Hear(std::span<const uint8_t> bytes, std::optional<uint32_t> lineSpeed);
  // Nothing has arrived for a while: an incomplete frame is given up.
  std::optional<Reply> Silence();
  // The reply is on the line: what it announced (boot entry, restart) happens now.
  void ReplyDone();
  // Whether a request heard since the last call asked for a damaged echo; clears it.
  bool TakeEchoDamage() { return std::exchange(echoDamage_, false); }

 private:
  enum class Mode { Firmware, BootLoader };
  enum class After { Nothing, EnterBootLoader, Restart };

  std::optional<Reply> TakeFrames(bool silence);
  std::optional<Reply> OnModbusFrame(const Bytes& frame);
  std::optional<Reply> OnBootFrame(const BootFrame& frame);
  std::vector<FaultKind> FaultsFor(Exchange exchange);
  std::optional<Reply> Deliver(Bytes content, Framing framing, const std::vector<FaultKind>& faults,
                               After after, std::chrono::milliseconds work);
  void Switch(After after);
  void EnterBootLoader();
  void Restart();
  void DropPending();

  Options options_;
  Transcript& transcript_;
  BootEntry entry_;
  RegisterMap registers_;
  ModbusSlave slave_;
  BootLoader bootLoader_;
  FaultPlan faults_;
  ModbusFramer modbusFramer_;
  BootFramer bootFramer_;
  Mode mode_ = Mode::Firmware;
  bool busy_ = false;
  After afterReply_ = After::Nothing;
  bool echoDamage_ = false;
};

}  // namespace unitsim
