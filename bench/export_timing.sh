#!/usr/bin/env bash
# Times "tessilux export" of a large drawing: the content document against
# the CSV of the block attributes (content document -> flat document ->
# recordset -> CSV), each run several times; prints the fastest and the
# median wall and CPU time of each.
#
# Usage: bench/export_timing.sh [BUILD_DIR] [RUNS]
# The drawing is TESSILUX_BENCH_DRAWING, or 100000 block attributes written
# by make_pipeline_drawing.py into the temporary folder on the first run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${2:-7}
program=$build/tessilux
drawing=${TESSILUX_BENCH_DRAWING:-${TMPDIR:-/tmp}/tessilux-bench-100000.dxf}
if [ ! -f "$drawing" ]; then
  echo "writing $drawing ..." >&2
  /usr/bin/python3 "$here/make_pipeline_drawing.py" "$drawing" 100000
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT

measure() {
  local label=$1; shift
  local walls=() cpus=()
  for _ in $(seq "$runs"); do
    local t
    t=$( { /usr/bin/time -f "%e %U %S" "$program" export "$drawing" "$@" -o "$out" >/dev/null; } 2>&1 | tail -1)
    read -r wall user sys <<<"$t"
    walls+=("$wall")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')")
  done
  local sw sc
  sw=$(printf '%s\n' "${walls[@]}" | sort -n)
  sc=$(printf '%s\n' "${cpus[@]}" | sort -n)
  printf '%-10s wall: fastest %s s, median %s s   cpu: fastest %s s, median %s s\n' "$label" \
    "$(echo "$sw" | head -1)" "$(echo "$sw" | sed -n "$(( (runs + 1) / 2 ))p")" \
    "$(echo "$sc" | head -1)" "$(echo "$sc" | sed -n "$(( (runs + 1) / 2 ))p")"
}

measure content
measure csv --format csv
