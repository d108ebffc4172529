#!/usr/bin/env bash
# Times `tessilux info` against `wc -l` on the same drawing, and measures the
# peak memory of `tessilux info` and `tessilux export --format content`
# against the file's size, on two drawings: 100,000 block attributes (about
# 26 MB, bench/make_big_drawing.py) and a million entities (about 90 MB,
# bench/make_million_entities.py). Each command runs RUNS times in turn
# (A B A B ...) after one warm-up run; the figures are the medians of
# /usr/bin/time -v: wall time, CPU time (user + system), peak memory.
#
#   bench/info_vs_wc.sh [RUNS]        default 7
#
# Uses the program in build/ (or $TESSILUX_BUILD_DIR); needs /usr/bin/time
# (Debian package "time") and python3-ezdxf.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
program="${TESSILUX_BUILD_DIR:-$here/build}/tessilux"
python=/usr/bin/python3

if [ ! -x "$program" ]; then echo "info_vs_wc: no $program; build it first" >&2; exit 2; fi
if [ ! -x /usr/bin/time ]; then echo "info_vs_wc: needs /usr/bin/time (apt-get install time)" >&2; exit 2; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$here/bench/make_big_drawing.py" "$work/attributes-100k.dxf"
"$python" "$here/bench/make_million_entities.py" "$work/entities-1m.dxf"

for drawing in "$work/attributes-100k.dxf" "$work/entities-1m.dxf"; do
  name=$(basename "$drawing" .dxf)
  # Warm-up: the file in the system's cache for every side.
  wc -l "$drawing" >/dev/null
  "$program" info "$drawing" >/dev/null
  "$program" export "$drawing" --format content >/dev/null
  for i in $(seq "$runs"); do
    /usr/bin/time -v -o "$work/$name.info.$i" "$program" info "$drawing" >/dev/null
    /usr/bin/time -v -o "$work/$name.wc.$i" wc -l "$drawing" >/dev/null
    /usr/bin/time -v -o "$work/$name.export.$i" "$program" export "$drawing" --format content >/dev/null
  done
done

"$python" - "$work" "$runs" <<'PY'
import os, statistics, sys

work, runs = sys.argv[1], int(sys.argv[2])

def figures(path):
    wall = cpu = rss = 0.0
    for line in open(path):
        key, _, value = line.strip().rpartition(": ")
        if key.startswith("Elapsed (wall clock) time"):
            parts = [float(p) for p in value.split(":")]
            wall = sum(p * 60 ** k for k, p in enumerate(reversed(parts)))
        elif key in ("User time (seconds)", "System time (seconds)"):
            cpu += float(value)
        elif key == "Maximum resident set size (kbytes)":
            rss = float(value) / 1024
    return wall, cpu, rss

for name in ("attributes-100k", "entities-1m"):
    size = os.path.getsize(f"{work}/{name}.dxf") / 2**20
    print(f"{name}: {size:.1f} MB")
    rows = {side: [figures(f"{work}/{name}.{side}.{i}") for i in range(1, runs + 1)] for side in ("info", "wc", "export")}
    print(f"  {'':8} {'wall s':>8} {'cpu s':>8} {'peak MB':>8} {'x size':>7}   (medians of {runs} runs)")
    for side, label in (("info", "info"), ("wc", "wc -l"), ("export", "export")):
        w, c, m = (statistics.median(r[k] for r in rows[side]) for k in range(3))
        print(f"  {label:8} {w:8.3f} {c:8.3f} {m:8.1f} {m / size:7.2f}")
    for k, what in ((0, "wall"), (1, "cpu")):
        pairs = [a[k] / b[k] for a, b in zip(rows["info"], rows["wc"]) if b[k] > 0]
        if pairs:
            print(f"  info / wc -l {what} time: median {statistics.median(pairs):.1f}x "
                  f"(min {min(pairs):.1f}x, max {max(pairs):.1f}x)")
PY
