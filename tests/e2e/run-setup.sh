# shellcheck shell=bash
# Sourced by the end-to-end scripts of the window: the X server and the
# whole-update helpers of scripts/lib, fail, the artefact folder, a fresh work
# folder, and the clean-up on exit. That stops whichever of the program, the
# unit, the pseudo-terminal holder, a serial device server and Xvfb were
# started, keeps one file of the work folder as an artefact and removes the
# rest.

# shellcheck source=scripts/lib/xserver.sh
source "${BASH_SOURCE[0]%/*}/../../scripts/lib/xserver.sh"
# shellcheck source=scripts/lib/update-run.sh
source "${BASH_SOURCE[0]%/*}/../../scripts/lib/update-run.sh"

BOOTLOAD_PID=
UNIT_PID=
PTY_PID=
SERVER_PID=
XVFB_PID=

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# begin_e2e_run ARTEFACT-FOLDER KEPT-FILE ARTEFACT-NAME: sets artefacts and
# work; KEPT-FILE (relative to work) is copied to ARTEFACT-NAME at the end.
begin_e2e_run() {
  artefacts=$1
  kept_file=$2
  kept_name=$3
  mkdir -p "$artefacts"
  work=$(mktemp -d)
  trap end_e2e_run EXIT
  trap 'exit 1' INT TERM HUP
}

end_e2e_run() {
  stop_process "$BOOTLOAD_PID"
  stop_process "$UNIT_PID"
  stop_process "$PTY_PID"
  stop_process "$SERVER_PID"
  stop_process "$XVFB_PID"
  cp "$work/$kept_file" "$artefacts/$kept_name" 2>/dev/null || true
  rm -rf "$work"
}

# start_on_held_port BOOTLOAD: starts the program under the current X display
# in the folder $work/folder, with COM1 mapped to a pseudo-terminal held for
# the run, so that it starts without a message box whatever serial ports
# this machine has. Its output goes to $work/bootload.log. Sets BOOTLOAD_PID
# and HELD_PORT, the pseudo-terminal's path.
start_on_held_port() {
  mkdir -m 700 "$work/runtime"
  mkdir "$work/folder"
  coproc PTY { exec python3 "${BASH_SOURCE[0]%/*}/../../scripts/lib/hold-pty.py"; }
  read -r -u "${PTY[0]}" HELD_PORT || fail "no pseudo-terminal for COM1"
  printf '[Ports]\r\nCOM1=%s\r\n' "$HELD_PORT" >"$work/folder/Bootload.Ini"
  (
    cd "$work/folder" || exit 1
    exec env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" "$1"
  ) >"$work/bootload.log" 2>&1 &
  BOOTLOAD_PID=$!
}
