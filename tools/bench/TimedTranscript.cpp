#include "TimedTranscript.h"

#include <map>
#include <set>
#include <stdexcept>

namespace {

// Start, 8 data bits and stop.
constexpr double BitsPerByte = 10;

// Every kind of traffic line: frames heard and sent, and bytes the unit did
// not hear or could not frame, which took their time on the line all the same.
const std::set<std::string> TrafficKinds{"rx", "tx", "ignored", "busy", "skipped"};
// What an echoing line gave back: on a real line it comes back while the
// request goes out, so it is counted apart.
const std::set<std::string> EchoKinds{"echo", "echo-damaged"};

}  // namespace

std::vector<TranscriptRecord> ParseTimedTranscript(const QStringList& lines) {
  std::vector<TranscriptRecord> records;
  for (const QString& line : lines) {
    const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
    bool stamped = false;
    TranscriptRecord record;
    if (fields.size() >= 2) record.seconds = fields[0].toDouble(&stamped);
    if (!stamped)
      throw std::runtime_error("transcript line without a timestamp: " + line.toStdString());
    record.what = fields[1].toStdString();
    if ((TrafficKinds.contains(record.what) || EchoKinds.contains(record.what)) &&
        fields.size() >= 3) {
      record.speed = fields[2].toUInt();
      for (qsizetype i = 3; i < fields.size(); ++i) {
        record.bytes.push_back(static_cast<uint8_t>(fields[i].toUInt(nullptr, 16)));
      }
    }
    records.push_back(std::move(record));
  }
  return records;
}

LineTraffic CountLineTraffic(const std::vector<TranscriptRecord>& records) {
  std::map<uint32_t, std::size_t> bytes;
  for (const TranscriptRecord& record : records) {
    if (TrafficKinds.contains(record.what)) bytes[record.speed] += record.bytes.size();
  }
  LineTraffic traffic;
  for (const TranscriptRecord& record : records) {
    if (!EchoKinds.contains(record.what)) continue;
    traffic.echoSeconds += static_cast<double>(record.bytes.size()) * BitsPerByte / record.speed;
  }
  for (const auto& [speed, count] : bytes) {
    traffic.bytesBySpeed.emplace_back(speed, count);
    traffic.seconds += static_cast<double>(count) * BitsPerByte / speed;
  }
  return traffic;
}
