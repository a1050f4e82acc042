#pragma once

#include <cstdint>
#include <span>
#include <vector>

class TKovaComms;

// Reply timeout of every boot loader command, in 100 ms ticks: about three
// seconds.
inline constexpr uint16_t BootTimeoutTicks = 30;

// The 8-bit sum of bytes; 0 for none.
uint8_t ByteSum(std::span<const uint8_t> bytes);

// DLE STX, command, count, data, checksum (the sum of the body is zero), DLE
// ETX, with every 0x10 between the markers sent twice.
std::vector<uint8_t> BuildBootFrame(uint8_t command, uint8_t count, std::span<const uint8_t> data);

// The frame with its doubled bytes undone: each 0x10 is dropped and the byte
// after it taken as it is (the markers' DLE bytes fall away alike).
std::vector<uint8_t> UnstuffBootFrame(std::span<const uint8_t> frame);

// Sends one boot loader command and waits for its reply frame. On 1 the
// reply's first count data bytes are in reply (which holds at least count
// bytes); a reply whose checksum is wrong, or that carries fewer data bytes
// than count, gives -1 and leaves reply untouched. 0 is a timeout, -1 also a
// port closed during the wait, -2 a link that refused to send.
int32_t BootTransaction(TKovaComms& link, uint8_t command, uint8_t count,
                        std::span<const uint8_t> data, uint16_t timeout, std::span<uint8_t> reply);
