#!/usr/bin/env bash
# Times `tessilux replace` over a folder of a thousand drawings that
# bench/make_replace_folder.py writes (half of them with "DRAFT" in their
# block attributes): a dry run, and a real run that saves the 500 drawings
# that change, each with one job and with two. Every real run starts from a
# fresh copy of the folder (the copy is not timed). The figures are the
# medians of /usr/bin/time: wall time, CPU time (user + system), peak memory,
# and drawings per second of wall time. Afterwards ezdxf reads a sample of
# the saved drawings to check that the word is gone and nothing else moved.
#
#   bench/replace_folder.sh [RUNS] [COUNT]      default 5 runs, 1000 drawings
#
# Uses the program in build/ (or $TESSILUX_BUILD_DIR); needs /usr/bin/time
# (Debian package "time") and python3-ezdxf.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
count=${2:-1000}
program="${TESSILUX_BUILD_DIR:-$here/build}/tessilux"
python=/usr/bin/python3

if [ ! -x "$program" ]; then echo "replace_folder: no $program; build it first" >&2; exit 2; fi
if [ ! -x /usr/bin/time ]; then echo "replace_folder: needs /usr/bin/time (apt-get install time)" >&2; exit 2; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$here/bench/make_replace_folder.py" "$work/pristine" "$count"
echo "folder: $count drawings, $(du -sh "$work/pristine" | cut -f1)"

replace=(replace "$work/run" --find DRAFT --replace "FOR CONSTRUCTION")
cp -a "$work/pristine" "$work/run"
"$program" "${replace[@]}" --dry-run | tail -2   # warm-up, and what it will do

for i in $(seq "$runs"); do
  for jobs in 1 2; do
    /usr/bin/time -f "%e %U %S %M" -o "$work/dry.$jobs.$i" "$program" "${replace[@]}" --dry-run --jobs "$jobs" >/dev/null
    rm -rf "$work/run" && cp -a "$work/pristine" "$work/run"
    /usr/bin/time -f "%e %U %S %M" -o "$work/real.$jobs.$i" "$program" "${replace[@]}" --jobs "$jobs" >"$work/out.txt"
  done
done
tail -1 "$work/out.txt"

"$python" - "$work" "$runs" "$count" <<'PY'
import statistics, sys
work, runs, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
print(f"{'':16} {'wall s':>7} {'cpu s':>7} {'peak MB':>8} {'drawings/s':>11}   (medians of {runs} runs)")
for kind in ("dry", "real"):
    for jobs in (1, 2):
        rows = []
        for i in range(1, runs + 1):
            wall, user, system, rss = open(f"{work}/{kind}.{jobs}.{i}").read().split()
            rows.append((float(wall), float(user) + float(system), float(rss) / 1024))
        wall, cpu, rss = (statistics.median(r[k] for r in rows) for k in range(3))
        label = f"{'dry run' if kind == 'dry' else 'saving'}, {jobs} job{'s' if jobs > 1 else ''}"
        print(f"{label:16} {wall:7.2f} {cpu:7.2f} {rss:8.0f} {count / wall:11.0f}")
PY

# The saved drawings as ezdxf reads them: no DRAFT left, the rest as before.
"$python" - "$work" <<'PY'
import glob, os, sys
import ezdxf
work = sys.argv[1]
checked = 0
for path in sorted(glob.glob(f"{work}/run/block-0/*.dxf"))[:20]:
    before = ezdxf.readfile(path.replace("/run/", "/pristine/"))
    after = ezdxf.readfile(path)
    values = lambda doc: [a.dxf.text for e in doc.modelspace().query("INSERT") for a in e.attribs]
    want = [v.replace("DRAFT", "FOR CONSTRUCTION") for v in values(before)]
    if values(after) != want:
        sys.exit(f"replace_folder: {path} does not hold what it should")
    checked += 1
print(f"ezdxf: {checked} saved drawings hold the replaced values and nothing else changed")
PY
