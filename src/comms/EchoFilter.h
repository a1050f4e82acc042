#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Whether the line gives back what the program sends (a 2-wire RS-485 adapter
// whose receiver is always on): found from the first reply that can tell,
// or set by the user for a line that cannot tell.
enum class EchoMode : uint8_t { Auto, On, Off };

// "auto", "on" or "off", in any case; nothing for any other text.
std::optional<EchoMode> EchoModeNamed(std::string_view text);

// Takes the echo of each request out of what the line gives back, before the
// receive conditions see it. On a line that echoes, the bytes that come back
// first after a request must be exactly the request; any other bytes there
// are a damaged echo, and that exchange fails. While the line is not known
// to echo, a request whose reply can never begin with the request's own
// bytes tells: when what comes back begins with the whole request, the line
// echoes from then on; once such a request gets a sound reply without its
// echo, the line does not echo, and no later exchange is looked at again.
// Bytes pass untouched, as on a line without echo, until it is found to echo.
class EchoFilter {
 public:
  // One received chunk, split: what came back in place of the echo (in
  // order, before everything else) and what goes on to the receive
  // conditions. Both stay valid until the next call.
  struct Split {
    std::span<const uint8_t> Echo;
    // This exchange's echo differs from its request.
    bool Damaged = false;
    // Followed by a zero byte, as a received chunk is.
    std::span<const uint8_t> Passed;
  };

  // Forgets what was found and counted: the finding starts again, or is set.
  void SetMode(EchoMode mode);
  // Starts the counts of intact and damaged echoes again, keeping what was
  // found of the line: for each unit that one open link serves.
  void RestartCounts();
  EchoMode Mode() const { return mode_; }
  // The echo of every request is taken out.
  bool LineEchoes() const { return echoes_; }

  // The frame just written. telling: its reply never begins with the frame.
  void Sent(std::span<const uint8_t> frame, bool telling);
  Split Take(std::span<const uint8_t> chunk);
  // The exchange under way got a reply whose check is right.
  void SoundReplyCame();
  // The exchange under way failed by its echo: damaged, or cut short.
  bool ExchangeFailed() const;

  // Since the mode was set: requests whose echo came back whole, and those
  // whose echo came back damaged.
  uint32_t IntactEchoes() const { return intact_; }
  uint32_t DamagedEchoes() const { return damaged_; }
  // A reply that can tell came after the whole echo of its request: the line
  // is known to echo, not only said to.
  bool EchoConfirmed() const { return confirmed_; }
  // With the mode off: a reply that can tell began with its request.
  bool EchoSeenWhileOff() const { return seenWhileOff_; }
  // The line was seen to give back what is sent, whatever the mode.
  bool EchoSeen() const { return confirmed_ || seenWhileOff_; }

 private:
  enum class Phase { Pass, Expect, Probe, Observe };

  void Step(uint8_t b);
  void Expect(uint8_t b);
  void Probe(uint8_t b);
  void Observe(uint8_t b);

  EchoMode mode_ = EchoMode::Auto;
  bool echoes_ = false;
  bool foundNotToEcho_ = false;
  Phase phase_ = Phase::Pass;
  std::vector<uint8_t> sent_;
  std::size_t matched_ = 0;  // bytes of the request compared so far
  bool exchangeDamaged_ = false;
  bool exchangeTells_ = false;
  std::vector<uint8_t> held_;  // a probe's bytes that still match the request
  std::vector<uint8_t> echo_;
  std::vector<uint8_t> passed_;
  uint32_t intact_ = 0;
  uint32_t damaged_ = 0;
  bool seenWhileOff_ = false;
  bool confirmed_ = false;
};
