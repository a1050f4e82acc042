#include "Fixture.h"

#include "Models.h"

namespace unitsim {

Fixture::Fixture(const Options& options, ProgramMemory& memory, Transcript& transcript,
                 bool speedVisible)
    : first_(options),
      memory_(memory),
      transcript_(transcript),
      speedVisible_(speedVisible),
      offLineSpeed_(FirmwareSpeed(options.model)) {
  unit_.emplace(options, memory, transcript, speedVisible);
}

uint32_t Fixture::ListenSpeed() const {
  return unit_ ? unit_->ListenSpeed() : offLineSpeed_;
}

std::optional<Reply> Fixture::Hear(std::span<const uint8_t> bytes,
                                   std::optional<uint32_t> lineSpeed) {
  if (unit_) return unit_->Hear(bytes, lineSpeed);
  transcript_.Traffic("off-line", lineSpeed.value_or(offLineSpeed_), bytes);
  return std::nullopt;
}

std::optional<Reply> Fixture::Silence() {
  return unit_ ? unit_->Silence() : std::nullopt;
}

void Fixture::ReplyDone() {
  if (unit_) unit_->ReplyDone();
}

void Fixture::TakeOff() {
  if (!unit_) return;
  offLineSpeed_ = unit_->ListenSpeed();
  unit_.reset();
  transcript_.Event("unit taken off");
}

void Fixture::PutOn(const Options& options) {
  ProgramMemory fresh;
  if (options.memoryIn) fresh.Load(*options.memoryIn);
  TakeOff();
  memory_ = fresh;
  unit_.emplace(options, memory_, transcript_, speedVisible_);
}

}  // namespace unitsim
