#include "cli/CliOptions.h"

#include <QCommandLineParser>

#include "cli/ComPortName.h"
#include "cli/NetworkPortOption.h"
#include "settings/TextToInteger.h"

namespace {

constexpr int32_t MinimumSlaveAddress = 1;
constexpr int32_t MaximumSlaveAddress = 247;

const QCommandLineOption PortOption(QStringLiteral("port"),
                                    QStringLiteral("Update the unit on PORT: a device path or "
                                                   "COMn. Repeat to update several units at once."),
                                    QStringLiteral("PORT"));
const QCommandLineOption SlaveOption(QStringLiteral("slave-address"),
                                     QStringLiteral("The unit's slave address, 1 to 247 (1)."),
                                     QStringLiteral("N"));
const QCommandLineOption ImageOption(QStringLiteral("image"),
                                     QStringLiteral("Write this firmware file (Intel HEX, "
                                                    "S-records or a raw image) instead of the "
                                                    "built-in firmware (needs --processor, --rm)."),
                                     QStringLiteral("FILE"));
const QCommandLineOption FormatOption(QStringLiteral("format"),
                                      QStringLiteral("Read the --image file as raw, ihex or srec, "
                                                     "whatever its content shows."),
                                      QStringLiteral("FORMAT"));
const QCommandLineOption ProcessorOption(QStringLiteral("processor"),
                                         QStringLiteral("Processor number of the image file."),
                                         QStringLiteral("N"));
const QCommandLineOption RmOption(QStringLiteral("rm"),
                                  QStringLiteral("RM number (model) of the image file."),
                                  QStringLiteral("N"));
const QCommandLineOption JsonOption(QStringLiteral("json"),
                                    QStringLiteral("Write one JSON record per unit to FILE, or to "
                                                   "standard output for -."),
                                    QStringLiteral("FILE"));
const QCommandLineOption QuietOption(QStringLiteral("quiet"),
                                     QStringLiteral("Print no log lines, only the summary."));
const QCommandLineOption TraceOption(QStringLiteral("trace"),
                                     QStringLiteral("Write every frame on the wire and every link "
                                                    "event to FILE, or to standard error for -."),
                                     QStringLiteral("FILE"));
const QCommandLineOption EchoOption(QStringLiteral("echo"),
                                    QStringLiteral("Whether the line gives back what is sent: "
                                                   "auto (found from the first read), on or off "
                                                   "(auto)."),
                                    QStringLiteral("auto|on|off"));
const QCommandLineOption InfoOption(QStringLiteral("info"),
                                    QStringLiteral("Only read each unit's model, firmware version "
                                                   "and kept settings; change nothing."));
const QCommandLineOption StationOption(QStringLiteral("station"),
                                       QStringLiteral("Run as a production station until SIGINT "
                                                      "or SIGTERM: update each unit put on a "
                                                      "port, one after the other."));
const QCommandLineOption ListPortsOption(QStringLiteral("list-ports"),
                                         QStringLiteral("List the serial ports present and their "
                                                        "COM numbers."));
const QCommandLineOption RestoreOption(QStringLiteral("restore-settings"),
                                       QStringLiteral("Write the kept settings in FILE into the "
                                                      "running unit on the one PORT."),
                                       QStringLiteral("FILE"));
const QCommandLineOption HelpOption(QStringLiteral("help"), QStringLiteral("Show this help."));
const QCommandLineOption VersionOption(QStringLiteral("version"),
                                       QStringLiteral("Show the program's version."));

void AddOptions(QCommandLineParser& parser) {
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      QStringLiteral("Writes the firmware into the units on the given serial ports."));
  parser.addOptions({PortOption, SlaveOption, ImageOption, FormatOption, ProcessorOption, RmOption,
                     JsonOption, QuietOption, TraceOption, EchoOption, InfoOption, StationOption,
                     RestoreOption, ListPortsOption, HelpOption, VersionOption});
}

// The number the Load File input box would read from text: its low 16 bits.
std::optional<uint16_t> WordOf(const QString& text) {
  const std::optional<int32_t> value = TextToInteger(text);
  if (!value) return std::nullopt;
  return static_cast<uint16_t>(*value);
}

QString NotAnInteger(const QString& text) {
  return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

std::variant<CliOptions, CliUsageError> ReadUpdateOptions(const QCommandLineParser& parser) {
  CliOptions options;
  options.Ports = parser.values(PortOption);
  if (options.Ports.isEmpty()) return CliUsageError{QStringLiteral("no --port given")};
  for (const QString& port : options.Ports) {
    if (port.isEmpty()) return CliUsageError{QStringLiteral("--port needs a device path or COMn")};
    if (const std::optional<int> comNumber = ComNumberIn(port);
        comNumber && !IsComNumber(*comNumber)) {
      return CliUsageError{
          QStringLiteral("there is no port %1: COMn goes from COM1 to COM32").arg(port)};
    }
    if (const auto error = NetworkPortOptionError(port)) return CliUsageError{*error};
    if (options.Ports.count(port) > 1) {
      return CliUsageError{QStringLiteral("port %1 given twice").arg(port)};
    }
  }
  if (parser.isSet(SlaveOption)) {
    const QString text = parser.value(SlaveOption);
    const std::optional<int32_t> address = TextToInteger(text);
    if (!address || *address < MinimumSlaveAddress || *address > MaximumSlaveAddress) {
      return CliUsageError{QStringLiteral("--slave-address must be 1 to 247, not '%1'").arg(text)};
    }
    options.SlaveAddress = *address;
  }
  const int imageParts = int(parser.isSet(ImageOption)) + int(parser.isSet(ProcessorOption)) +
                         int(parser.isSet(RmOption));
  if (imageParts != 0 && imageParts != 3) {
    return CliUsageError{QStringLiteral("--image, --processor and --rm go together")};
  }
  if (imageParts == 3) {
    const std::optional<uint16_t> processor = WordOf(parser.value(ProcessorOption));
    if (!processor) return CliUsageError{NotAnInteger(parser.value(ProcessorOption))};
    const std::optional<uint16_t> rm = WordOf(parser.value(RmOption));
    if (!rm) return CliUsageError{NotAnInteger(parser.value(RmOption))};
    options.Image = CliOptions::LoadedImage{parser.value(ImageOption), *processor, *rm, {}};
    if (parser.isSet(FormatOption)) {
      options.Image->Format = ImageFileFormatNamed(parser.value(FormatOption));
      if (!options.Image->Format) {
        return CliUsageError{QStringLiteral("--format is raw, ihex or srec, not '%1'")
                                 .arg(parser.value(FormatOption))};
      }
    }
  } else if (parser.isSet(FormatOption)) {
    return CliUsageError{QStringLiteral("--format goes with --image")};
  }
  if (parser.isSet(JsonOption)) options.JsonFile = parser.value(JsonOption);
  options.Quiet = parser.isSet(QuietOption);
  if (parser.isSet(RestoreOption)) {
    if (options.Ports.size() != 1 || imageParts != 0 || options.JsonFile ||
        parser.isSet(InfoOption)) {
      return CliUsageError{QStringLiteral("--restore-settings takes one --port and nothing else")};
    }
    options.What = CliOptions::Action::RestoreSettings;
    options.SettingsFile = parser.value(RestoreOption);
  }
  if (parser.isSet(TraceOption)) options.TraceFile = parser.value(TraceOption);
  if (parser.isSet(EchoOption)) {
    const QString text = parser.value(EchoOption);
    const std::optional<EchoMode> mode = EchoModeNamed(text.toStdString());
    if (!mode)
      return CliUsageError{QStringLiteral("--echo takes auto, on or off, not '%1'").arg(text)};
    options.Echo = *mode;
  }
  return options;
}

// The update's options: the product they choose sets the speed of the reads.
std::variant<CliOptions, CliUsageError> ReadInfoOptions(const QCommandLineParser& parser) {
  auto parsed = ReadUpdateOptions(parser);
  if (auto* options = std::get_if<CliOptions>(&parsed)) options->What = CliOptions::Action::Info;
  return parsed;
}

// The update's options, for every unit the station meets.
std::variant<CliOptions, CliUsageError> ReadStationOptions(const QCommandLineParser& parser) {
  if (parser.isSet(InfoOption) || parser.isSet(RestoreOption)) {
    return CliUsageError{
        QStringLiteral("--station goes with neither --info nor --restore-settings")};
  }
  auto parsed = ReadUpdateOptions(parser);
  if (auto* options = std::get_if<CliOptions>(&parsed)) options->What = CliOptions::Action::Station;
  return parsed;
}

}  // namespace

std::variant<CliOptions, CliUsageError> ParseCliOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (!parser.parse(arguments)) return CliUsageError{parser.errorText()};
  if (!parser.positionalArguments().isEmpty()) {
    return CliUsageError{
        QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first())};
  }
  CliOptions options;
  if (parser.isSet(HelpOption)) {
    options.What = CliOptions::Action::Help;
  } else if (parser.isSet(VersionOption)) {
    options.What = CliOptions::Action::Version;
  } else if (parser.isSet(ListPortsOption)) {
    options.What = CliOptions::Action::ListPorts;
  } else if (parser.isSet(StationOption)) {
    return ReadStationOptions(parser);
  } else if (parser.isSet(InfoOption)) {
    return ReadInfoOptions(parser);
  } else {
    return ReadUpdateOptions(parser);
  }
  return options;
}

QString CliUsage() {
  QCommandLineParser parser;
  AddOptions(parser);
  return QStringLiteral(
             "Usage: bootload-cli --port PORT [--port PORT]... [--slave-address N]\n"
             "                    [--image FILE [--format raw|ihex|srec] --processor N --rm N]\n"
             "                    [--json FILE|-] [--quiet] [--trace FILE|-] [--echo auto|on|off]\n"
             "       bootload-cli --station --port PORT [--port PORT]... [update options]\n"
             "       bootload-cli --info --port PORT [--port PORT]... [--json FILE|-] "
             "[--trace FILE|-]\n"
             "                    [--echo auto|on|off]\n"
             "       bootload-cli --restore-settings FILE --port PORT [--echo auto|on|off]\n"
             "       bootload-cli --list-ports | --help | --version\n") +
         parser.helpText().section(QLatin1Char('\n'), 2) +
         QStringLiteral(
             "\nPORT is a device path or COMn (COM1 to COM32): key COMn of section [Ports] in\n"
             "Bootload.Ini of the working folder, else the n-th serial port present (see\n"
             "--list-ports). A port on a serial device server is rfc2217://HOST:PORT, or\n"
             "rfc2217s://HOST:PORT[?ca=FILE] over TLS (the CA file else from key CA of\n"
             "section [Network] in Bootload.Ini).\n\n"
             "Exit status: 0 every unit updated, 1 a unit failed or the record could not be\n"
             "written, 2 bad command line, 3 a port could not be opened, 130/143 a unit\n"
             "stopped by SIGINT/SIGTERM. SIGHUP and a closed output never stop a run.\n"
             "With --info: 0 every unit answered, 1 a unit did not, 3 a port could not be "
             "opened.\n"
             "With --restore-settings: 0 written, 1 not written, 2 and 3 as above.\n"
             "With --station: 0 no unit failed, 1 a unit failed or a record could not be\n"
             "written (a unit whose update a signal stopped counts as failed), 2 and 3 as\n"
             "above (3: a port did not open at the start).\n");
}
