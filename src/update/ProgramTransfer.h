#pragma once

#include <chrono>

class UpdateView;

// Erases the unit's application area in 512-byte blocks and sends the image
// in 128-byte rows, showing the percentage done in the last log line.
class ProgramTransfer {
 public:
  // The pause after each phase's last request: the unit finishes its last
  // write before the next phase talks to it.
  static constexpr std::chrono::milliseconds PhaseEndPause{1000};

  explicit ProgramTransfer(UpdateView& view);

  // True when every block from 0x0800 to the end address was acknowledged.
  // An end address that leaves no whole number of blocks above 0x0800 is
  // refused before anything is sent.
  bool EraseProgramMemory();
  // True when every present row from 0x0800 to the end address was
  // acknowledged.
  bool SendProgramData();

 private:
  void PauseAfterRequest() const;

  UpdateView& view_;
};
