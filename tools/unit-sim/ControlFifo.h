#pragma once

#include <string>
#include <vector>

#include "Descriptor.h"
#include "Fixture.h"
#include "Transcript.h"

namespace unitsim {

// The FIFO of --control, through which a test or a demonstration takes the unit off the
// line and puts a fresh one on, one command a line:
//   off                 the unit is taken off: nothing on the line answers
//   on [OPTIONS]        a fresh unit is put on, made from the first unit's options with
//                       the unit options given on top (--version N, --start-in-boot-loader,
//                       --fault ..., --memory-in FILE, ...); faults, the boot loader start
//                       and the memory are not carried over from the unit before
class ControlFifo {
 public:
  // Makes the FIFO at path (an existing FIFO is taken as it is) and opens it without
  // waiting for a writer. Throws std::runtime_error with the reason.
  explicit ControlFifo(std::string path);
  ~ControlFifo();
  ControlFifo(const ControlFifo&) = delete;
  ControlFifo& operator=(const ControlFifo&) = delete;

  int Fd() const { return fd_.Get(); }
  // The complete lines written since the last call.
  std::vector<std::string> TakeLines();

 private:
  std::string path_;
  bool made_ = false;
  Descriptor fd_;
  std::string partial_;
};

// Carries out one command line on the fixture; a command that cannot be carried out is
// noted in the transcript ("control refused: ...") and changes nothing. True when the unit
// on the line changed.
bool ApplyControl(const std::string& line, Fixture& fixture, Transcript& transcript);

}  // namespace unitsim
