#!/usr/bin/env python3
"""Times the program's commands as whole processes side by side with what
they are measured against, round by round in turns (so that both see the
same load on a shared machine), and prints the minimum, median and maximum
of the wall and CPU (user + system) seconds of each, and of each one's ratio
to its floor in the same round.

    bench/command_ratios.py import  [--rounds N] [--build DIR] [--keep DIR] [--inserts N]
    bench/command_ratios.py replace [--rounds N] [--build DIR] [--keep DIR] [--count N]
    bench/command_ratios.py startup [--rounds N] [--build DIR] [--keep DIR]

import: bench/make_big_drawing.py's drawing (25,000 inserts, 100,000 block
attributes), its CSV export, and a copy of that CSV in which every value is
changed. The floor is `export DRAWING --format csv -o OUT.csv`; against it
`import DRAWING CHANGED.csv -o OUT.dxf` (every row changed, saved),
`import ... --dry-run` (every row changed, nothing saved) and `import
DRAWING EXPORTED.csv --dry-run` (every row unchanged).

replace: bench/make_replace_folder.py's folder (1,000 drawings, 100 MB,
half of them with "DRAFT" in 21 block attributes). The floor is `grep -rc
DRAFT FOLDER`; against it `replace FOLDER --find DRAFT --replace "FOR
CONSTRUCTION" --dry-run` with one job and with two.

startup: a drawing of 1,000 block attributes and its CSV. The floor is
`tessilux --version` (the program starting); against it `info`, `export
--format csv`, `import --dry-run` and `replace --dry-run` of that drawing.

The drawings are written once into DIR (the temporary folder unless --keep
names another) and reused.
"""
import argparse
import csv
import os
import subprocess
import tempfile

# Whole processes timed, and min / median / max, as the DWG reader's bench does.
from dwg_info_vs_floor import spread, timed

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def changed_copy(exported, changed):
    """The exported CSV with every AttributeValue changed, as a spreadsheet saves it."""
    with open(exported, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    value = rows[0].index("AttributeValue")
    with open(changed, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f, lineterminator="\r\n")
        w.writerow(rows[0])
        for row in rows[1:]:
            row[value] += " rev B"
            w.writerow(row)


def prepare_import(a, program, inserts):
    drawing = os.path.join(a.keep, f"tessilux-import-{inserts}.dxf")
    exported = os.path.join(a.keep, f"tessilux-import-{inserts}.csv")
    changed = os.path.join(a.keep, f"tessilux-import-{inserts}-changed.csv")
    if not os.path.exists(drawing):
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_big_drawing.py"), drawing, str(inserts)],
                       check=True)
    if not os.path.exists(changed):
        subprocess.run([program, "export", drawing, "--format", "csv", "-o", exported, "--overwrite"], check=True)
        changed_copy(exported, changed)
    return drawing, exported, changed


def scenario(a, program, out):
    """The floor's name and the commands, the floor first."""
    if a.what == "import":
        drawing, exported, changed = prepare_import(a, program, a.inserts)
        return {
            "export": [program, "export", drawing, "--format", "csv", "-o", os.path.join(out, "out.csv"), "--overwrite"],
            "import": [program, "import", drawing, changed, "-o", os.path.join(out, "out.dxf"), "--overwrite"],
            "dry": [program, "import", drawing, changed, "--dry-run"],
            "same": [program, "import", drawing, exported, "--dry-run"],
        }
    if a.what == "replace":
        folder = os.path.join(a.keep, f"tessilux-replace-{a.count}")
        if not os.path.isdir(folder):
            subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_replace_folder.py"), folder, str(a.count)],
                           check=True)
        replace = [program, "replace", folder, "--find", "DRAFT", "--replace", "FOR CONSTRUCTION", "--dry-run"]
        return {
            "grep": ["grep", "-rc", "DRAFT", folder],
            "jobs1": replace + ["--jobs", "1"],
            "jobs2": replace + ["--jobs", "2"],
        }
    drawing, exported, _ = prepare_import(a, program, 250)
    return {
        "version": [program, "--version"],
        "info": [program, "info", drawing],
        "csv": [program, "export", drawing, "--format", "csv", "-o", os.path.join(out, "out.csv"), "--overwrite"],
        "import": [program, "import", drawing, exported, "--dry-run"],
        "replace": [program, "replace", drawing, "--find", "DRAFT", "--replace", "FINAL", "--dry-run", "--jobs", "1"],
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("what", choices=["import", "replace", "startup"])
    ap.add_argument("--rounds", type=int, default=9)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--keep", default=tempfile.gettempdir())
    ap.add_argument("--inserts", type=int, default=25000)
    ap.add_argument("--count", type=int, default=1000)
    a = ap.parse_args()
    program = os.path.join(a.build, "tessilux")
    os.makedirs(a.keep, exist_ok=True)
    with tempfile.TemporaryDirectory() as out:
        commands = scenario(a, program, out)
        for cmd in commands.values():
            timed(cmd)  # warm the caches
        runs = {name: [] for name in commands}
        names = list(commands)
        for k in range(a.rounds):
            order = names[k % len(names):] + names[:k % len(names)]
            for name in order:
                runs[name].append(timed(commands[name]))
    print(f"{a.what}, {a.rounds} rounds")
    print("what | wall s min / median / max | CPU s min / median / max")
    for name in names:
        print(f"{name} | {spread([w for w, _ in runs[name]])} | {spread([c for _, c in runs[name]])}")
    floor = names[0]
    for name in names[1:]:
        wall = [i[0] / f[0] for i, f in zip(runs[name], runs[floor])]
        cpu = [i[1] / f[1] for i, f in zip(runs[name], runs[floor])]
        print(f"{name} / {floor} | {spread(wall)} | {spread(cpu)}")


if __name__ == "__main__":
    main()
