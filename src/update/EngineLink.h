#pragma once

#include <cstdint>
#include <stdexcept>

#include "comms/KovaComms.h"
#include "update/UpdateView.h"

// The window's serial link for a command. A run only starts with a link, so
// a missing one is a fault of the program, reported as such.
inline TKovaComms& EngineLink(UpdateView& view) {
  TKovaComms* link = view.CommsLink();
  if (link == nullptr) throw std::logic_error("No serial link for the update");
  return *link;
}

// Closes the link and opens it again at baudRate. A port that does not open
// shows up in the replies that do not come.
inline void ReopenLinkAt(UpdateView& view, uint32_t baudRate) {
  TKovaComms& link = EngineLink(view);
  link.Close();
  link.BaudRate = baudRate;
  link.Open();
}
