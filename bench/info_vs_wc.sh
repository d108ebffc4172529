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
# Uses the program in build/ (or $TESSILUX_BUILD_DIR) and python3-ezdxf.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
program="${TESSILUX_BUILD_DIR:-$here/build}/tessilux"
python=/usr/bin/python3

if [ ! -x "$program" ]; then echo "info_vs_wc: no $program; build it first" >&2; exit 2; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$here/bench/make_big_drawing.py" "$work/attributes-100k.dxf"
"$python" "$here/bench/make_million_entities.py" "$work/entities-1m.dxf"

"$python" - "$program" "$work" "$runs" <<'PY'
import os, statistics, sys, time

program, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])

def run(argv):
    """Wall seconds, CPU seconds (user + system) and peak memory (MB) of one
    run, its output thrown away: the child's own accounting, to the
    microsecond."""
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, null.fileno(), 1)])
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"info_vs_wc: {' '.join(argv)} failed")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024

for name in ("attributes-100k", "entities-1m"):
    drawing = f"{work}/{name}.dxf"
    size = os.path.getsize(drawing) / 2**20
    commands = {"info": [program, "info", drawing], "wc -l": ["/usr/bin/wc", "-l", drawing],
                "export": [program, "export", drawing, "--format", "content"]}
    for argv in commands.values():
        run(argv)  # warm-up: the file in the system's cache for every side
    rows = {side: [] for side in commands}
    for _ in range(runs):
        for side, argv in commands.items():  # in turn, so that a change in load reaches every side
            rows[side].append(run(argv))
    print(f"{name}: {size:.1f} MB")
    print(f"  {'':8} {'wall ms':>8} {'cpu ms':>8} {'peak MB':>8} {'x size':>7}   (medians of {runs} runs)")
    for side, figures in rows.items():
        w, c, m = (statistics.median(r[k] for r in figures) for k in range(3))
        print(f"  {side:8} {w * 1000:8.1f} {c * 1000:8.1f} {m:8.1f} {m / size:7.2f}")
    for k, what in ((0, "wall"), (1, "cpu")):
        pairs = [a[k] / b[k] for a, b in zip(rows["info"], rows["wc -l"]) if b[k] > 0]
        if pairs:
            print(f"  info / wc -l {what} time: median {statistics.median(pairs):.1f}x "
                  f"(min {min(pairs):.1f}x, max {max(pairs):.1f}x)")
PY
