#!/usr/bin/env bash
# Whole updates through the real program under a private Xvfb, first on a
# plain line, then on a line that echoes everything sent: on both the unit's
# memory equals the image and it heard the same requests once each, and the
# window's log list looks the same pixel for pixel after both. A third run on the
# echoing line with [Line] Echo=off in Bootload.Ini fails before erasing, as
# a run without echo handling always did there.
#
# Usage: echo-under-xvfb.sh BOOTLOAD UNIT-SIM IMAGE ARTEFACT-FOLDER
set -euo pipefail

bootload=$(realpath "$1")
unit_sim=$(realpath "$2")
image=$(realpath "$3")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=tests/e2e/run-setup.sh
source "$here/run-setup.sh"
begin_e2e_run "$4" echo/unit-transcript.txt echo-update-transcript.txt

start_xvfb "$work"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"

# run_once NAME [unit-sim options...]: a whole update in $work/NAME, with
# the lines of EXTRA_INI added to its Bootload.Ini before Start is pressed;
# leaves the screenshot $work/NAME.png and the frames heard $work/NAME.heard.
run_once() {
  local name=$1
  shift
  mkdir "$work/$name"
  START_CLICK=no start_update_run "$bootload" "$unit_sim" "$work/$name" "$@" ||
    fail "the $name run did not start"
  printf '%s' "${EXTRA_INI:-}" >>"$work/$name/Bootload.Ini"
  press_start
  if [[ "${EXTRA_INI:-}" == "" ]]; then
    wait_for_update_end 300 || fail "the $name update did not end: $(tail -5 "$TRANSCRIPT")"
  else
    # A run that stops at the model check has asked for the model twice.
    local waited=0
    until (($(grep -c '^rx 115200 10 02 00 02 FE 10 03$' "$TRANSCRIPT" || true) >= 2)); do
      sleep 0.5
      ((++waited < 600)) || fail "the $name run did not reach the model check within 300 s"
    done
    sleep 3
  fi
  import -window "$WINDOW" "$work/$name.png"
  kill -USR1 "$UNIT_PID"
  for _ in $(seq 100); do [[ -s "$MEMORY" ]] && break; sleep 0.1; done
  grep '^rx ' "$TRANSCRIPT" >"$work/$name.heard" || true
  send_close_request "$WINDOW"
  wait_for_exit "$BOOTLOAD_PID" 60 || fail "bootload did not close after the $name run"
  BOOTLOAD_PID=
  stop_process "$UNIT_PID"
  UNIT_PID=
}

run_once plain
cmp -s -i 2048 "$work/plain/unit-memory.bin" "$image" || fail "the plain run left other memory"
run_once echo --echo
cp "$work/echo.png" "$artefacts/echo-update-log.png"
cmp -s -i 2048 "$work/echo/unit-memory.bin" "$image" || fail "the echoing run left other memory"
grep -q '^echo 115200 10 02 02 02 ' "$work/echo/unit-transcript.txt" || fail "the line echoed nothing"
cmp -s "$work/plain.heard" "$work/echo.heard" || fail "the unit heard other requests on the echoing line"
(($(grep -c '^rx 115200 10 02 02 02 ' "$work/echo.heard") == 496)) || fail "not 496 rows heard once each"
# The log list, without the Slave Address box whose text cursor blinks.
log_list() { convert "$1" -crop "${LogListArea}" rgb:-; }
readonly LogListArea=480x100+10+25
cmp -s <(log_list "$work/plain.png") <(log_list "$work/echo.png") ||
  fail "the log list after the echoing run differs from the one after the plain run"
echo "echoing line: memory equals the image, the same requests heard once each, the same log list"

EXTRA_INI=$'[Line]\r\nEcho=off\r\n' run_once off --echo
grep -q '^boot-entry ' "$work/off/unit-transcript.txt" || fail "the run with Echo=off did not reach boot entry"
if grep -q '^rx 115200 10 02 03 08 ' "$work/off.heard"; then fail "the run with Echo=off erased"; fi
echo "[Line] Echo=off on the echoing line: stopped before erasing, as without echo handling"
