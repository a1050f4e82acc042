#include "Options.h"

#include <charconv>
#include <functional>
#include <map>

namespace unitsim {

namespace {

// The longest work time or delay accepted, so that a slip of the keyboard cannot park the
// unit for days.
constexpr unsigned LongestMilliseconds = 600000;

unsigned ParseNumber(std::string_view option, std::string_view text, unsigned lowest,
                     unsigned highest) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < lowest ||
      value > highest) {
    throw UsageError(std::string(option) + " takes a number from " + std::to_string(lowest) +
                     " to " + std::to_string(highest));
  }
  return value;
}

uint16_t Parse16(std::string_view option, std::string_view text) {
  return static_cast<uint16_t>(ParseNumber(option, text, 0, 0xFFFF));
}

std::chrono::milliseconds ParseTime(std::string_view option, std::string_view text) {
  return std::chrono::milliseconds(ParseNumber(option, text, 0, LongestMilliseconds));
}

EntryRequestChoice ParseChoice(std::string_view text) {
  if (text == "first") return EntryRequestChoice::First;
  if (text == "second") return EntryRequestChoice::Second;
  throw UsageError("--entry-request takes first or second");
}

const std::map<std::string_view, bool Options::*>& FlagOptions() {
  static const std::map<std::string_view, bool Options::*> flags{
      {"--pace", &Options::pace},
      {"--echo", &Options::echo},
      {"--timestamps", &Options::timestamps},
      {"--start-in-boot-loader", &Options::startInBootLoader},
  };
  return flags;
}

using ValueSetter = std::function<void(Options&, std::string_view option, std::string_view)>;

const std::map<std::string_view, ValueSetter>& ValueOptions() {
  static const std::map<std::string_view, ValueSetter> setters{
      {"--device", [](Options& o, auto, auto v) { o.device = std::string(v); }},
      {"--pty-fd",
       [](Options& o, auto n, auto v) { o.ptyFd = static_cast<int>(ParseNumber(n, v, 0, 65535)); }},
      {"--model", [](Options& o, auto n, auto v) { o.model = Parse16(n, v); }},
      {"--version", [](Options& o, auto n, auto v) { o.version = Parse16(n, v); }},
      {"--new-version", [](Options& o, auto n, auto v) { o.newVersion = Parse16(n, v); }},
      {"--boot-rm", [](Options& o, auto n, auto v) { o.bootRmNumber = Parse16(n, v); }},
      {"--boot-version", [](Options& o, auto n, auto v) { o.bootVersion = Parse16(n, v); }},
      {"--slave-address",
       [](Options& o, auto n, auto v) {
         o.slaveAddress = static_cast<uint8_t>(ParseNumber(n, v, 1, 247));
       }},
      {"--entry-request", [](Options& o, auto, auto v) { o.entryRequest = ParseChoice(v); }},
      {"--erase-ms", [](Options& o, auto n, auto v) { o.eraseTime = ParseTime(n, v); }},
      {"--row-ms", [](Options& o, auto n, auto v) { o.rowTime = ParseTime(n, v); }},
      {"--late-ms", [](Options& o, auto n, auto v) { o.lateTime = ParseTime(n, v); }},
      {"--memory-in", [](Options& o, auto, auto v) { o.memoryIn = std::string(v); }},
      {"--memory-out", [](Options& o, auto, auto v) { o.memoryOut = std::string(v); }},
      {"--transcript", [](Options& o, auto, auto v) { o.transcript = std::string(v); }},
      {"--control", [](Options& o, auto, auto v) { o.control = std::string(v); }},
      {"--fault",
       [](Options& o, auto, auto v) {
         try {
           o.faults.push_back(ParseFault(v));
         } catch (const std::invalid_argument& error) {
           throw UsageError(error.what());
         }
       }},
  };
  return setters;
}

// Checks what only the options together can tell.
void CheckCombination(const Options& options) {
  if (options.device && options.ptyFd) throw UsageError("--device and --pty-fd exclude each other");
  try {
    [[maybe_unused]] const BootEntry entry(options.model, options.slaveAddress,
                                           options.entryRequest);
  } catch (const std::invalid_argument& error) {
    throw UsageError(std::string(error.what()) + " (model " + std::to_string(options.model) + ")");
  }
}

}  // namespace

Options ParseOptions(std::span<const std::string_view> args, Options start) {
  Options options = std::move(start);
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::optional<std::string_view> value;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (const auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
      if (value) throw UsageError(std::string(name) + " takes no value");
      options.*(flag->second) = true;
      continue;
    }
    const auto setter = ValueOptions().find(name);
    if (setter == ValueOptions().end()) {
      throw UsageError("unknown option " + std::string(name));
    }
    if (!value) {
      if (i + 1 == args.size()) throw UsageError(std::string(name) + " needs a value");
      value = args[++i];
    }
    setter->second(options, name, *value);
  }
  CheckCombination(options);
  return options;
}

}  // namespace unitsim
