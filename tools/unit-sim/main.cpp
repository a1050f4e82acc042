#include <signal.h>

#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "ControlFifo.h"
#include "Fixture.h"
#include "Line.h"
#include "Models.h"
#include "Options.h"
#include "ProgramMemory.h"
#include "Server.h"
#include "SignalWatch.h"
#include "Transcript.h"

namespace {

using namespace unitsim;

constexpr int StartFailed = 1;
constexpr int BadUsage = 2;

int Serve(const Options& options) {
  // A reader of the transcript going away must not end the unit.
  signal(SIGPIPE, SIG_IGN);
  ProgramMemory memory;
  if (options.memoryIn) memory.Load(*options.memoryIn);
  std::ofstream transcriptFile;
  if (options.transcript) {
    transcriptFile.open(*options.transcript, std::ios::trunc);
    if (!transcriptFile) {
      throw std::runtime_error("cannot write the transcript to " + *options.transcript +
                               ": check that its folder exists and is writable");
    }
  }
  SignalWatch signals{SIGTERM, SIGINT, SIGUSR1};
  const uint32_t speed = FirmwareSpeed(options.model);
  Line line = options.device ? Line::Device(*options.device, speed)
                             : Line::PseudoTerminal(speed, options.ptyFd);
  std::cout << line.Path() << std::endl;
  Transcript transcript(options.transcript ? transcriptFile : std::cout, options.timestamps);
  Fixture fixture(options, memory, transcript, !options.device);
  std::optional<ControlFifo> control;
  if (options.control) control.emplace(*options.control);
  Server server(line, fixture, transcript, signals, memory,
                {options.pace, options.echo, options.memoryOut}, control ? &*control : nullptr);
  server.Run();
  if (options.memoryOut) memory.Save(*options.memoryOut);
  transcript.Event("stop");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  Options options;
  try {
    options = ParseOptions(args);
  } catch (const UsageError& error) {
    std::cerr << "unit-sim: " << error.what() << " (unit-sim --help lists the options)\n";
    return BadUsage;
  }
  if (options.help) {
    std::cout << HelpText;
    return 0;
  }
  try {
    return Serve(options);
  } catch (const std::exception& error) {
    std::cerr << "unit-sim: " << error.what() << '\n';
    return StartFailed;
  }
}
