#pragma once

#include <QEvent>
#include <cstdint>

// The main window's own message: run one state of the update sequence.
inline constexpr QEvent::Type WM_UPDATE_STATE = static_cast<QEvent::Type>(0x8190);

class TUpdateStateEvent : public QEvent {
 public:
  explicit TUpdateStateEvent(int32_t state) : QEvent(WM_UPDATE_STATE), State(state) {}

  const int32_t State;
};
