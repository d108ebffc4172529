#!/usr/bin/env bash
# Times `tessilux export --format content` of a drawing with 100,000 block
# attributes against ezdxf reading the same drawing and listing its
# attributes. Each side runs RUNS times, in turn (A B A B ...) after one
# warm-up run each; the figures are the medians of /usr/bin/time -v: wall
# time, CPU time (user + system) and peak memory (maximum resident set).
#
#   bench/export_vs_ezdxf.sh [RUNS]        default 5
#
# Uses the program in build/ (or $TESSILUX_BUILD_DIR); needs /usr/bin/time
# (Debian package "time") and python3-ezdxf.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
program="${TESSILUX_BUILD_DIR:-$here/build}/tessilux"
python=/usr/bin/python3

if [ ! -x "$program" ]; then echo "export_vs_ezdxf: no $program; build it first (scripts/build)" >&2; exit 2; fi
if [ ! -x /usr/bin/time ]; then echo "export_vs_ezdxf: needs /usr/bin/time (apt-get install time)" >&2; exit 2; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
drawing="$work/title-blocks-100k.dxf"
"$python" "$here/bench/make_big_drawing.py" "$drawing"
echo "drawing: $(du -h "$drawing" | cut -f1), $("$program" info "$drawing" | grep 'Block attributes')"

tessilux_cmd=("$program" export "$drawing" --format content)
ezdxf_cmd=("$python" "$here/bench/ezdxf_list_attributes.py" "$drawing")

# Warm-up, and a check that both sides list all the attributes.
listed=$("${tessilux_cmd[@]}" | grep -c '<Attribute>')
read_back=$("${ezdxf_cmd[@]}" | wc -l)
echo "attributes listed: tessilux $listed, ezdxf $read_back"

for i in $(seq "$runs"); do
  /usr/bin/time -v -o "$work/tessilux.$i" "${tessilux_cmd[@]}" >/dev/null
  /usr/bin/time -v -o "$work/ezdxf.$i" "${ezdxf_cmd[@]}" >/dev/null
done

"$python" - "$work" "$runs" <<'PY'
import statistics, sys

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

rows = {name: [figures(f"{work}/{name}.{i}") for i in range(1, runs + 1)] for name in ("tessilux", "ezdxf")}
median = {name: [statistics.median(r[k] for r in rs) for k in range(3)] for name, rs in rows.items()}
print(f"{'':10} {'wall s':>8} {'cpu s':>8} {'peak MB':>8}   (medians of {runs} runs)")
for name in ("tessilux", "ezdxf"):
    w, c, m = median[name]
    print(f"{name:10} {w:8.3f} {c:8.3f} {m:8.1f}")
pairs = [e[0] / t[0] for t, e in zip(rows["tessilux"], rows["ezdxf"]) if t[0] > 0]
if pairs:
    print(f"ezdxf / tessilux wall time: median {statistics.median(pairs):.1f}x "
          f"(min {min(pairs):.1f}x, max {max(pairs):.1f}x)")
PY
