#include "app/DisplayCheck.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

bool CliInstalledBeside() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return false;
  const std::filesystem::path cli = program.parent_path() / "bootload-cli";
  return std::filesystem::is_regular_file(cli, error) && ::access(cli.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> NoDisplayMessage() {
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) return std::nullopt;
  std::string message =
      "bootload: no display found (DISPLAY and WAYLAND_DISPLAY are unset); the window needs one";
  if (CliInstalledBeside()) message += "; use bootload-cli to update without one";
  return message;
}
