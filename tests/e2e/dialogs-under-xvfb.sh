#!/usr/bin/env bash
# Starts the real program under a private Xvfb, opens Help > About.... from
# the keyboard, checks the box's size and place over the main window, saves
# a screenshot of it and closes it with Enter (OK is the default button);
# then opens Options > Comms Port, checks that it too is centred over the
# main window, closes it with its close box and closes the program. Without
# a window manager nothing else places the dialogs.
#
# Usage: dialogs-under-xvfb.sh PATH-TO-BOOTLOAD ARTEFACT-FOLDER
set -euo pipefail

readonly Title='Multi-Drop Controller MD-5 v2.110'
readonly AboutTitle='About\.\.\.\.'
readonly CommSelTitle='Comm Port Selection'
readonly WaitSeconds=60
readonly AboutWidth=337
readonly AboutHeight=193

bootload=$(realpath "$1")
[[ -x "$bootload" ]] || { echo "FAIL: no program at $bootload" >&2; exit 1; }
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=tests/e2e/run-setup.sh
source "$here/run-setup.sh"
begin_e2e_run "$2" bootload.log dialogs.log

# visible_windows: how many windows of the program are mapped.
visible_windows() {
  xdotool search --onlyvisible --pid "$BOOTLOAD_PID" 2>/dev/null | wc -l
}

# wait_until SECONDS COMMAND...: runs COMMAND until it succeeds; returns 1
# when SECONDS pass first.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

menu_is_open() { (($(visible_windows) >= 2)); }
is_hidden() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }

# open_dialog MENU-KEY ITEM-KEY TITLE: opens a menu of the main window from
# the keyboard, chooses an item and waits for the dialog titled TITLE; sets
# WINDOW and reads its geometry into X, Y, WIDTH and HEIGHT.
open_dialog() {
  xdotool windowfocus --sync "$main"
  xdotool key --clearmodifiers "$1"
  wait_until "$WaitSeconds" menu_is_open || fail "$1 opened no menu"
  xdotool key "$2"
  wait_for_window "$BOOTLOAD_PID" "$3" "$WaitSeconds" || fail "the dialog $3 did not appear"
  eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
}

# expect_centred NAME: the window of the last geometry read (X, Y, WIDTH,
# HEIGHT) has its centre within a pixel of the main window's.
expect_centred() {
  local off_x=$((X + WIDTH / 2 - main_x - main_width / 2))
  local off_y=$((Y + HEIGHT / 2 - main_y - main_height / 2))
  ((off_x * off_x <= 1 && off_y * off_y <= 1)) ||
    fail "the $1 is not centred over the main window (off by $off_x, $off_y)"
}

start_xvfb "$work"
echo "Xvfb is display $DISPLAY"
start_on_held_port "$bootload"

wait_for_window "$BOOTLOAD_PID" "$Title" "$WaitSeconds" ||
  fail "the main window did not appear; the program's output: $(cat "$work/bootload.log")"
main=$WINDOW
eval "$(xdotool getwindowgeometry --shell "$main")"
main_x=$X main_y=$Y main_width=$WIDTH main_height=$HEIGHT

# Alt+H opens the Help menu; A chooses "&About....".
open_dialog alt+h a "$AboutTitle"
about=$WINDOW
echo "About box ${WIDTH}x${HEIGHT}+${X}+${Y}, main window ${main_width}x${main_height}+${main_x}+${main_y}"
((WIDTH == AboutWidth && HEIGHT == AboutHeight)) ||
  fail "the About box is ${WIDTH}x${HEIGHT}, expected ${AboutWidth}x${AboutHeight}"
expect_centred "About box"

shot="$artefacts/about-box.png"
rm -f "$shot"
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
size=$(identify -format '%wx%h' "$shot") || fail "screenshot $shot is no image"
[[ "$size" == "${AboutWidth}x${AboutHeight}" ]] || fail "screenshot is $size"
colours=$(identify -format '%k' "$shot")
((colours > 16)) || fail "the About box shows only $colours colours: nothing drawn in it?"
echo "screenshot $shot"

xdotool windowfocus --sync "$about"
xdotool key Return
wait_until "$WaitSeconds" is_hidden "$AboutTitle" || fail "Enter did not close the About box"
kill -0 "$BOOTLOAD_PID" 2>/dev/null || fail "the program ended with the About box"
echo "Enter closed the About box"

# Alt+O opens the Options menu; C chooses "&Comms Port".
open_dialog alt+o c "$CommSelTitle"
echo "comm port dialog ${WIDTH}x${HEIGHT}+${X}+${Y}"
expect_centred "comm port dialog"
send_close_request "$WINDOW"
wait_until "$WaitSeconds" is_hidden "$CommSelTitle" || fail "the close box did not close the comm port dialog"
echo "the close box closed the comm port dialog"

send_close_request "$main"
wait_for_exit "$BOOTLOAD_PID" "$WaitSeconds" ||
  fail "bootload still runs ${WaitSeconds} s after the close request"
BOOTLOAD_PID=
((EXIT_STATUS == 0)) || fail "bootload ended with status $EXIT_STATUS: $(cat "$work/bootload.log")"
echo "bootload closed with status 0"
