#!/usr/bin/env bash
# The production station through the real bootload-cli, against unit-sim
# units that are put on and taken off through unit-sim --control, as an
# operator does at a fixture. One scenario a run:
#   sequence  no unit: only the two read requests go out; then an old unit
#             (updated, its record in the file while the station runs, not
#             updated again while it stays on), the next one, a current one
#             (left alone), one in its boot loader (updated) and one that
#             fails (not tried again while it stays on)
#   fixtures  four fixtures at once, one of them through ser2net
#   signals   SIGHUP changes nothing, SIGINT while waiting ends at once with
#             every record written; SIGINT during an update stops it as
#             the plain run stops, with its record, and the status is 1
#   kept      model 1105: a unit left in its boot loader is taken off and
#             another one put on in its boot loader; the first unit's
#             settings are set aside, never written into the second
#
# Usage: station.sh BOOTLOAD-CLI UNIT-SIM IMAGE ARTEFACT-FOLDER SCENARIO
set -euo pipefail

cli=$(realpath "$1")
unit_sim=$(realpath "$2")
image=$(realpath "$3")
artefacts=$4
scenario=$5
mkdir -p "$artefacts"
work=$(mktemp -d)
pids=()
station_pid=
# shellcheck source=scripts/lib/ser2net.sh
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../../scripts/lib/ser2net.sh"

# Generous: a paced-free update takes some seconds, a 1105 unit some more.
limit_s=180

fail() {
  echo "FAIL ($scenario): $*" >&2
  for f in "$work"/out.txt "$work"/err.txt; do [[ -f $f ]] && sed "s|^|${f##*/}: |" "$f" >&2; done
  exit 1
}

finish() {
  local pid
  for pid in "$station_pid" "${pids[@]}"; do
    [[ -n $pid ]] || continue
    kill "$pid" 2>/dev/null || continue
    wait "$pid" 2>/dev/null || true
  done
  mkdir -p "$artefacts/station-$scenario"
  cp "$work"/*.txt "$work"/*.jsonl "$artefacts/station-$scenario/" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

# wait_until WHAT COMMAND...: runs COMMAND until it succeeds, at most limit_s.
wait_until() {
  local what=$1
  shift
  local end=$((SECONDS + limit_s))
  until "$@"; do
    ((SECONDS < end)) || fail "no $what within $limit_s s"
    sleep 0.2
  done
}

# start_unit NAME [OPTION...]: a unit-sim with control FIFO $work/NAME.ctl,
# transcript $work/NAME.txt and memory $work/NAME.bin; sets PTY.
start_unit() {
  local name=$1
  shift
  rm -f "$work/$name.pty"
  "$unit_sim" --control "$work/$name.ctl" --transcript "$work/$name.txt" \
    --memory-out "$work/$name.bin" "$@" >"$work/$name.pty" &
  pids+=($!)
  eval "${name}_pid=$!"
  wait_until "pseudo-terminal from unit-sim $name" test -s "$work/$name.pty"
  PTY=$(head -n 1 "$work/$name.pty")
}

# control NAME COMMAND: takes the unit off (off) or puts a fresh one on (on ...).
control() {
  echo "$2" >"$work/$1.ctl"
}

start_station() {
  (cd "$work" && exec "$cli" --station --json "$work/records.jsonl" --trace "$work/trace.txt" "$@") \
    >"$work/out.txt" 2>"$work/err.txt" &
  station_pid=$!
}

records() {
  [[ -f $work/records.jsonl ]] && wc -l <"$work/records.jsonl" || echo 0
}
has_records() { (($(records) >= $1)); }
# field N FILTER: jq FILTER on record N (1-based).
field() { sed -n "$1p" "$work/records.jsonl" | jq -r "$2"; }
count_lines() {
  if [[ -f $2 ]]; then grep -c -- "$1" "$2" || true; else echo 0; fi
}
lines_at_least() { (($(count_lines "$1" "$2") >= $3)); }

# stop_station SIGNAL: sends it and waits for the station's exit; sets STATUS.
stop_station() {
  kill -"$1" "$station_pid"
  STATUS=0
  wait "$station_pid" || STATUS=$?
  station_pid=
}

memory_equals_image() {
  rm -f "$work/$1.bin"
  kill -USR1 "$(eval echo "\$${1}_pid")"
  wait_until "memory of $1" test -s "$work/$1.bin"
  cmp -s -i 2048 "$work/$1.bin" "$image"
}

# take_off NAME N [PORT]: takes the unit off and waits for the Nth "Waiting
# for a unit" (of PORT, with several ports).
take_off() {
  control "$1" off
  wait_until "wait for the next unit" lines_at_least "^${3:+$3: }Waiting for a unit$" "$work/out.txt" "$2"
}

# polls_after N: waits until the trace holds N more unit information reads.
polls_after() {
  local target=$(($(count_lines " tx 9600 13 03 00 14 00 02 " "$work/trace.txt") + $1))
  wait_until "$1 more poll rounds" lines_at_least " tx 9600 13 03 00 14 00 02 " "$work/trace.txt" "$target"
}

scenario_sequence() {
  start_unit fixture
  control fixture off
  wait_until "unit taken off" grep -q "^unit taken off" "$work/fixture.txt"
  start_station --port "$PTY"
  wait_until "three poll rounds" lines_at_least " tx 115200 " "$work/trace.txt" 3
  local other
  other=$(grep " tx " "$work/trace.txt" | grep -v -e " tx 9600 13 03 00 14 00 02 87 7D$" \
    -e " tx 115200 10 02 08 04 F4 10 03$" || true)
  [[ -z $other ]] || fail "with no unit on the line, other requests went out: $other"
  grep -q "^off-line 9600 13 03 00 14 00 02 87 7D" "$work/fixture.txt" || fail "the unit-sim heard no read"
  echo "no unit: only the unit information read and the boot loader information request"

  control fixture on
  wait_until "record of the old unit" has_records 1
  kill -0 "$station_pid" || fail "the station ended"
  [[ $(field 1 .outcome) == completed ]] || fail "the old unit: $(field 1 .)"
  memory_equals_image fixture || fail "the old unit's memory differs from the image"
  polls_after 4
  (($(records) == 1)) || fail "the unit left on was updated again"
  (($(count_lines "^boot-entry" "$work/fixture.txt") == 1)) || fail "a second boot entry"
  echo "old unit updated, its record in the file while the station runs; left on, left alone"

  take_off fixture 2
  control fixture on
  wait_until "record of the next unit" has_records 2
  [[ $(field 2 .outcome) == completed ]] || fail "the next unit: $(field 2 .)"
  memory_equals_image fixture || fail "the next unit's memory differs from the image"

  take_off fixture 3
  control fixture "on --version 2110"
  wait_until "record of the current unit" has_records 3
  [[ $(field 3 '.outcome + " " + (.unitVersion|tostring)') == "current 2110" ]] ||
    fail "the current unit: $(field 3 .)"
  (($(count_lines "^boot-entry" "$work/fixture.txt") == 2)) || fail "the current unit was touched"

  take_off fixture 4
  control fixture "on --start-in-boot-loader"
  wait_until "record of the unit in its boot loader" has_records 4
  [[ $(field 4 '.outcome + " " + (.unitModel|tostring)') == "completed null" ]] ||
    fail "the unit in its boot loader: $(field 4 .)"
  memory_equals_image fixture || fail "the boot loader unit's memory differs from the image"
  echo "next unit updated, a current one left alone, one in its boot loader updated"

  take_off fixture 5
  control fixture "on --fault no-reply:erase:*"
  wait_until "record of the failing unit" has_records 5
  [[ $(field 5 '.outcome + " " + .failingStep') == "failed erase" ]] || fail "the failing unit: $(field 5 .)"
  polls_after 4
  (($(records) == 5)) || fail "the failed unit was tried again"
  (($(count_lines "^fault no-reply erase" "$work/fixture.txt") == 1)) || fail "a second erase"
  echo "a failed unit left on is not tried again"

  stop_station TERM
  ((STATUS == 1)) || fail "exit status $STATUS after a failed unit, not 1"
  grep -qx "$PTY: unit 5 failed: Erasing Program Memory......Error Detected (3 updated, 1 failed, 1 current)" \
    "$work/out.txt" || fail "no summary line with the tally"
  (($(count_lines "^Waiting for a unit$" "$work/out.txt") == 5)) || fail "the status line repeated into a pipe"
  echo "summary lines with the tally; the status line once per wait; exit status 1"
}

scenario_fixtures() {
  local args=() n
  # The third fixture's line echoes what is sent.
  for n in 1 2 3; do
    start_unit "fixture$n" $( ((n == 3)) && echo --echo)
    args+=(--port "$PTY")
  done
  local echoing=$PTY
  # The first fixture's adapter goes by a name of its own that outlives it.
  ln -s "${args[1]}" "$work/adapter1"
  args[1]=$work/adapter1
  start_unit fixture4
  local tcp
  tcp=$(free_tcp_port)
  printf 'connection: &fixture4\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,9600n81,local\n  options:\n    chardelay: false\n' \
    "$tcp" "$PTY" >"$work/ser2net.yaml"
  start_ser2net "$work/ser2net.yaml" "$work/ser2net.txt" "$tcp" || fail "ser2net does not listen"
  pids+=("$SERVER_PID")
  args+=(--port "rfc2217://127.0.0.1:$tcp")
  start_station "${args[@]}"
  wait_until "four records" has_records 4
  for n in 1 2 3 4; do
    memory_equals_image "fixture$n" || fail "fixture $n's memory differs from the image"
  done
  [[ $(jq -r .outcome "$work/records.jsonl" | sort -u) == completed ]] || fail "not all updated"
  [[ $(jq -r 'select(.lineEchoes) | .port' "$work/records.jsonl") == "$echoing" ]] ||
    fail "the echoing line not on record as the only one"
  echo "four fixtures at once, one through ser2net, one on a line that echoes: all updated"

  # Unplugged: the name goes first, so that no other program's pseudo-terminal
  # that takes the freed number is reached through it.
  rm "$work/adapter1"
  kill -KILL "$(eval echo "\$fixture1_pid")"
  wait_until "the lost port said" grep -q "^$work/adapter1: port lost (" "$work/out.txt"
  take_off fixture4 2 "rfc2217://127.0.0.1:$tcp"
  control fixture4 on
  wait_until "record of the next unit on the network fixture" has_records 5
  [[ $(field 5 '.port + " " + .outcome') == "rfc2217://127.0.0.1:$tcp completed" ]] ||
    fail "the next unit on the network fixture: $(field 5 .)"
  memory_equals_image fixture4 || fail "the next network unit's memory differs from the image"
  echo "the adapter of one fixture lost, the others go on: the network fixture's next unit updated"

  start_unit fixture1
  ln -s "$PTY" "$work/adapter1"
  wait_until "record of the unit on the adapter that came back" has_records 6
  [[ $(field 6 '.port + " " + .outcome') == "$work/adapter1 completed" ]] ||
    fail "the unit on the adapter that came back: $(field 6 .)"
  memory_equals_image fixture1 || fail "its memory differs from the image"
  (($(count_lines ": port lost (" "$work/out.txt") == 1)) || fail "the lost port said more than once"
  (($(count_lines "^bootload-cli: $echoing: the line echoes" "$work/err.txt") == 1)) ||
    fail "the echoing line not said exactly once over the station's rounds: $(cat "$work/err.txt")"
  grep -qx "$work/adapter1: port back" "$work/out.txt" || fail "the port's return not said"
  stop_station INT
  ((STATUS == 0)) || fail "exit status $STATUS, not 0"
  (($(records) == 6)) || fail "records lost"
  echo "the adapter back under its name: its unit updated; SIGINT: exit 0, six records"
}

# Rows the unit put on last has been sent.
rows_of_last_unit_at_least() {
  (($(tac "$work/fixture.txt" | sed '/^start model/q' | grep -c "^rx 115200 10 02 02 ") >= $1))
}

scenario_signals() {
  local status=0
  "$cli" --station --info --port "$work/ttyUSB9" >/dev/null 2>&1 || status=$?
  ((status == 2)) || fail "--station --info: exit status $status, not 2"
  status=0
  "$cli" --station --port "$work/ttyUSB9" >"$work/out.txt" 2>"$work/err.txt" || status=$?
  ((status == 3)) || fail "a port that does not open at the start: exit status $status, not 3"
  grep -q "^$work/ttyUSB9: port not opened: $work/ttyUSB9: no such device" "$work/out.txt" ||
    fail "the port that did not open is not said"
  echo "a bad command line is 2, a port that does not open at the start 3"

  start_unit fixture
  start_station --port "$PTY"
  wait_until "record" has_records 1
  take_off fixture 2
  kill -HUP "$station_pid"
  polls_after 2
  kill -0 "$station_pid" || fail "SIGHUP ended the station"
  stop_station INT
  ((STATUS == 0)) || fail "SIGINT while waiting: exit status $STATUS, not 0"
  (($(records) == 1)) || fail "SIGINT while waiting: records lost"
  echo "SIGHUP changes nothing; SIGINT while waiting: exit 0, the record in the file"

  rm -f "$work/records.jsonl"
  control fixture "on --row-ms 20"
  wait_until "the slow unit on" lines_at_least "^start model" "$work/fixture.txt" 2
  start_station --port "$PTY"
  wait_until "the rows under way" rows_of_last_unit_at_least 50
  stop_station INT
  ((STATUS == 1)) || fail "SIGINT during an update: exit status $STATUS, not 1"
  [[ $(field 1 '.outcome + " " + .failingStep') == "stopped send" ]] || fail "the stopped unit: $(field 1 .)"
  grep -q "unit 1 stopped by INT at \"Sending New Program Data.*the unit is left in its boot loader" \
    "$work/out.txt" || fail "no summary of the stop"
  echo "SIGINT during an update: stopped after the exchange under way, with its record; exit 1"
}

scenario_kept() {
  export XDG_STATE_HOME=$work/state
  start_unit fixture --model 1105 --version 109 --fault no-reply:program:40
  local store
  # Named after the pseudo-terminal's device number.
  store=$XDG_STATE_HOME/bootload/char-$((16#$(stat -c %t "$PTY")))-$((16#$(stat -c %T "$PTY"))).json
  start_station --port "$PTY" --image "$image" --processor 4680 --rm 1105
  wait_until "record of the unit that failed" has_records 1
  [[ $(field 1 '.outcome + " " + .keptSettings.state + " " + .keptSettings.file') == "failed pending $store" ]] ||
    fail "the first unit: $(field 1 .)"
  [[ -f $store ]] || fail "its settings are not kept in $store"

  take_off fixture 2
  control fixture "on --start-in-boot-loader"
  wait_until "record of the second unit" has_records 2
  local aside
  aside=$(field 2 .keptSettingsSetAside)
  [[ $(field 2 .outcome) == completed && -f $aside && ! -f $store ]] ||
    fail "the second unit: $(field 2 .)"
  [[ $(jq -c '[.unitVersion, .slave17]' "$aside") == '[109,[1724]]' ]] ||
    fail "the set-aside file does not hold the first unit's settings: $(cat "$aside")"
  grep -q "this unit was put on after the port was seen without a unit; they are set aside in $aside" \
    "$work/out.txt" || fail "the log does not say why"
  sed -n '/^unit taken off/,$p' "$work/fixture.txt" | grep -qE "^rx 9600 .. (67|68) " &&
    fail "settings were written into the second unit"
  stop_station INT
  ((STATUS == 1)) || fail "exit status $STATUS, not 1"
  echo "model 1105: the first unit's settings set aside, never written into the second"
}

"scenario_$scenario"
