#!/usr/bin/env bash
# Every file the programs take from the user, given as a FIFO, as a link to
# /dev/zero, as a folder or as a dangling link: each run ends within a few
# seconds on a line that says what happened, never hanging on the FIFO nor
# reading the device without end.
#
# Usage: file-inputs-bounded.sh BOOTLOAD-CLI BOOTLOAD UNIT-SIM
set -euo pipefail

cli=$(realpath "$1")
window=$(realpath "$2")
unit_sim=$(realpath "$3")
readonly Limit=30  # seconds: the hangs this guards against never ended
work=$(mktemp -d)
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# bad KIND PATH: puts a file of that kind at PATH.
bad() {
  rm -rf "$2"
  case $1 in
    fifo) mkfifo "$2" ;;
    zero) ln -s /dev/zero "$2" ;;
    folder) mkdir "$2" ;;
    dangling) ln -s "$work/nothing-here" "$2" ;;
  esac
}

# expect STATUS PATTERN COMMAND...: the command, run in $work/run, ends
# within the limit with STATUS and standard error matching PATTERN.
expect() {
  local want=$1 pattern=$2 status=0
  shift 2
  (cd "$work/run" && timeout -s KILL "$Limit" "$@") >"$work/out.log" 2>"$work/err.log" ||
    status=$?
  ((status != 137)) || fail "$* did not end within $Limit s"
  ((status == want)) || fail "$* ended with $status, not $want: $(cat "$work/err.log")"
  grep -Eq -- "$pattern" "$work/err.log" "$work/out.log" ||
    fail "$*: \"$pattern\" not said: $(cat "$work/err.log" "$work/out.log")"
}

# expect_window PATTERN: the window, started in $work/run, says PATTERN on
# standard error within the limit and ends on SIGTERM. A settings file it
# cannot write first gets its error box, which SIGTERM closes too: start-up
# then goes on to the port, which it names.
expect_window() {
  (cd "$work/run" && QT_QPA_PLATFORM=offscreen exec "$window") >/dev/null 2>"$work/err.log" &
  local pid=$!
  pids+=("$pid")
  for _ in $(seq 50); do grep -Eq -- "$1" "$work/err.log" && break; sleep 0.1; done
  kill -TERM "$pid"
  for _ in $(seq $((Limit * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  ! kill -0 "$pid" 2>/dev/null || fail "the window did not end on SIGTERM"
  grep -Eq -- "$1" "$work/err.log" || fail "the window did not say \"$1\": $(cat "$work/err.log")"
}

cause() {
  case $1 in
    fifo) echo 'it is a FIFO, not a regular file' ;;
    zero) echo 'it is a character device, not a regular file' ;;
    folder) echo 'it is a folder, not a regular file' ;;
    dangling) echo 'it is a link to nothing' ;;
  esac
}

"$unit_sim" --transcript "$work/unit.txt" >"$work/unit.pty" &
pids+=($!)
for _ in $(seq 300); do [[ -s "$work/unit.pty" ]] && break; sleep 0.1; done
pty=$(head -n 1 "$work/unit.pty")
[[ -n "$pty" ]] || fail "unit-sim printed no pseudo-terminal"
read -r major minor < <(stat -L -c '%t %T' "$pty")
state_file=$XDG_STATE_HOME/bootload/char-$((16#$major))-$((16#$minor)).json
mkdir -p "$work/run" "$XDG_STATE_HOME/bootload"
ini=$work/run/Bootload.Ini
file=$work/run/file
tls='rfc2217s://127.0.0.1:1'

for kind in fifo zero folder dangling; do
  # The settings file reads as no settings: port 1, which maps to nothing.
  bad "$kind" "$ini"
  expect 3 'COM1: no device' "$cli" --port COM1
  expect_window 'COM1'
  rm -rf "$ini"

  # The CA file, named by the port and by the settings file.
  bad "$kind" "$file"
  expect 3 "the CA file $file cannot be used: $(cause "$kind")" "$cli" --port "$tls?ca=$file"
  printf '[Ports]\r\nCOM1=%s?ca=%s\r\n' "$tls" "$file" >"$ini"
  expect_window "the CA file $file cannot be used: $(cause "$kind")"
  printf '[Network]\r\nCA=file\r\n' >"$ini"
  expect 3 "the CA file $file cannot be used: $(cause "$kind")" "$cli" --port "$tls"
  printf '[Network]\r\nCA=file\r\n[Ports]\r\nCOM1=%s\r\n' "$tls" >"$ini"
  expect_window "the CA file $file cannot be used: $(cause "$kind")"
  rm -f "$ini"

  # Kept settings given back by hand, and the file a port's kept settings wait in.
  expect 2 "$file: $(cause "$kind")" "$cli" --restore-settings "$file" --port "$pty"
  bad "$kind" "$state_file"
  if [[ $kind == dangling ]]; then
    expect 0 "$pty: updated" "$cli" --port "$pty"
  else
    expect 0 "the file cannot be read \\($(cause "$kind")\\); they are set aside" \
      "$cli" --port "$pty"
  fi
  rm -rf "$state_file" "$XDG_STATE_HOME"/bootload/*set-aside*

  # The image, the trace and the record.
  expect 2 "Cannot open file $file" "$cli" --port "$pty" --image "$file" --processor 4680 --rm 4001
  case $kind in
    fifo)
      expect 2 'no program is reading that FIFO' "$cli" --port /dev/null --trace "$file"
      expect 2 'no program is reading that FIFO' "$cli" --port /dev/null --json "$file"
      ;;
    folder)
      expect 2 'Is a directory' "$cli" --port /dev/null --trace "$file"
      expect 2 'Is a directory' "$cli" --port /dev/null --json "$file"
      ;;
    *)
      # A device or a new file takes the lines: the run goes on to the port.
      expect 3 'not a serial device' "$cli" --port /dev/null --trace "$file"
      bad "$kind" "$file"
      expect 3 'not a serial device' "$cli" --port /dev/null --json "$file"
      ;;
  esac
  echo "$kind: every file ended within $Limit s with its line"
done
! grep -Eq '^rx 9600 .. (67|68) 00 (18|16|07|12|1D) ' "$work/unit.txt" ||
  fail "settings were written into the unit"
