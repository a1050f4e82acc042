# Runs one whole update of the real program against the simulated unit under
# the current X display: starts unit-sim, maps COM1 to it in the working
# folder's Bootload.Ini, starts bootload there, presses Start and waits for
# the unit to be restarted. Needs xserver.sh. Sets UNIT_PID, BOOTLOAD_PID,
# WINDOW, TRANSCRIPT and MEMORY.

readonly UpdateTitle='Multi-Drop Controller MD-5 v2.110'
readonly ClientAreaHeight=196
# The Start button's centre in the client area.
readonly StartX=260
readonly StartY=144

# start_update_run BOOTLOAD UNIT_SIM FOLDER [unit-sim options...]; with
# START_CLICK=no the user presses Start.
start_update_run() {
  local bootload=$1 unit_sim=$2 folder=$3
  shift 3
  TRANSCRIPT="$folder/unit-transcript.txt"
  MEMORY="$folder/unit-memory.bin"
  local port_file="$folder/unit-port.txt"
  rm -f "$TRANSCRIPT" "$MEMORY" "$port_file"
  "$unit_sim" --transcript "$TRANSCRIPT" --memory-out "$MEMORY" "$@" >"$port_file" &
  UNIT_PID=$!
  local waited=0
  until [[ -s "$port_file" ]]; do
    sleep 0.1
    ((++waited < 300)) || { echo "unit-sim printed no device path" >&2; return 1; }
  done
  # A caller's PORT_HOOK may put something in front of the unit (a serial
  # device server) and set PORT_NAME to what COM1 then names.
  PORT_NAME=$(head -n 1 "$port_file")
  [[ -z "${PORT_HOOK:-}" ]] || "$PORT_HOOK" "$PORT_NAME" || return 1
  printf '[Ports]\r\nCOM1=%s\r\n' "$PORT_NAME" >"$folder/Bootload.Ini"

  (cd "$folder" && exec env QT_QPA_PLATFORM=xcb "$bootload") >"$folder/bootload.log" 2>&1 &
  BOOTLOAD_PID=$!
  wait_for_window "$BOOTLOAD_PID" "$UpdateTitle" 60 || return 1

  [[ "${START_CLICK:-yes}" == yes ]] || return 0
  press_start
}

# press_start: clicks Start in the window WINDOW.
press_start() {
  local WIDTH HEIGHT X Y SCREEN
  eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
  local menu=$((HEIGHT - ClientAreaHeight))
  xdotool mousemove --window "$WINDOW" "$StartX" $((menu + StartY)) click 1
}

# wait_for_update_end LIMIT_SECONDS: waits until the unit has been restarted
# and the program has had time to write its last lines.
wait_for_update_end() {
  local limit=$1 waited=0
  until grep -q '^restart ' "$TRANSCRIPT" 2>/dev/null; do
    sleep 0.5
    ((++waited < limit * 2)) || { echo "the unit was not restarted within $limit s" >&2; return 1; }
  done
  sleep 3
}
