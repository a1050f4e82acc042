#pragma once

#include <QString>
#include <functional>

// A change of one unit's log, handed from the unit's thread to the printer.
struct LogEvent {
  enum class Kind { Clear, Append, SetLast };

  Kind What = Kind::Append;
  QString Text;
};

// Takes a unit's log events; safe to call from the unit's thread.
using LogSink = std::function<void(const LogEvent&)>;
