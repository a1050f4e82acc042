#!/usr/bin/env bash
# The demonstration that scripts/run ends with, run twice without a display
# (so under its own Xvfb): with the image the program writes it must exit 0,
# and with an image that differs from it in one byte, which the unit's
# memory then cannot equal, it must exit 1.
#
# Usage: demo-status.sh BOOTLOAD UNIT-SIM IMAGE ARTEFACT-FOLDER
set -euo pipefail

bootload=$(realpath "$1")
unit_sim=$(realpath "$2")
image=$(realpath "$3")
artefacts=$4
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artefacts"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect_status IMAGE STATUS: runs the demonstration comparing with IMAGE and
# checks its exit status.
expect_status() {
  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY bash "$here/../../scripts/lib/demo.sh" \
    "$bootload" "$unit_sim" "$1" "$work/demo" >"$artefacts/demo.log" 2>&1 || status=$?
  ((status == $2)) || fail "the demonstration with $1 ended with status $status: $(cat "$artefacts/demo.log")"
  echo "with $1: status $status, $(tail -n 1 "$artefacts/demo.log")"
}

expect_status "$image" 0
cp "$image" "$work/other-image"
printf '\x5A' | dd of="$work/other-image" bs=1 seek=4096 conv=notrunc status=none
cmp -s "$image" "$work/other-image" && fail "the changed image equals the image"
expect_status "$work/other-image" 1
grep -q "memory differs from the firmware image" "$artefacts/demo.log" || fail "no word of the difference"
