#!/usr/bin/env bash
# Starts the real program under a private Xvfb in a fresh working folder,
# finds its window by title, checks the settings file it wrote, saves a
# screenshot and closes the window as a window manager's close box would.
#
# Usage: window-under-xvfb.sh PATH-TO-BOOTLOAD ARTEFACT-FOLDER
set -euo pipefail

readonly Title='Multi-Drop Controller MD-5 v2.110'
readonly WindowWaitSeconds=60
readonly ExitWaitSeconds=60
readonly ScreenSize=1024x768
readonly ClientWidth=514
readonly ClientHeight=196

bootload=$(realpath "$1")
[[ -x "$bootload" ]] || { echo "FAIL: no program at $bootload" >&2; exit 1; }
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=tests/e2e/run-setup.sh
source "$here/run-setup.sh"
begin_e2e_run "$2" bootload.log main-window.log

start_xvfb "$work"
echo "Xvfb is display $DISPLAY"

start_on_held_port "$bootload"

wait_for_window "$BOOTLOAD_PID" "$Title" "$WindowWaitSeconds" ||
  fail "the window did not appear; the program's output: $(cat "$work/bootload.log")"
window=$WINDOW
echo "window $window"

# The window shows once start-up is complete: the port that opened has been
# written back beside the mapping.
ini="$work/folder/Bootload.Ini"
grep -qx $'Comms_Port=1\r' "$ini" ||
  fail "Bootload.Ini has no line 'Comms_Port=1' ending in CR LF: $(od -c "$ini")"
grep -qx "COM1=$HELD_PORT"$'\r' "$ini" || fail "Bootload.Ini lost its [Ports] mapping: $(cat "$ini")"

name=$(xdotool getwindowname "$window")
[[ "$name" == "$Title" ]] || fail "window title is '$name', expected '$Title'"

# Without a window manager the window is exactly its client area plus the
# menu bar, centred on the screen.
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window geometry ${WIDTH}x${HEIGHT}+${X}+${Y}"
((WIDTH == ClientWidth)) || fail "window is $WIDTH pixels wide, expected $ClientWidth"
((HEIGHT > ClientHeight)) || fail "window is $HEIGHT pixels high, expected the client area of $ClientHeight plus a menu bar"
screen_width=${ScreenSize%x*}
screen_height=${ScreenSize#*x}
((X == (screen_width - WIDTH) / 2 && Y == (screen_height - HEIGHT) / 2)) ||
  fail "window at $X,$Y is not centred on the ${ScreenSize} screen"

shot="$artefacts/main-window.png"
rm -f "$shot"
import -window root "$shot"
size=$(identify -format '%wx%h' "$shot") || fail "screenshot $shot is no image"
[[ "$size" == "$ScreenSize" ]] || fail "screenshot is $size, expected $ScreenSize"
echo "screenshot $shot"

send_close_request "$window"
wait_for_exit "$BOOTLOAD_PID" "$ExitWaitSeconds" ||
  fail "bootload still runs ${ExitWaitSeconds} s after the close request"
BOOTLOAD_PID=
((EXIT_STATUS == 0)) || fail "bootload ended with status $EXIT_STATUS: $(cat "$work/bootload.log")"
echo "bootload closed with status 0"
