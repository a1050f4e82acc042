# shellcheck shell=bash
# A real ser2net on the loopback interface, for the network port tests and
# the benchmark.

# free_tcp_port: a TCP port of the loopback interface that is free now.
free_tcp_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_ser2net CONFIG LOG PORT...: ser2net in the foreground with the YAML
# file CONFIG, its output added to LOG; returns once it listens on every TCP
# port given, 1 when one is not listened on within 10 s. Sets SERVER_PID.
start_ser2net() {
  local config=$1 log=$2 port
  shift 2
  ser2net -n -d -u -c "$config" -P "${config%.yaml}.pid" >>"$log" 2>&1 &
  # shellcheck disable=SC2034  # SERVER_PID is read by the caller
  SERVER_PID=$!
  for port in "$@"; do
    for _ in $(seq 100); do
      ss -Hltn "sport = :$port" | grep -q . && break
      sleep 0.1
    done
    ss -Hltn "sport = :$port" | grep -q . || return 1
  done
}
