#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>

#include "comms/EchoFilter.h"
#include "image/ImageFileFormat.h"

// What the command line asks for.
struct CliOptions {
  enum class Action { Update, Station, Info, RestoreSettings, ListPorts, Help, Version };

  struct LoadedImage {
    QString File;
    uint16_t ProcessorNumber = 0;
    uint16_t RmNumber = 0;
    std::optional<ImageFileFormat> Format;  // nothing: as the content shows
  };

  Action What = Action::Update;
  QStringList Ports;  // as given: a device path or COMn
  int32_t SlaveAddress = 1;
  std::optional<LoadedImage> Image;
  std::optional<QString> JsonFile;  // "-" is standard output
  bool Quiet = false;
  QString SettingsFile;              // of --restore-settings
  std::optional<QString> TraceFile;  // "-" is standard error
  EchoMode Echo = EchoMode::Auto;
};

// A command line that cannot be carried out, and why.
struct CliUsageError {
  QString Message;
};

// Reads the arguments (the program's name first).
std::variant<CliOptions, CliUsageError> ParseCliOptions(const QStringList& arguments);

// The usage text --help prints, and a bad command line after its message.
QString CliUsage();
