#!/usr/bin/env bash
# The paced update through bootload-cli, directly on a pseudo-terminal and
# through ser2net by RFC 2217 on the loopback interface, alternately in one
# run on the same machine; prints each run's wall time and the ratio of the
# medians (goal: at most 1.05).
#
# Usage: network-update.sh BOOTLOAD-CLI UNIT-SIM [RUNS]   (3 runs of each)
set -euo pipefail

cli=$(realpath "$1")
unit_sim=$(realpath "$2")
runs=${3:-3}
work=$(mktemp -d)
unit_pid=
SERVER_PID=
# shellcheck source=scripts/lib/ser2net.sh
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../../scripts/lib/ser2net.sh"

stop() {
  [[ -n "$1" ]] || return 0
  kill "$1" 2>/dev/null || return 0
  wait "$1" 2>/dev/null || true
}

finish() {
  stop "$SERVER_PID"
  stop "$unit_pid"
  rm -rf "$work"
}
trap finish EXIT

"$unit_sim" --pace --transcript /dev/null >"$work/unit.pty" &
unit_pid=$!
for _ in $(seq 300); do [[ -s "$work/unit.pty" ]] && break; sleep 0.1; done
pty=$(head -n 1 "$work/unit.pty")
port=$(free_tcp_port)
printf 'connection: &bench\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,9600n81,local\n' \
  "$port" "$pty" >"$work/ser2net.yaml"
printf "  options:\n    chardelay: false\n" >>"$work/ser2net.yaml"
start_ser2net "$work/ser2net.yaml" "$work/ser2net.log" "$port" || {
  echo "ser2net does not listen on $port: $(cat "$work/ser2net.log")" >&2
  exit 1
}

# timed PORT: one update's wall time in seconds.
timed() {
  local start end
  start=$(date +%s%N)
  "$cli" --port "$1" --quiet >"$work/run.log" 2>&1 || {
    echo "the update on $1 failed: $(cat "$work/run.log")" >&2
    exit 1
  }
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / 1000000000" | bc
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

echo "paced update of the shipped product through bootload-cli, $runs runs each"
direct=()
network=()
for run in $(seq "$runs"); do
  # ser2net holds the pseudo-terminal only while a client is connected.
  direct+=("$(timed "$pty")")
  network+=("$(timed "rfc2217://127.0.0.1:$port")")
  echo "run $run: direct ${direct[-1]} s, through ser2net ${network[-1]} s"
done
d=$(printf '%s\n' "${direct[@]}" | median)
n=$(printf '%s\n' "${network[@]}" | median)
ratio=$(echo "scale=3; $n / $d" | bc)
verdict=$(echo "$ratio <= 1.05" | bc)
echo "median: direct $d s, through ser2net $n s: ratio $ratio (goal at most 1.05: $([[ $verdict == 1 ]] && echo met || echo missed))"
