#pragma once

#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

// One line of unit-sim's transcript written with --timestamps: the time in
// seconds of the monotonic clock, what it notes ("rx", "tx", "sent", ...),
// and for traffic the line speed and the bytes.
struct TranscriptRecord {
  double seconds = 0;
  std::string what;
  uint32_t speed = 0;
  std::vector<uint8_t> bytes;
};

// Throws std::runtime_error for a line without a timestamp.
std::vector<TranscriptRecord> ParseTimedTranscript(const QStringList& lines);

// The bytes the line carried in both directions, heard or not.
struct LineTraffic {
  // Bytes by line speed, in order of speed.
  std::vector<std::pair<uint32_t, std::size_t>> bytesBySpeed;
  // Their time on the line at 10 bits a byte.
  double seconds = 0;
  // The time of the bytes an echoing line gave back, not in the above.
  double echoSeconds = 0;
};

LineTraffic CountLineTraffic(const std::vector<TranscriptRecord>& records);
