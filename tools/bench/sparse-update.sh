#!/usr/bin/env bash
# The paced update through bootload-cli of a sparse Intel HEX file (the shipped
# image cropped by srec_cat to a program from 0x0800, one partly filled row and
# a block of constants near the top) and of the raw shipped image, alternately
# in one run against one unit-sim. Prints each run's rows sent, wall time and
# program-data phase (from the wire trace: the first row request sent to the
# last row reply received), then the medians and the sparse update's figures
# expected from the raw one's, scaled by the rows sent.
#
# Usage: sparse-update.sh BOOTLOAD-CLI UNIT-SIM [RUNS]   (3 runs of each)
set -euo pipefail

cli=$(realpath "$1")
unit_sim=$(realpath "$2")
runs=${3:-3}
product=$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../../products/md-5
work=$(mktemp -d)
unit_pid=

stop() {
  [[ -n "$1" ]] || return 0
  kill "$1" 2>/dev/null || return 0
  wait "$1" 2>/dev/null || true
}

finish() {
  stop "$unit_pid"
  rm -rf "$work"
}
trap finish EXIT

command -v srec_cat >/dev/null || {
  echo "srec_cat is missing (Debian package srecord)" >&2
  exit 1
}

# word FILE: the little-endian 16-bit number a product file holds.
word() { od -An -tu1 -N2 "$1" | awk '{print $1 + 256 * $2}'; }
processor=$(word "$product/PROC_NUM")
rm_number=$(word "$product/RM_NUM")
raw=$work/firmware.bin
sparse=$work/sparse.hex
cp "$product/HFile" "$raw"
srec_cat "$raw" -binary -crop 0x0800 0x1000 0x2040 0x2050 0xF000 0xF100 \
  -o "$sparse" -intel -address-length=4

"$unit_sim" --pace --transcript /dev/null >"$work/unit.pty" &
unit_pid=$!
for _ in $(seq 300); do [[ -s "$work/unit.pty" ]] && break; sleep 0.1; done
pty=$(head -n 1 "$work/unit.pty")

# update FILE: one update of FILE; prints "ROWS WALL_S PHASE_S LINE_S", LINE_S
# being the program-data frames' own time on the line (10 bits a byte).
update() {
  local start end rows
  rm -f "$work/run.json" "$work/run.trace"
  start=$(date +%s%N)
  "$cli" --port "$pty" --image "$1" --processor "$processor" --rm "$rm_number" --quiet \
    --json "$work/run.json" --trace "$work/run.trace" >"$work/run.log" 2>&1 || {
    echo "the update of $1 failed: $(cat "$work/run.log")" >&2
    exit 1
  }
  end=$(date +%s%N)
  rows=$(grep -o '"rowsSent":[0-9]*' "$work/run.json" | cut -d: -f2)
  # Trace lines: "MS DEVICE tx|rx SPEED BYTES..."; a row request and its reply
  # are the boot frames (10 02) of command 02.
  awk -v rows="$rows" -v wall="$(((end - start) / 1000000))" '
    ($3 == "tx" || $3 == "rx") && $5 == "10" && $6 == "02" && $7 == "02" {
      if (first == "") first = $1
      if ($3 == "rx") last = $1
      line += (NF - 4) * 10 / $4
    }
    END {
      if (first == "" || last == "") exit 1
      printf "%d %.3f %.3f %.3f\n", rows, wall / 1000, (last - first) / 1000, line
    }' "$work/run.trace" || {
    echo "the trace of the update of $1 holds no row exchange" >&2
    exit 1
  }
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

echo "paced update through bootload-cli, raw image and sparse Intel HEX file, $runs runs each"
raw_runs=()
sparse_runs=()
for run in $(seq "$runs"); do
  raw_runs+=("$(update "$raw")")
  sparse_runs+=("$(update "$sparse")")
  for kind in raw sparse; do
    if [[ $kind == raw ]]; then figures=${raw_runs[-1]}; else figures=${sparse_runs[-1]}; fi
    read -r rows total phase line <<<"$figures"
    printf 'run %d %-6s %3d rows sent: total %6.3f s, program data %6.3f s (frames on the line %6.3f s)\n' \
      "$run" "$kind" "$rows" "$total" "$phase" "$line"
  done
done

# column N RUNS...: the median of field N.
column() {
  local n=$1
  shift
  printf '%s\n' "$@" | awk -v n="$n" '{print $n}' | median
}
raw_rows=$(column 1 "${raw_runs[@]}")
sparse_rows=$(column 1 "${sparse_runs[@]}")
awk -v rr="$raw_rows" -v sr="$sparse_rows" \
  -v rt="$(column 2 "${raw_runs[@]}")" -v st="$(column 2 "${sparse_runs[@]}")" \
  -v rp="$(column 3 "${raw_runs[@]}")" -v sp="$(column 3 "${sparse_runs[@]}")" \
  -v rl="$(column 4 "${raw_runs[@]}")" -v sl="$(column 4 "${sparse_runs[@]}")" 'BEGIN {
    share = sr / rr
    printf "median raw:    %3d rows, total %6.3f s, program data %6.3f s (%.2f ms a row)\n", \
      rr, rt, rp, 1000 * rp / rr
    printf "median sparse: %3d rows, total %6.3f s, program data %6.3f s (%.2f ms a row)\n", \
      sr, st, sp, 1000 * sp / sr
    printf "rows sent: %d of %d (%.1f%%)\n", sr, rr, 100 * share
    printf "sparse program data: measured %.3f s, expected %.3f s from the rows (%.1f%% of raw)\n", \
      sp, rp * share, 100 * sp / rp
    printf "sparse frames on the line: measured %.3f s, expected %.3f s from the rows\n", \
      sl, rl * share
    printf "sparse total: measured %.3f s, expected %.3f s (raw total less the rows not sent)\n", \
      st, rt - rp + rp * share
  }'
