#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class TKovaComms;
class TRxCondition;

// Reply timeout of every boot loader command, in 100 ms ticks: about three
// seconds.
inline constexpr uint16_t BootTimeoutTicks = 30;
// The most of a reply frame taken out of the receive buffer, from its first
// DLE on.
inline constexpr uint16_t MaxReplyFrame = 200;

// The 8-bit sum of bytes; 0 for none.
uint8_t ByteSum(std::span<const uint8_t> bytes);

// DLE STX, command, count, data, checksum (the sum of the body is zero), DLE
// ETX, with every 0x10 between the markers sent twice.
std::vector<uint8_t> BuildBootFrame(uint8_t command, uint8_t count, std::span<const uint8_t> data);

// The frame with its doubled bytes undone: each 0x10 is dropped and the byte
// after it taken as it is (the markers' DLE bytes fall away alike).
std::vector<uint8_t> UnstuffBootFrame(std::span<const uint8_t> frame);

// Adds the reply frame, DLE STX to DLE ETX, as the condition's item 1.
void AddBootReplyCondition(TRxCondition& condition);

// Reads a reply frame as taken out of the receive buffer (from the DLE
// before STX to the last byte received): 1 with its first count data bytes
// in reply (which holds at least count bytes), or -1, reply untouched, when
// its checksum is wrong or it carries fewer data bytes than count.
int32_t ReadBootReply(std::span<const uint8_t> received, uint8_t count, std::span<uint8_t> reply);

// Takes the frame that item 1 of the reply condition recognised out of the
// source's receive buffer (the link's, or a stand-in with its GetRxMessage)
// and reads it as ReadBootReply does.
template <typename RxSource>
int32_t TakeBootReply(const RxSource& source, uint8_t count, std::span<uint8_t> reply) {
  std::array<uint8_t, MaxReplyFrame + 1> received{};
  const uint16_t length = source.GetRxMessage(1, received, MaxReplyFrame, 1, -1, -1);
  return ReadBootReply(std::span(received).first(length), count, reply);
}

// Sends one boot loader command and waits for its reply frame. On 1 the
// reply's first count data bytes are in reply (which holds at least count
// bytes); a reply whose checksum is wrong, or that carries fewer data bytes
// than count, gives -1 and leaves reply untouched. 0 is a timeout, -1 also a
// port closed during the wait, -2 a link that refused to send.
int32_t BootTransaction(TKovaComms& link, uint8_t command, uint8_t count,
                        std::span<const uint8_t> data, uint16_t timeout, std::span<uint8_t> reply);
