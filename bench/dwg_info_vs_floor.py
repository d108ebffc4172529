#!/usr/bin/env python3
"""Times `tessilux info` on DWG drawings against the floor of reading them.

    bench/dwg_info_vs_floor.py [--rounds N] [--build DIR] DRAWING.dwg...

The floor (bench/dwg_floor.mjs) is Node starting, the DWG library loading
and its dwg_read_file alone. Each round runs the two one after the other,
in turns which goes first, so that both see the same load on a shared
machine; the ratio is taken round by round. Prints, per drawing, the
minimum, median and maximum of the wall and CPU (user + system) seconds of
each, and of the ratio info / floor.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def timed(cmd):
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    err = proc.stderr.read()
    proc.stderr.close()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{' '.join(cmd)} failed ({proc.returncode}): {err.decode(errors='replace')}")
    return wall, usage.ru_utime + usage.ru_stime


def spread(values):
    return f"{min(values):.3f} / {statistics.median(values):.3f} / {max(values):.3f}"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--rounds", type=int, default=15)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--node", default="node")
    ap.add_argument("drawings", nargs="+")
    a = ap.parse_args()
    program = os.path.join(a.build, "tessilux")
    reader = os.path.join(ROOT, "src", "ddvue", "dwg", "reader")
    print("drawing | what | wall s min / median / max | CPU s min / median / max")
    for drawing in a.drawings:
        info = [program, "info", drawing]
        floor = [a.node, "--liftoff-only", os.path.join(HERE, "dwg_floor.mjs"), reader, drawing]
        timed(info), timed(floor)  # warm the caches
        runs = {"info": [], "floor": []}
        for k in range(a.rounds):
            order = [("info", info), ("floor", floor)]
            if k % 2:
                order.reverse()
            for name, cmd in order:
                runs[name].append(timed(cmd))
        name = os.path.basename(drawing)
        for what in ("info", "floor"):
            print(f"{name} | {what} | {spread([w for w, _ in runs[what]])} | {spread([c for _, c in runs[what]])}")
        wall = [i[0] / f[0] for i, f in zip(runs["info"], runs["floor"])]
        cpu = [i[1] / f[1] for i, f in zip(runs["info"], runs["floor"])]
        print(f"{name} | info / floor | {spread(wall)} | {spread(cpu)}")


if __name__ == "__main__":
    main()
