#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "Options.h"
#include "ProgramMemory.h"
#include "ReplyShaping.h"
#include "Transcript.h"
#include "Unit.h"

namespace unitsim {

// The place on the line where a unit sits, as on a production fixture: the unit there, or
// none. With none, nothing is answered and what arrives is noted as "off-line". A unit put
// on is a fresh one: its own version, boot loader state, faults and program memory.
class Fixture {
 public:
  Fixture(const Options& options, ProgramMemory& memory, Transcript& transcript, bool speedVisible);

  // The options the first unit was made from.
  const Options& FirstOptions() const { return first_; }

  uint32_t ListenSpeed() const;
  std::optional<Reply> Hear(std::span<const uint8_t> bytes, std::optional<uint32_t> lineSpeed);
  std::optional<Reply> Silence();
  void ReplyDone();
  // Whether the unit there asked to damage the echo of the request it just heard.
  bool TakeEchoDamage() { return unit_ && unit_->TakeEchoDamage(); }

  void TakeOff();
  // Takes off the unit there, if any, and puts on one made from options. Throws
  // std::runtime_error when its --memory-in file cannot be read.
  void PutOn(const Options& options);

 private:
  Options first_;
  ProgramMemory& memory_;
  Transcript& transcript_;
  bool speedVisible_;
  uint32_t offLineSpeed_;
  std::optional<Unit> unit_;
};

}  // namespace unitsim
