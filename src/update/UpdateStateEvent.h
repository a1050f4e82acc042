#pragma once

#include <QEvent>
#include <cstdint>

// The message that runs one state of the update sequence, posted to the
// window (or the command line's unit) that owns the sequence.
inline constexpr QEvent::Type WM_UPDATE_STATE = static_cast<QEvent::Type>(0x8190);

class TUpdateStateEvent : public QEvent {
 public:
  explicit TUpdateStateEvent(int32_t state) : QEvent(WM_UPDATE_STATE), State(state) {}

  const int32_t State;
};
