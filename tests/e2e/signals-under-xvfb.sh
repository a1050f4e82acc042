#!/usr/bin/env bash
# Signals to the real program under a private Xvfb, each time on a fresh
# unit-sim: SIGTERM and SIGHUP while idle end it at once; SIGTERM during the
# transfer ends it after the exchange under way, the unit left in its boot
# loader; SIGHUP during the transfer lets the update finish first. Every time
# the port must be released: no lock file, the exclusive flag clear (the
# unit keeps its side of the pseudo-terminal open, as a console or a getty
# keeps a real port open).
#
# Usage: signals-under-xvfb.sh BOOTLOAD UNIT-SIM IMAGE ARTEFACT-FOLDER
set -euo pipefail

readonly ExitWaitSeconds=120
readonly RunWaitSeconds=300
# Rows heard before the signal during the transfer, so that it lands there.
readonly RowsBeforeSignal=20
readonly RowRequests=496

bootload=$(realpath "$1")
unit_sim=$(realpath "$2")
image=$(realpath "$3")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=tests/e2e/run-setup.sh
source "$here/run-setup.sh"
begin_e2e_run "$4" folder/bootload.log signals-bootload.log

start_xvfb "$work"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir "$work/folder"

# The lock file of a device, as serial programs name it.
lock_file() {
  local name
  name=$(realpath "$1")
  name=${name#/dev/}
  echo "/var/lock/LCK..${name//\//_}"
}

# exclusive_flag PORT: 1 while some program holds the port's exclusive flag.
# (TIOCGEXCL is _IOR('T', 0x40, int).)
exclusive_flag() {
  python3 - "$1" <<'EOF'
import fcntl, os, struct, sys
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
print(struct.unpack("i", fcntl.ioctl(fd, 0x80045440, b"\0" * 4))[0])
EOF
}

# The lock file is taken only where /var/lock is writable.
with_lock_file() { [[ -w /var/lock ]]; }

# start_program [unit-sim options...]: a fresh unit and the program on it,
# its window up and its port held. Sets PORT.
start_program() {
  stop_process "$UNIT_PID"
  START_CLICK=no start_update_run "$bootload" "$unit_sim" "$work/folder" "$@" ||
    fail "the program did not start: $(cat "$work/folder/bootload.log")"
  PORT=$(head -n 1 "$work/folder/unit-port.txt")
  [[ $(exclusive_flag "$PORT") == 1 ]] || fail "the program does not hold $PORT"
  if with_lock_file; then
    [[ -e $(lock_file "$PORT") ]] || fail "no lock file $(lock_file "$PORT") while the program runs"
  fi
}

rows_heard() { grep -c '^rx 115200 10 02 02 02 ' "$TRANSCRIPT" || true; }

wait_for_rows() {
  local deadline=$((SECONDS + RunWaitSeconds))
  until (($(rows_heard) >= $1)); do
    ((SECONDS < deadline)) || fail "the unit heard only $(rows_heard) rows in $RunWaitSeconds s"
    kill -0 "$BOOTLOAD_PID" 2>/dev/null || fail "the program ended before the transfer"
    sleep 0.1
  done
}

# ends_and_releases WHAT SECONDS: the program ends with status 0 within
# SECONDS and leaves the port free.
ends_and_releases() {
  wait_for_exit "$BOOTLOAD_PID" "$2" || fail "the program still runs $2 s after $1"
  BOOTLOAD_PID=
  ((EXIT_STATUS == 0)) ||
    fail "the program ended with status $EXIT_STATUS after $1: $(cat "$work/folder/bootload.log")"
  if with_lock_file; then
    [[ ! -e $(lock_file "$PORT") ]] || fail "the lock file $(lock_file "$PORT") outlived $1"
  fi
  [[ $(exclusive_flag "$PORT") == 0 ]] || fail "the exclusive flag of $PORT outlived $1"
}

for signal in TERM HUP; do
  start_program
  kill -s "$signal" "$BOOTLOAD_PID"
  ends_and_releases "SIG$signal while idle" "$ExitWaitSeconds"
  echo "SIG$signal while idle: ended, port released"
done

# Rows that take their time, so that the signal lands well inside the
# transfer and the run's end can be told from a killed program.
start_program --row-ms 20
press_start
wait_for_rows "$RowsBeforeSignal"
kill -s TERM "$BOOTLOAD_PID"
ends_and_releases "SIGTERM during the transfer" "$ExitWaitSeconds"
rows=$(rows_heard)
((rows < RowRequests)) || fail "all $rows rows were sent after SIGTERM"
! grep -qE '^(leave|restart )' "$TRANSCRIPT" || fail "the unit left its boot loader after SIGTERM"
echo "SIGTERM during the transfer: ended after row $rows, the unit in its boot loader, port released"

start_program --row-ms 5
press_start
wait_for_rows "$RowsBeforeSignal"
kill -s HUP "$BOOTLOAD_PID"
ends_and_releases "SIGHUP during the transfer" "$RunWaitSeconds"
grep -q '^restart ' "$TRANSCRIPT" || fail "the update did not finish after SIGHUP: $(tail -3 "$TRANSCRIPT")"
kill -USR1 "$UNIT_PID"
for _ in $(seq 100); do [[ -s "$MEMORY" ]] && break; sleep 0.1; done
cmp -i 2048 "$MEMORY" "$image" || fail "after SIGHUP the unit's memory from 0x0800 differs from the image"
echo "SIGHUP during the transfer: the update finished, then the program ended, port released"
