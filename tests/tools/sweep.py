#!/usr/bin/python3
"""Runs the built program over every drawing in some folders and counts what
fails, check by check.

    sweep.py [--build DIR] [--timeout SECONDS] [--jobs N] [--json OUT] PATH...

For each DXF (.dxf, .DXF, .dxfb) that ezdxf reads (strictly or with its
recovering loader, as tests/tools/dxf_oracle.py does):
    info       `tessilux info FILE` exits with 0
    resave     `tessilux edit FILE -o OUT` with no operation writes the same bytes
    content    `tessilux export FILE --format content` lists the layers,
               attributes, single and multi-line texts that ezdxf lists
               (the comparison of the ddvue_oracle tests, through oracle_compare)
    render     `tessilux render FILE -o X.png` exits with 0 and the picture is
               not of one color
For each DWG: info, render, and, when a DXF of the same name stands beside it
(NAME.dxf, NAME_ascii.dxf, ...), twin: the content of both agrees.
A DXF that ezdxf cannot read is counted apart ("unreadable"), with whether
tessilux opens it.

Every run of a program has the timeout (60 s unless told). Prints one line per
failure and the counts; --json writes everything. Exit status 0 when nothing
failed, 1 otherwise, 2 wrong usage.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import json
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import zlib

DXF_SUFFIXES = {".dxf", ".dxfb"}
CHECKS = ["info", "resave", "content", "render", "twin"]


# Qt's notes on standard error that say nothing about the drawing.
NOISE = (b"QStandardPaths:", b"OpenType support missing")


def run(args: list[str], timeout: float) -> tuple[int | None, bytes, bytes]:
    """Exit status (None: timed out or killed by a signal), output, errors."""
    try:
        p = subprocess.run(args, capture_output=True, timeout=timeout, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    except subprocess.TimeoutExpired:
        return None, b"", b"timed out"
    err = b"\n".join(line for line in p.stderr.splitlines() if not line.lstrip().startswith(NOISE))
    if p.returncode < 0:
        return None, p.stdout, err + f" (signal {-p.returncode})".encode()
    return p.returncode, p.stdout, err


def png_pixels(data: bytes) -> tuple[int, int, int, list[bytes]] | None:
    """Width, height, bytes per pixel and the unfiltered rows of an 8-bit,
    non-interlaced PNG (what the program writes); None for anything else."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos : pos + 8])
        body = data[pos + 8 : pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if header is None:
        return None
    width, height, depth, color, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(color)
    if depth != 8 or interlace or channels is None:
        return None
    raw, bpp, stride = zlib.decompress(idat), channels, channels * width
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1 : (y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, bpp, rows


def picture_not_empty(path: pathlib.Path) -> str | None:
    """None when the picture holds more than one color, else why not."""
    try:
        decoded = png_pixels(path.read_bytes())
    except (OSError, zlib.error) as exc:
        return f"picture unreadable: {exc}"
    if decoded is None:
        return "not an 8-bit PNG"
    _, _, bpp, rows = decoded
    first = rows[0][:bpp]
    if all(row == first * (len(row) // bpp) for row in rows):
        return "the picture is of one color"
    return None


def twin_of(dwg: pathlib.Path) -> pathlib.Path | None:
    for suffix in (".dxf", ".DXF", "_ascii.dxf", "_R2000.dxf"):
        candidate = dwg.with_name(dwg.stem + suffix)
        if candidate.exists():
            return candidate
    return None


class Sweep:
    def __init__(self, build: pathlib.Path, timeout: float, scratch: pathlib.Path):
        self.program = str(build / "tessilux")
        self.compare = str(build / "tests/ddvue/oracle/oracle_compare")
        self.timeout = timeout
        self.scratch = scratch

    def check(self, index: int, path: pathlib.Path) -> dict:
        result = {"file": str(path), "checks": {}}
        checks = result["checks"]
        is_dwg = path.suffix.lower() == ".dwg"

        def failed(name: str, why: str):
            checks[name] = why.strip()[:1500] or "failed"

        if not is_dwg:
            code, out, err = run([self.compare, str(path)], self.timeout * 3)
            line = json.loads(out.decode().splitlines()[0]) if code in (0, 1) and out.strip() else None
            if line is None:
                failed("content", "oracle_compare: " + (err.decode(errors="replace") or f"exit status {code}"))
            elif "oracle_error" in line:
                result["unreadable"] = line["oracle_error"]
            elif "export_error" in line:
                failed("content", line["export_error"])
            else:
                checks["content"] = "\n".join(line["diffs"]) if line["diffs"] else None

        code, out, err = run([self.program, "info", str(path)], self.timeout)
        checks["info"] = None if code == 0 else (err.decode(errors="replace") or f"exit status {code}")
        if code != 0 and checks["info"].strip() == "":
            checks["info"] = f"exit status {code}"
        if "unreadable" in result:
            return result  # nothing to hold it to

        if not is_dwg:
            saved = self.scratch / f"{index}{path.suffix}"
            code, out, err = run([self.program, "edit", str(path), "-o", str(saved)], self.timeout)
            if code != 0:
                failed("resave", err.decode(errors="replace") or f"exit status {code}")
            elif not saved.exists():
                failed("resave", "nothing written")
            else:
                a, b = path.read_bytes(), saved.read_bytes()
                if a == b:
                    checks["resave"] = None
                else:
                    at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
                    failed("resave", f"bytes differ at offset {at} (sizes {len(a)} and {len(b)}): "
                           f"{a[max(0, at - 40):at + 40]!r} / {b[max(0, at - 40):at + 40]!r}")
                saved.unlink()

        picture = self.scratch / f"{index}.png"
        code, out, err = run([self.program, "render", str(path), "-o", str(picture), "--size", "320x240"], self.timeout)
        if code != 0:
            failed("render", err.decode(errors="replace") or f"exit status {code}")
        else:
            checks["render"] = picture_not_empty(picture)
        if picture.exists():
            picture.unlink()

        if is_dwg:
            twin = twin_of(path)
            if twin is not None:
                result["twin"] = str(twin)
                code, out, err = run([self.compare, "--twin", str(path), str(twin)], self.timeout * 2)
                line = json.loads(out.decode().splitlines()[0]) if code in (0, 1) and out.strip() else None
                if line is None:
                    failed("twin", "oracle_compare: " + (err.decode(errors="replace") or f"exit status {code}"))
                elif "export_error" in line:
                    failed("twin", line["export_error"])
                else:
                    checks["twin"] = "\n".join(line["diffs"]) if line["diffs"] else None
        return result


def drawings(paths: list[str]) -> list[pathlib.Path]:
    out = []
    for p in map(pathlib.Path, paths):
        if p.is_dir():
            out += sorted(f for f in p.rglob("*") if f.is_file() and f.suffix.lower() in DXF_SUFFIXES | {".dwg"})
        elif p.is_file():
            out.append(p)
    return out


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--build", default=str(pathlib.Path(__file__).resolve().parents[2] / "build"))
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--json")
    args = parser.parse_args(argv)
    files = drawings(args.paths)
    if not files:
        print("sweep: no drawings found", file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory() as scratch:
        sweep = Sweep(pathlib.Path(args.build), args.timeout, pathlib.Path(scratch))
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            results = list(pool.map(lambda item: sweep.check(*item), enumerate(files)))

    counts = {name: [0, 0] for name in CHECKS}
    unreadable, unreadable_opened = 0, 0
    for r in results:
        if "unreadable" in r:
            unreadable += 1
            unreadable_opened += r["checks"]["info"] is None
            continue
        for name, why in r["checks"].items():
            counts[name][why is not None] += 1
            if why is not None:
                first = why.splitlines()
                more = f" (+{len(first) - 1} more lines)" if len(first) > 1 else ""
                print(f"FAIL {name}: {r['file']}: {first[0][:300]}{more}")
    dxf = sum(1 for f in files if f.suffix.lower() != ".dwg")
    print(f"\n{len(files)} drawings: {dxf} DXF, {len(files) - dxf} DWG; "
          f"{unreadable} DXF that ezdxf cannot read ({unreadable_opened} of them open here)")
    for name in CHECKS:
        ok, bad = counts[name]
        if ok or bad:
            print(f"  {name:8} {ok:4} pass {bad:4} fail")
    if args.json:
        pathlib.Path(args.json).write_text(json.dumps(results, indent=1, ensure_ascii=False))
    return 1 if any(bad for _, bad in counts.values()) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
