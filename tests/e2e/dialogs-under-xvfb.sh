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
# shellcheck source=scripts/lib/xserver.sh
source "$here/../../scripts/lib/xserver.sh"
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
mkdir -m 700 "$work/runtime" "$work/folder"

# COM1 is a pseudo-terminal held for the run, so the program starts without
# a message box whatever serial ports this machine has.
coproc PTY { exec python3 "$here/../../scripts/lib/hold-pty.py"; }
read -r -u "${PTY[0]}" port || fail "no pseudo-terminal for COM1"
printf '[Ports]\r\nCOM1=%s\r\n' "$port" >"$work/folder/Bootload.Ini"
(
  cd "$work/folder"
  exec env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" "$bootload"
) >"$work/bootload.log" 2>&1 &
BOOTLOAD_PID=$!

wait_for_window "$BOOTLOAD_PID" "$Title" "$WaitSeconds" ||
  fail "the main window did not appear; the program's output: $(cat "$work/bootload.log")"
main=$WINDOW
eval "$(xdotool getwindowgeometry --shell "$main")"
main_x=$X main_y=$Y main_width=$WIDTH main_height=$HEIGHT

# Alt+H opens the Help menu; once it shows, A chooses "&About....".
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+h
wait_until "$WaitSeconds" menu_is_open || fail "the Help menu did not open"
xdotool key a
wait_for_window "$BOOTLOAD_PID" "$AboutTitle" "$WaitSeconds" || fail "the About box did not appear"
about=$WINDOW

eval "$(xdotool getwindowgeometry --shell "$about")"
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
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+o
wait_until "$WaitSeconds" menu_is_open || fail "the Options menu did not open"
xdotool key c
wait_for_window "$BOOTLOAD_PID" "$CommSelTitle" "$WaitSeconds" || fail "the comm port dialog did not appear"
comm_sel=$WINDOW
eval "$(xdotool getwindowgeometry --shell "$comm_sel")"
echo "comm port dialog ${WIDTH}x${HEIGHT}+${X}+${Y}"
expect_centred "comm port dialog"
send_close_request "$comm_sel"
wait_until "$WaitSeconds" is_hidden "$CommSelTitle" || fail "the close box did not close the comm port dialog"
echo "the close box closed the comm port dialog"

send_close_request "$main"
wait_for_exit "$BOOTLOAD_PID" "$WaitSeconds" ||
  fail "bootload still runs ${WaitSeconds} s after the close request"
BOOTLOAD_PID=
((EXIT_STATUS == 0)) || fail "bootload ended with status $EXIT_STATUS: $(cat "$work/bootload.log")"
echo "bootload closed with status 0"
