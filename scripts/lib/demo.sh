#!/usr/bin/env bash
# The demonstration after scripts/run has built it: a whole firmware update of
# the simulated unit in FOLDER. With a display the window opens and you press
# Start; without one it runs under a private Xvfb, Start is pressed for you,
# and the outcome is printed. Exits 1 when the unit's memory does not end up
# equal to the image.
#
# Usage: demo.sh BOOTLOAD UNIT-SIM IMAGE FOLDER
set -euo pipefail

bootload=$1
unit_sim=$2
image=$3
demo=$4
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=scripts/lib/xserver.sh
source "$here/xserver.sh"
# shellcheck source=scripts/lib/update-run.sh
source "$here/update-run.sh"
# The unit answers at the real byte rate of its line.
readonly UnitOptions=(--pace)

# print_outcome: what the unit heard and whether its memory equals the
# image; returns 1 when it does not.
print_outcome() {
  echo "The unit heard $(grep -c '^rx ' "$TRANSCRIPT") frames and sent $(grep -c '^tx ' "$TRANSCRIPT")," \
    "among them $(grep -c '^rx 115200 10 02 03 08 ' "$TRANSCRIPT") erase and" \
    "$(grep -c '^rx 115200 10 02 02 02 ' "$TRANSCRIPT") row requests; its transcript is $TRANSCRIPT"
  kill -USR1 "$UNIT_PID"
  for _ in $(seq 100); do [[ -s "$MEMORY" ]] && break; sleep 0.1; done
  if cmp -s -i 2048 "$MEMORY" "$image"; then
    echo "The unit's program memory from 0x0800 on equals the firmware image."
  else
    echo "The unit's program memory differs from the firmware image." >&2
    return 1
  fi
}

run_on_display() {
  start_update_run "$bootload" "$unit_sim" "$demo" "${UnitOptions[@]}"
  echo "Press Start in the window; close it when the update is done."
  wait "$BOOTLOAD_PID" || true
  BOOTLOAD_PID=
  print_outcome
}

run_under_xvfb() {
  mkdir -m 700 "$scratch/runtime"
  export XDG_RUNTIME_DIR="$scratch/runtime"
  start_xvfb "$scratch"
  echo "No display: running the window under Xvfb on $DISPLAY and pressing Start"
  start_update_run "$bootload" "$unit_sim" "$demo" "${UnitOptions[@]}"
  wait_for_update_end 600
  import -window "$WINDOW" "$demo/bootload.png"
  local outcome=0
  print_outcome || outcome=1
  echo "Screenshot of the final log: $demo/bootload.png"
  send_close_request "$WINDOW" || true
  wait_for_exit "$BOOTLOAD_PID" 30 || stop_process "$BOOTLOAD_PID"
  BOOTLOAD_PID=
  return "$outcome"
}

mkdir -p "$demo"
scratch=$(mktemp -d)
XVFB_PID=
BOOTLOAD_PID=
UNIT_PID=
# shellcheck disable=SC2064  # the folder is fixed now
trap "stop_process \"\$BOOTLOAD_PID\"; stop_process \"\$UNIT_PID\"; stop_process \"\$XVFB_PID\"; rm -rf '$scratch'" EXIT
trap 'exit 1' INT TERM HUP
if [[ -n "${DISPLAY:-}" ]]; then
  START_CLICK=no
  run_on_display
else
  run_under_xvfb
fi
