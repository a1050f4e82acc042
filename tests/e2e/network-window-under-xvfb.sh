#!/usr/bin/env bash
# A whole update through the real program under a private Xvfb, with COM1 a
# network port: ser2net on the loopback interface stands in front of the
# simulated unit, and Start is pressed through the window system. The
# unit's memory is compared with the image and a screenshot of the final log
# is kept.
#
# Usage: network-window-under-xvfb.sh BOOTLOAD UNIT-SIM IMAGE ARTEFACT-FOLDER
set -euo pipefail

bootload=$(realpath "$1")
unit_sim=$(realpath "$2")
image=$(realpath "$3")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=scripts/lib/ser2net.sh
source "$here/../../scripts/lib/ser2net.sh"
# shellcheck source=tests/e2e/run-setup.sh
source "$here/run-setup.sh"
begin_e2e_run "$4" folder/unit-transcript.txt network-window-transcript.txt

# serve_unit PTY: ser2net with an RFC 2217 port in front of the unit; COM1
# names that port.
serve_unit() {
  local port
  port=$(free_tcp_port)
  printf 'connection: &unit\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,19200n81,local\n' \
    "$port" "$1" >"$work/ser2net.yaml"
  start_ser2net "$work/ser2net.yaml" "$work/ser2net.log" "$port" || fail "ser2net does not listen on $port"
  PORT_NAME="rfc2217://127.0.0.1:$port"
}

start_xvfb "$work"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir "$work/folder"

PORT_HOOK=serve_unit start_update_run "$bootload" "$unit_sim" "$work/folder" ||
  fail "the run did not start: $(cat "$work/folder/bootload.log" 2>/dev/null)"
wait_for_update_end 300 || fail "the update did not end: $(tail -5 "$TRANSCRIPT")"

shot="$artefacts/network-update-log.png"
import -window "$WINDOW" "$shot"
echo "screenshot $shot"

kill -USR1 "$UNIT_PID"
for _ in $(seq 100); do [[ -s "$MEMORY" ]] && break; sleep 0.1; done
cmp -i 2048 "$MEMORY" "$image" || fail "the unit's memory from 0x0800 differs from the image"
grep -q '^rx 9600 ' "$TRANSCRIPT" && grep -q '^rx 115200 ' "$TRANSCRIPT" ||
  fail "the unit did not hear both speeds set over the network"
echo "through $PORT_NAME: memory equals the image, both speeds set at the unit"

send_close_request "$WINDOW"
wait_for_exit "$BOOTLOAD_PID" 60 || fail "bootload did not close"
BOOTLOAD_PID=
((EXIT_STATUS == 0)) || fail "bootload ended with status $EXIT_STATUS"
