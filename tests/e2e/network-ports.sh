#!/usr/bin/env bash
# Network ports through a real ser2net on the loopback interface, with
# bootload-cli and unit-sim: a whole update by RFC 2217 and one over TLS
# (certificates made here with openssl), one whose far end echoes, four units behind one server at
# once, the server stopped in the middle of programming and a second run
# after it is back, and the ports that must be refused (a host that does not
# resolve, a closed port, a port another client holds, a raw TCP port, a
# certificate from another CA), each with its reason, exit status 3 and
# nothing sent to the unit.
#
# Usage: network-ports.sh BOOTLOAD-CLI UNIT-SIM IMAGE ARTEFACT-FOLDER
set -euo pipefail
# Freed memory is overwritten at once, so that library state used after it
# was freed fails a run here rather than now and then.
export GLIBC_TUNABLES=glibc.malloc.tcache_count=0:glibc.malloc.perturb=165

cli=$(realpath "$1")
unit_sim=$(realpath "$2")
image=$(realpath "$3")
artefacts=$4
mkdir -p "$artefacts"
work=$(mktemp -d)
pids=()
# shellcheck source=scripts/lib/ser2net.sh
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../../scripts/lib/ser2net.sh"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

stop() {
  local pid=$1
  kill "$pid" 2>/dev/null || return 0
  wait "$pid" 2>/dev/null || true
}

finish() {
  local pid
  for pid in "${pids[@]}"; do stop "$pid"; done
  cp "$work"/*.log "$artefacts/" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

# start_unit NAME [unit-sim options...]: a simulated unit whose transcript
# and memory are $work/NAME.txt and $work/NAME.bin; sets PTY to its
# pseudo-terminal.
start_unit() {
  "$unit_sim" --transcript "$work/$1.txt" --memory-out "$work/$1.bin" "${@:2}" >"$work/$1.pty" &
  pids+=($!)
  eval "${1}_pid=$!"
  for _ in $(seq 300); do [[ -s "$work/$1.pty" ]] && break; sleep 0.1; done
  PTY=$(head -n 1 "$work/$1.pty")
  [[ -n "$PTY" ]] || fail "unit-sim $1 printed no pseudo-terminal"
}

# connection ACCEPTER PTY: one connection of a ser2net.yaml. The line starts
# at 19200 bit/s, a speed the unit never listens at: it hears only what the
# program set by RFC 2217.
connection() {
  printf 'connection: &c%s\n  accepter: %s\n  connector: serialdev,%s,19200n81,local\n' \
    "$RANDOM$RANDOM" "$1" "$2"
}

# start_server NAME PORT...: ser2net with $work/NAME.yaml, waiting until it
# listens on every TCP port given; sets SERVER_PID.
start_server() {
  local name=$1
  shift
  start_ser2net "$work/$name.yaml" "$work/$name.log" "$@" || fail "ser2net $name does not listen on $*"
  pids+=("$SERVER_PID")
}

# memory_of NAME: asks the unit for its memory and checks it against the image.
memory_equals_image() {
  rm -f "$work/$1.bin"
  kill -USR1 "$(eval echo "\$${1}_pid")"
  for _ in $(seq 100); do [[ -s "$work/$1.bin" ]] && break; sleep 0.1; done
  cmp -s -i 2048 "$work/$1.bin" "$image"
}

# both_speeds NAME: the unit heard its firmware at 9600 bit/s and its boot
# loader at 115200, both set by RFC 2217 over the line's 19200.
both_speeds() {
  grep -q '^rx 9600 ' "$work/$1.txt" && grep -q '^rx 115200 ' "$work/$1.txt"
}

run_cli() {
  local status=0
  (cd "$work" && "$cli" "$@") >"$work/out.log" 2>"$work/err.log" || status=$?
  echo "$status"
}

# --- a whole update by RFC 2217, and one over TLS --------------------------
start_unit plain
plain_port=$(free_tcp_port)
connection "telnet(rfc2217),tcp,127.0.0.1,$plain_port" "$PTY" >"$work/plain.yaml"
start_server plain "$plain_port"
status=$(run_cli --port "rfc2217://127.0.0.1:$plain_port" --quiet)
((status == 0)) || fail "update by RFC 2217 ended with $status: $(cat "$work/err.log" "$work/out.log")"
memory_equals_image plain || fail "the unit's memory differs from the image after the RFC 2217 update"
both_speeds plain || fail "the speed changes did not reach the unit: $(grep -v '^[rt]x' "$work/plain.txt")"
echo "RFC 2217: updated, memory equals the image, both speed changes applied at the unit"

(
  cd "$work"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=BenchCA
  openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2
  openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem -days 2 -subj /CN=OtherCA
) >"$work/openssl.log" 2>&1 || fail "openssl could not make the certificates"
start_unit tls
tls_port=$(free_tcp_port)
connection "telnet(rfc2217),ssl(key=$work/server.key,cert=$work/server.pem),tcp,127.0.0.1,$tls_port" \
  "$PTY" >"$work/tls.yaml"
start_server tls "$tls_port"
status=$(run_cli --port "rfc2217s://127.0.0.1:$tls_port?ca=$work/ca.pem" --quiet)
((status == 0)) || fail "update over TLS ended with $status: $(cat "$work/err.log")"
memory_equals_image tls || fail "the unit's memory differs from the image after the TLS update"
both_speeds tls || fail "the speed changes did not reach the unit over TLS"
echo "TLS: updated, memory equals the image"

# --- a far end that echoes what is sent ----------------------------------
start_unit echoing --echo
echo_port=$(free_tcp_port)
connection "telnet(rfc2217),tcp,127.0.0.1,$echo_port" "$PTY" >"$work/echoing.yaml"
start_server echoing "$echo_port"
status=$(run_cli --port "rfc2217://127.0.0.1:$echo_port" --quiet --json "$work/echoing.json")
((status == 0)) || fail "update through an echoing far end ended with $status: $(cat "$work/err.log")"
memory_equals_image echoing || fail "the unit's memory differs from the image after the echoing update"
grep -q '"lineEchoes":true' "$work/echoing.json" || fail "the record does not say the line echoes"
grep -q ': the line echoes what is sent' "$work/err.log" || fail "nothing said the line echoes"
echo "echoing far end: updated, memory equals the image, the echo found and said"

# --- four units behind one server, at once ---------------------------------
: >"$work/four.yaml"
ports=()
args=()
for n in 1 2 3 4; do
  start_unit "unit$n"
  ports+=("$(free_tcp_port)")
  connection "telnet(rfc2217),tcp,127.0.0.1,${ports[-1]}" "$PTY" >>"$work/four.yaml"
  args+=(--port "rfc2217://127.0.0.1:${ports[-1]}")
done
start_server four "${ports[@]}"
status=$(run_cli "${args[@]}" --quiet)
((status == 0)) || fail "four units ended with $status: $(cat "$work/out.log")"
for n in 1 2 3 4; do
  memory_equals_image "unit$n" || fail "unit $n's memory differs from the image"
done
echo "four units behind one server: all updated"

# --- the server stopped in the middle of programming -----------------------
start_unit lost
lost_port=$(free_tcp_port)
connection "telnet(rfc2217),tcp,127.0.0.1,$lost_port" "$PTY" >"$work/lost.yaml"
start_server lost "$lost_port"
(cd "$work" && exec "$cli" --port "rfc2217://127.0.0.1:$lost_port") >"$work/lost-run.log" 2>&1 &
cli_pid=$!
pids+=("$cli_pid")
for _ in $(seq 600); do
  (($(grep -c '^rx 115200 10 02 02 02 ' "$work/lost.txt" || true) >= 40)) && break
  sleep 0.1
done
stop "$SERVER_PID"
stopped_at=$(date +%s%N)
status=0
wait "$cli_pid" || status=$?
taken_ms=$((($(date +%s%N) - stopped_at) / 1000000))
((status == 1)) || fail "the run with its server stopped ended with $status: $(tail -3 "$work/lost-run.log")"
grep -q 'Error' "$work/lost-run.log" || fail "no error line: $(tail -3 "$work/lost-run.log")"
((taken_ms < 30000)) || fail "the run took $taken_ms ms to end after the server stopped"
echo "server stopped mid-programming: exit 1 ${taken_ms} ms later, on \"$(grep 'Error' "$work/lost-run.log" | tail -1)\""
start_server lost "$lost_port"
status=$(run_cli --port "rfc2217://127.0.0.1:$lost_port" --quiet)
((status == 0)) || fail "the run after the server came back ended with $status: $(cat "$work/out.log")"
memory_equals_image lost || fail "the unit's memory differs from the image after the second run"
echo "server back: the second run completed the unit"

# --- refusals: exit 3, the reason, nothing sent ----------------------------
raw_port=$(free_tcp_port)
telnet_port=$(free_tcp_port)
held_port=$(free_tcp_port)
start_unit quiet
connection "tcp,127.0.0.1,$raw_port" "$PTY" >"$work/quiet.yaml"
start_unit telnet
connection "telnet,tcp,127.0.0.1,$telnet_port" "$PTY" >>"$work/quiet.yaml"
start_unit held
connection "telnet(rfc2217),tcp,127.0.0.1,$held_port" "$PTY" >>"$work/quiet.yaml"
start_server quiet "$raw_port" "$telnet_port" "$held_port"
: >"$work/holder.log"
python3 -c "
import socket, sys, time
held = socket.create_connection(('127.0.0.1', $held_port))
print('held', flush=True)
time.sleep(600)" >"$work/holder.log" &
pids+=($!)
for _ in $(seq 100); do grep -q held "$work/holder.log" && break; sleep 0.1; done

# refused EXPECTED-REASON PORT [COMMAND-PREFIX...]
refused() {
  local reason=$1 port=$2
  shift 2
  local status=0
  (cd "$work" && "$@" "$cli" --port "$port" --json refused.json) >"$work/out.log" \
    2>"$work/err.log" || status=$?
  ((status == 3)) || fail "$port ended with $status, not 3: $(cat "$work/err.log")"
  grep -q -- "$reason" "$work/err.log" || fail "$port: \"$reason\" not said: $(cat "$work/err.log")"
  grep -q '"bytesSent":0' "$work/refused.json" || fail "$port: bytes were sent"
  echo "refused $port: $(head -n 1 "$work/err.log")"
}

# A name that no resolver is asked about: inside a network namespace of its
# own nothing answers; where none can be made, a label longer than DNS
# allows is refused by the resolver library itself.
if unshare -n true 2>/dev/null; then
  refused 'not found' "rfc2217://bench-board.invalid:$plain_port" unshare -n
else
  refused 'not found' "rfc2217://$(printf 'x%.0s' {1..70}).invalid:$plain_port"
fi
refused 'connection refused' "rfc2217://127.0.0.1:$(free_tcp_port)"
refused 'another client has this port' "rfc2217://127.0.0.1:$held_port"
refused 'did not answer the Telnet negotiation in time' "rfc2217://127.0.0.1:$raw_port"
refused 'does not offer RFC 2217' "rfc2217://127.0.0.1:$telnet_port"
refused 'certificate did not verify' "rfc2217s://127.0.0.1:$tls_port?ca=$work/other.pem"
! grep -q '^rx ' "$work/quiet.txt" "$work/telnet.txt" "$work/held.txt" || fail "a unit heard a frame"
echo "no frame reached the unit behind the refused ports"

status=$(run_cli --port "ftp://127.0.0.1:$plain_port")
((status == 2)) || fail "another scheme ended with $status, not 2"
grep -q 'unknown scheme' "$work/err.log" || fail "another scheme: $(cat "$work/err.log")"
echo "another scheme: exit 2, $(head -n 1 "$work/err.log")"
