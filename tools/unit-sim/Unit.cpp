#include "Unit.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "Models.h"

namespace unitsim {

namespace {

// The code of an exception reply injected as a fault: server device failure, so that it
// differs from the codes the unit gives on its own.
constexpr uint8_t InjectedExceptionCode = 4;

Reply HangUpReply() {
  Reply reply;
  reply.hangUp = true;
  return reply;
}

bool Has(const std::vector<FaultKind>& faults, FaultKind kind) {
  return std::find(faults.begin(), faults.end(), kind) != faults.end();
}

Exchange ExchangeOfFunction(uint8_t function) {
  switch (function) {
    case 3:
      return Exchange::Read;
    case 6:
    case 103:
      return Exchange::Write;
    case 104:
      return Exchange::WriteMany;
    default:
      return Exchange::OtherFunction;
  }
}

}  // namespace

Unit::Unit(const Options& options, ProgramMemory& memory, Transcript& transcript, bool speedVisible)
    : options_(options),
      transcript_(transcript),
      entry_(options.model, options.slaveAddress, options.entryRequest),
      registers_(options.model, options.version),
      slave_(registers_, entry_),
      bootLoader_(memory, {options.bootRmNumber, options.bootVersion, options.model}),
      faults_(options.faults) {
  const std::string kind = entry_.Kind() ? std::string(1, *entry_.Kind()) : "none";
  if (options.startInBootLoader || (!speedVisible && entry_.EntersWithoutRequest())) {
    mode_ = Mode::BootLoader;
  }
  transcript_.Event("start model " + std::to_string(options.model) + " version " +
                    std::to_string(options.version) + " boot-entry " + kind + " " +
                    (InBootLoader() ? "boot-loader " : "firmware ") +
                    std::to_string(ListenSpeed()));
}

uint32_t Unit::ListenSpeed() const {
  return InBootLoader() ? BootLoaderSpeed(options_.model) : FirmwareSpeed(options_.model);
}

std::optional<Reply> Unit::Hear(std::span<const uint8_t> bytes, std::optional<uint32_t> lineSpeed) {
  if (busy_) {
    transcript_.Traffic("busy", lineSpeed.value_or(ListenSpeed()), bytes);
    return std::nullopt;
  }
  if (lineSpeed && !InBootLoader() && entry_.EntersWithoutRequest() &&
      *lineSpeed == BootLoaderSpeed(options_.model)) {
    EnterBootLoader();
  }
  if (lineSpeed && *lineSpeed != ListenSpeed()) {
    transcript_.Traffic("ignored", *lineSpeed, bytes);
    return std::nullopt;
  }
  if (InBootLoader()) {
    bootFramer_.Append(bytes);
  } else {
    modbusFramer_.Append(bytes);
  }
  return TakeFrames(false);
}

std::optional<Reply> Unit::Silence() {
  if (busy_) return std::nullopt;
  if (!InBootLoader()) return TakeFrames(true);
  DropPending();
  return std::nullopt;
}

void Unit::ReplyDone() {
  busy_ = false;
  Switch(std::exchange(afterReply_, After::Nothing));
}

std::optional<Reply> Unit::TakeFrames(bool silence) {
  for (;;) {
    Bytes skipped;
    std::optional<Reply> reply;
    bool found = false;
    if (InBootLoader()) {
      const std::optional<BootFrame> frame = bootFramer_.Next(skipped);
      if (!skipped.empty()) transcript_.Traffic("skipped", ListenSpeed(), skipped);
      if (frame) reply = OnBootFrame(*frame);
      found = frame.has_value();
    } else {
      const std::optional<Bytes> frame = modbusFramer_.Next(skipped, silence);
      if (!skipped.empty()) transcript_.Traffic("skipped", ListenSpeed(), skipped);
      if (frame) reply = OnModbusFrame(*frame);
      found = frame.has_value();
    }
    if (!found) return std::nullopt;
    if (reply) {
      busy_ = true;
      const Bytes rest = InBootLoader() ? bootFramer_.TakePending() : modbusFramer_.TakePending();
      if (!rest.empty()) transcript_.Traffic("busy", ListenSpeed(), rest);
      return reply;
    }
  }
}

std::optional<Reply> Unit::OnModbusFrame(const Bytes& frame) {
  transcript_.Traffic("rx", ListenSpeed(), frame);
  const uint8_t address = frame[0];
  if (address == 0) {
    // Never answered; only the broadcast boot-entry request of kind A acts.
    if (ExchangeOfFunction(frame[1]) == Exchange::Write &&
        entry_.Switches(address, frame[1], ReadBe16(frame, 2), ReadBe16(frame, 4))) {
      EnterBootLoader();
    }
    return std::nullopt;
  }
  if (!slave_.Serves(address)) return std::nullopt;
  const std::vector<FaultKind> faults = FaultsFor(ExchangeOfFunction(frame[1]));
  if (Has(faults, FaultKind::HangUp)) return HangUpReply();
  if (Has(faults, FaultKind::Exception)) {
    return Deliver(ExceptionContent(address, frame[1], InjectedExceptionCode), Framing::Modbus,
                   faults, After::Nothing, {});
  }
  const ModbusVariants variants{Has(faults, FaultKind::OtherModel),
                                Has(faults, FaultKind::MoreRegisters),
                                Has(faults, FaultKind::WrongEcho)};
  ModbusOutcome outcome = slave_.Handle(frame, variants);
  if (outcome.committed) transcript_.Event("commit");
  return Deliver(std::move(outcome.content), Framing::Modbus, faults,
                 outcome.entersBootLoader ? After::EnterBootLoader : After::Nothing, {});
}

std::optional<Reply> Unit::OnBootFrame(const BootFrame& frame) {
  transcript_.Traffic("rx", ListenSpeed(), frame.raw);
  const unsigned sum = std::accumulate(frame.body.begin(), frame.body.end(), 0u);
  if (sum % 256 != 0) {
    transcript_.Event("bad-checksum");
    return std::nullopt;
  }
  std::string refusal;
  const std::optional<Exchange> exchange = bootLoader_.Classify(frame.body, refusal);
  if (!exchange) {
    transcript_.Event("refused " + refusal);
    return std::nullopt;
  }
  const std::vector<FaultKind> faults = FaultsFor(*exchange);
  if (Has(faults, FaultKind::HangUp)) return HangUpReply();
  Bytes content = bootLoader_.Perform(*exchange, frame.body, Has(faults, FaultKind::OtherModel));
  if (*exchange == Exchange::Leave) transcript_.Event("leave");
  std::chrono::milliseconds work{0};
  if (*exchange == Exchange::Erase) work = options_.eraseTime;
  if (*exchange == Exchange::Program) work = options_.rowTime;
  return Deliver(std::move(content), Framing::Boot, faults,
                 *exchange == Exchange::Restart ? After::Restart : After::Nothing, work);
}

std::vector<FaultKind> Unit::FaultsFor(Exchange exchange) {
  std::vector<FaultKind> faults = faults_.Next(exchange);
  if (Has(faults, FaultKind::DamagedEcho)) echoDamage_ = true;
  for (const FaultKind fault : faults) {
    transcript_.Event("fault " + std::string(FaultName(fault)) + " " +
                      std::string(ExchangeName(exchange)) + " " +
                      std::to_string(faults_.Count(exchange)));
  }
  return faults;
}

std::optional<Reply> Unit::Deliver(Bytes content, Framing framing,
                                   const std::vector<FaultKind>& faults, After after,
                                   std::chrono::milliseconds work) {
  if (Has(faults, FaultKind::NoReply)) {
    Switch(after);
    return std::nullopt;
  }
  Reply reply;
  reply.bytes = ShapeReply(std::move(content), framing, faults);
  reply.delay =
      work + (Has(faults, FaultKind::Late) ? options_.lateTime : std::chrono::milliseconds{0});
  reply.pieces = Has(faults, FaultKind::Split) ? 3 : 1;
  reply.flood = Has(faults, FaultKind::Flood) ? FloodBytes : 0;
  afterReply_ = after;
  return reply;
}

void Unit::Switch(After after) {
  if (after == After::EnterBootLoader) EnterBootLoader();
  if (after == After::Restart) Restart();
}

void Unit::DropPending() {
  const Bytes rest = InBootLoader() ? bootFramer_.TakePending() : modbusFramer_.TakePending();
  if (!rest.empty()) transcript_.Traffic("skipped", ListenSpeed(), rest);
}

void Unit::EnterBootLoader() {
  DropPending();
  mode_ = Mode::BootLoader;
  transcript_.Event("boot-entry " + std::string(1, entry_.Kind().value_or('?')) + " " +
                    std::to_string(ListenSpeed()));
}

void Unit::Restart() {
  DropPending();
  mode_ = Mode::Firmware;
  registers_.Restart(options_.newVersion);
  transcript_.Event("restart " + std::to_string(ListenSpeed()) + " version " +
                    std::to_string(options_.newVersion));
}

}  // namespace unitsim
