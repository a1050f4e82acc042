# Shell helpers for running the program under a private X server.
# Source this file; it defines functions only.

# start_xvfb FOLDER: starts Xvfb on a free display, writing its display number
# into FOLDER. Sets XVFB_PID and exports DISPLAY. The server never resets:
# by default it does when its last client leaves, and a program started
# again at that moment finds no display.
start_xvfb() {
  local folder=$1 number_file="$1/xvfb-display" deadline=$((SECONDS + 30))
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$number_file" >"$folder/xvfb.log" 2>&1 &
  XVFB_PID=$!
  # Xvfb writes its display number once it listens; a client is let in only
  # once the server answers, which on a loaded machine may come later.
  while ((SECONDS < deadline)); do
    if grep -qx '[0-9][0-9]*' "$number_file" 2>/dev/null &&
      xdpyinfo -display ":$(<"$number_file")" >/dev/null 2>&1; then
      DISPLAY=":$(<"$number_file")"
      export DISPLAY
      return 0
    fi
    if ! kill -0 "$XVFB_PID" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  echo "Xvfb did not start; its log follows:" >&2
  cat "$folder/xvfb.log" >&2
  return 1
}

# stop_process PID: ends that one process (if it still runs) and reaps it.
stop_process() {
  local pid=$1
  if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
}

# wait_for_exit PID SECONDS: waits for a child of this shell to end and sets
# EXIT_STATUS to its exit status. Returns 1 if it still runs after SECONDS.
# (Call it directly, not in $(...): a subshell cannot reap the child.)
# shellcheck disable=SC2034  # EXIT_STATUS is read by the caller
wait_for_exit() {
  local pid=$1 deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      EXIT_STATUS=0
      wait "$pid" || EXIT_STATUS=$?
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# wait_for_window PID TITLE SECONDS: waits until the program PID shows a
# window titled exactly TITLE and sets WINDOW to its id. Returns 1 when the
# program ends first or SECONDS pass.
# shellcheck disable=SC2034  # WINDOW is read by the caller
wait_for_window() {
  local pid=$1 title=$2 deadline=$((SECONDS + $3)) found
  while ((SECONDS < deadline)); do
    if found=$(xdotool search --name "^${title}\$" 2>/dev/null) && [[ -n "$found" ]]; then
      WINDOW=${found%%$'\n'*}
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "the program ended before its window '$title' appeared" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "no window titled '$title' within $3 s" >&2
  return 1
}

# send_close_request WINDOW: asks the window to close, as a window manager's
# close box does (WM_DELETE_WINDOW).
send_close_request() {
  python3 "${BASH_SOURCE[0]%/*}/send-close-request.py" "$1"
}
