#include "comms/EchoFilter.h"

#include <array>
#include <cctype>
#include <utility>

std::optional<EchoMode> EchoModeNamed(std::string_view text) {
  constexpr std::array<std::pair<std::string_view, EchoMode>, 3> Names{
      {{"auto", EchoMode::Auto}, {"on", EchoMode::On}, {"off", EchoMode::Off}}};
  for (const auto& [name, mode] : Names) {
    if (name.size() != text.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
      same = same && std::tolower(static_cast<unsigned char>(text[i])) == name[i];
    }
    if (same) return mode;
  }
  return std::nullopt;
}

void EchoFilter::SetMode(EchoMode mode) {
  mode_ = mode;
  echoes_ = mode == EchoMode::On;
  foundNotToEcho_ = false;
  phase_ = Phase::Pass;
  RestartCounts();
  seenWhileOff_ = false;
  confirmed_ = false;
}

void EchoFilter::SoundReplyCame() {
  if (!echoes_ && exchangeTells_) foundNotToEcho_ = true;
}

void EchoFilter::RestartCounts() {
  intact_ = 0;
  damaged_ = 0;
}

void EchoFilter::Sent(std::span<const uint8_t> frame, bool telling) {
  sent_.assign(frame.begin(), frame.end());
  matched_ = 0;
  exchangeDamaged_ = false;
  exchangeTells_ = telling;
  held_.clear();
  if (frame.empty() || (!echoes_ && (!telling || foundNotToEcho_))) {
    phase_ = Phase::Pass;
  } else if (echoes_) {
    phase_ = Phase::Expect;
  } else {
    phase_ = mode_ == EchoMode::Off ? Phase::Observe : Phase::Probe;
  }
}

EchoFilter::Split EchoFilter::Take(std::span<const uint8_t> chunk) {
  echo_.clear();
  passed_.clear();
  std::size_t at = 0;
  for (; at < chunk.size() && phase_ != Phase::Pass; ++at) Step(chunk[at]);
  Split split;
  split.Echo = echo_;
  split.Damaged = exchangeDamaged_ && !echo_.empty();
  if (passed_.empty()) {
    // The chunk's own bytes, followed by its zero.
    split.Passed = chunk.subspan(at);
    return split;
  }
  passed_.insert(passed_.end(), chunk.begin() + static_cast<std::ptrdiff_t>(at), chunk.end());
  passed_.push_back(0);
  split.Passed = std::span(passed_).first(passed_.size() - 1);
  return split;
}

bool EchoFilter::ExchangeFailed() const {
  return exchangeDamaged_ || (phase_ == Phase::Expect && matched_ > 0);
}

void EchoFilter::Step(uint8_t b) {
  switch (phase_) {
    case Phase::Expect:
      Expect(b);
      break;
    case Phase::Probe:
      Probe(b);
      break;
    case Phase::Observe:
      Observe(b);
      break;
    case Phase::Pass:
      break;
  }
}

// As many bytes as the request had are taken as its echo, damaged or not, so
// that the reply after a damaged echo is still found and ends the exchange.
void EchoFilter::Expect(uint8_t b) {
  echo_.push_back(b);
  if (b != sent_[matched_]) exchangeDamaged_ = true;
  if (++matched_ < sent_.size()) return;
  phase_ = Phase::Pass;
  ++(exchangeDamaged_ ? damaged_ : intact_);
  confirmed_ = confirmed_ || (exchangeTells_ && !exchangeDamaged_);
}

void EchoFilter::Probe(uint8_t b) {
  if (b != sent_[matched_]) {
    // Not the request: a reply on a line without echo, as it came.
    passed_ = std::move(held_);
    held_.clear();
    passed_.push_back(b);
    phase_ = Phase::Pass;
    return;
  }
  held_.push_back(b);
  if (++matched_ < sent_.size()) return;
  echoes_ = true;
  confirmed_ = true;
  ++intact_;
  echo_.insert(echo_.end(), held_.begin(), held_.end());
  held_.clear();
  phase_ = Phase::Pass;
}

// Only notes an echo; every byte goes on as on a line without echo.
void EchoFilter::Observe(uint8_t b) {
  passed_.push_back(b);
  if (b != sent_[matched_]) {
    phase_ = Phase::Pass;
  } else if (++matched_ == sent_.size()) {
    seenWhileOff_ = true;
    phase_ = Phase::Pass;
  }
}
