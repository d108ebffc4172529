#!/usr/bin/env bash
# The peak memory of every command that reads a drawing, against the
# drawing's size: info, the content export to standard output and to a
# file, the CSV export to standard output and to a file, edit (saved to
# another file), import of a CSV that changes every attribute, and render.
# Each figure is /usr/bin/time's maximum resident set of one run.
#
#   bench/peak_memory.sh DRAWING...       (paths without spaces)
#
# Large drawings: bench/make_big_drawing.py OUT.dxf INSERTS (four attributes
# to an insert). Uses the program in build/ (or $TESSILUX_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
program="${TESSILUX_BUILD_DIR:-$here/build}/tessilux"
if [ ! -x "$program" ]; then echo "peak_memory: no $program; build it first" >&2; exit 2; fi
if [ ! -x /usr/bin/time ]; then echo "peak_memory: needs /usr/bin/time (apt-get install time)" >&2; exit 2; fi
if [ $# -eq 0 ]; then echo "usage: bench/peak_memory.sh DRAWING..." >&2; exit 2; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf "%-28s %-12s %10s %8s\n" drawing command "peak MB" "x size"
for drawing in "$@"; do
  size=$(stat -c %s "$drawing")
  # A CSV that changes every attribute's value, for import.
  "$program" export "$drawing" --format csv -o "$work/in.csv"
  /usr/bin/python3 - "$work/in.csv" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="", encoding="utf-8")))
with open(sys.argv[1], "w", newline="", encoding="utf-8") as f:
    w = csv.writer(f)
    w.writerow(rows[0])
    value = rows[0].index("AttributeValue")
    for row in rows[1:]:
        row[value] += " X"
        w.writerow(row)
PY
  declare -A commands=(
    [info]="info $drawing"
    [content]="export $drawing --format content"
    [content-o]="export $drawing --format content -o $work/out.xml"
    [csv]="export $drawing --format csv"
    [csv-o]="export $drawing --format csv -o $work/out.csv"
    [edit]="edit $drawing -o $work/out.dxf"
    [import]="import $drawing $work/in.csv -o $work/imported.dxf"
    [render]="render $drawing -o $work/out.png"
  )
  for name in info content content-o csv csv-o edit import render; do
    rm -f "$work"/out.* "$work/imported.dxf"
    # shellcheck disable=SC2086
    /usr/bin/time -o "$work/time" -f %M "$program" ${commands[$name]} >/dev/null 2>"$work/err" ||
      { [ "$name" = import ] || { echo "peak_memory: $name failed: $(cat "$work/err")" >&2; exit 1; }; }
    kb=$(tail -1 "$work/time")
    awk -v d="$(basename "$drawing")" -v n="$name" -v kb="$kb" -v s="$size" \
      'BEGIN { printf "%-28s %-12s %10.1f %8.2f\n", d, n, kb / 1024, kb * 1024 / s }'
  done
done
