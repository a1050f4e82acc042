#!/usr/bin/env bash
# A whole update through the real program under a private Xvfb: Start is
# pressed through the window system, the unit's memory is compared with the
# image, the frames on the line with the worked ones, and a screenshot of
# the final log is kept.
#
# Usage: update-under-xvfb.sh BOOTLOAD UNIT-SIM IMAGE ARTEFACT-FOLDER
set -euo pipefail

bootload=$(realpath "$1")
unit_sim=$(realpath "$2")
image=$(realpath "$3")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=tests/e2e/run-setup.sh
source "$here/run-setup.sh"
begin_e2e_run "$4" folder/unit-transcript.txt update-transcript.txt

start_xvfb "$work"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir "$work/folder"

start_update_run "$bootload" "$unit_sim" "$work/folder" || fail "the run did not start"
wait_for_update_end 300 || fail "the update did not end: $(tail -5 "$TRANSCRIPT")"

shot="$artefacts/update-log.png"
import -window "$WINDOW" "$shot"
echo "screenshot $shot"

kill -USR1 "$UNIT_PID"
for _ in $(seq 100); do [[ -s "$MEMORY" ]] && break; sleep 0.1; done
cmp -i 2048 "$MEMORY" "$image" || fail "the unit's memory from 0x0800 differs from the image"

heard() { grep -c "^rx 115200 $1" "$TRANSCRIPT" || true; }
for frame in '10 02 00 02 FE 10 03$' '10 02 08 04 F4 10 03$' '10 02 03 08 00 08 00 ED 10 03$' \
  '10 02 03 08 00 10 10 00 E5 10 03$' '10 02 02 02 00 10 10 00 ' '10 02 02 02 80 10 10 00 '; do
  (($(heard "$frame") >= 1)) || fail "frame $frame was not on the line"
done
(($(heard '10 02 03 08 ') == 124)) || fail "$(heard '10 02 03 08 ') erase requests, expected 124"
(($(heard '10 02 02 02 ') == 496)) || fail "$(heard '10 02 02 02 ') row requests, expected 496"
echo "memory equals the image; 124 erase and 496 row requests with the worked frames"

send_close_request "$WINDOW"
wait_for_exit "$BOOTLOAD_PID" 60 || fail "bootload did not close"
BOOTLOAD_PID=
((EXIT_STATUS == 0)) || fail "bootload ended with status $EXIT_STATUS"
