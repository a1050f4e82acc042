#pragma once

#include <optional>
#include <string>

// The line to print when the window has nowhere to show: no X or Wayland
// display is named and no toolkit platform is chosen (QT_QPA_PLATFORM, for
// instance "offscreen"). It names bootload-cli only when that is installed
// beside the program. Nothing when the window can be tried.
std::optional<std::string> NoDisplayMessage();
