#pragma once

#include <cstdint>

#include "update/RunOutcome.h"

class UpdateCommands;
class UpdateView;

// The update states, in the order of a successful run.
namespace UpdateState {
inline constexpr int32_t InitialiseUpgrade = 20;
inline constexpr int32_t EnableBootLoader = 0;
inline constexpr int32_t BootLoaderInfo = 7;
inline constexpr int32_t ModelNumber = 1;
inline constexpr int32_t EraseMemory = 2;
inline constexpr int32_t SendProgram = 3;
inline constexpr int32_t LeaveBootMode = 4;
inline constexpr int32_t Restart = 5;
inline constexpr int32_t RestartDone = 6;
inline constexpr int32_t FinaliseUpgrade = 21;
inline constexpr int32_t Finished = 99;
// No state of its own: keeping the settings read, at the start of state 0,
// as the step a run that ends there failed in.
inline constexpr int32_t KeepSettings = 120;
}  // namespace UpdateState

// Whether a stop asked for while state is under way may end the run: only
// while the unit has not left its boot loader. Once it has, finishing
// (restart, settings written back) is the safe end.
bool StopEndsRunAt(int32_t state);

// One firmware update as a chain of posted states: each state writes its log
// line, runs its step and, as its last action, posts its successor.
class UpdateStateMachine {
 public:
  enum class Outcome {
    Ignored,     // not a state of the sequence: nothing ran, nothing was posted
    Continuing,  // the state ran and posted its successor
    Finished,    // state 99 ran: the buttons are enabled again
  };

  UpdateStateMachine(UpdateView& view, UpdateCommands& commands);

  // Disables Start and Close and posts the first state.
  void Start();

  // Runs one state. An exception from a command leaves the state before it
  // posts anything.
  Outcome Dispatch(int32_t state);

 private:
  void InitialiseUpgrade();
  void EnableBootLoader();
  void BootLoaderInfo();
  void ModelNumber();
  void EraseMemory();
  void SendProgram();
  void LeaveBootMode();
  void Restart();
  void RestartDone();
  void FinaliseUpgrade();
  void Finished();

  void ReopenLinkAtUnitSpeed();
  // Ends the run after a failure of the state under way.
  void FailRun(int32_t state);

  struct StateRow {
    int32_t state;
    void (UpdateStateMachine::*step)();
  };
  static const StateRow States[];

  UpdateView& view_;
  UpdateCommands& commands_;
  RunOutcome outcome_;
};
