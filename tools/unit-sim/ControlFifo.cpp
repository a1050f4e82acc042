#include "ControlFifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace unitsim {

namespace {

constexpr std::size_t ReadChunk = 512;

// Options of the line, not of a unit: a command cannot change them.
const std::set<std::string_view>& LineOptions() {
  static const std::set<std::string_view> names{
      "--device",     "--pace",    "--timestamps", "--memory-out",
      "--transcript", "--control", "--help",       "-h"};
  return names;
}

std::string_view NameOf(std::string_view argument) {
  return argument.substr(0, argument.find('='));
}

// The unit the command's options make: the first unit's, without what belongs to one unit
// only, with the options given on top.
Options UnitOptions(const Options& first, const std::vector<std::string>& words) {
  std::vector<std::string_view> args(words.begin() + 1, words.end());
  for (const std::string_view arg : args) {
    if (LineOptions().contains(NameOf(arg))) {
      throw UsageError(std::string(NameOf(arg)) + " is an option of the line, not of a unit");
    }
  }
  Options start = first;
  start.faults.clear();
  start.startInBootLoader = false;
  start.memoryIn.reset();
  return ParseOptions(args, start);
}

}  // namespace

ControlFifo::ControlFifo(std::string path) : path_(std::move(path)) {
  if (::mkfifo(path_.c_str(), 0600) == 0) {
    made_ = true;
  } else if (errno != EEXIST) {
    throw std::runtime_error("cannot make the control FIFO " + path_ + ": " +
                             std::generic_category().message(errno) +
                             "; check that its folder exists and is writable");
  }
  // Read and write: the FIFO never reads as ended when a writer closes it.
  fd_.Reset(::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (!fd_.Valid() || ::fstat(fd_.Get(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
    throw std::runtime_error("cannot use " + path_ +
                             " as the control FIFO: it is not a FIFO or cannot be opened");
  }
}

ControlFifo::~ControlFifo() {
  if (made_) ::unlink(path_.c_str());
}

std::vector<std::string> ControlFifo::TakeLines() {
  std::array<char, ReadChunk> buffer{};
  for (;;) {
    const ssize_t n = ::read(fd_.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    partial_.append(buffer.data(), static_cast<std::size_t>(n));
  }
  std::vector<std::string> lines;
  for (std::size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
    lines.push_back(partial_.substr(0, end));
    partial_.erase(0, end + 1);
  }
  return lines;
}

bool ApplyControl(const std::string& line, Fixture& fixture, Transcript& transcript) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  if (words.empty()) return false;
  try {
    if (words[0] == "off" && words.size() == 1) {
      fixture.TakeOff();
      return true;
    }
    if (words[0] == "on") {
      fixture.PutOn(UnitOptions(fixture.FirstOptions(), words));
      return true;
    }
    throw UsageError("the commands are off and on [OPTIONS]");
  } catch (const std::runtime_error& error) {
    transcript.Event("control refused: " + line + ": " + error.what());
    return false;
  }
}

}  // namespace unitsim
