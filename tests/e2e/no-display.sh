#!/usr/bin/env bash
# Starts the real program with no display at all (no DISPLAY, no
# WAYLAND_DISPLAY, no QT_QPA_PLATFORM): it must say so in one line and exit
# with status 1, naming bootload-cli only when that is installed beside it.
#
# Usage: no-display.sh PATH-TO-BOOTLOAD
set -euo pipefail

readonly Expected='bootload: no display found (DISPLAY and WAYLAND_DISPLAY are unset); the window needs one'
readonly WithCli="$Expected; use bootload-cli to update without one"

bootload=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect_refusal PROGRAM LINE: the program, started without a display, ends
# with status 1 after writing exactly LINE to its standard error.
expect_refusal() {
  local status=0 message
  message=$(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" 2>&1 >/dev/null) ||
    status=$?
  ((status == 1)) || fail "$1 ended with status $status; it wrote: $message"
  [[ "$message" == "$2" ]] || fail "$1 wrote: $message"
  echo "$1: status 1, $message"
}

mkdir "$work/alone" "$work/bin"
cp "$bootload" "$work/alone/bootload"
expect_refusal "$work/alone/bootload" "$Expected"

cp "$bootload" "$work/bin/bootload"
printf '#!/bin/sh\n' >"$work/bin/bootload-cli"
chmod +x "$work/bin/bootload-cli"
expect_refusal "$work/bin/bootload" "$WithCli"
