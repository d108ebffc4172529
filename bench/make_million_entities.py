#!/usr/bin/python3
"""Writes a large drawing for the reading benchmarks: a million entities in
model space (lines, circles, arcs, points, single-line texts, and
title-block inserts with four attributes each), about 90 MB as a Release 12
DXF with LF line ends, code page ANSI_1252: characters outside it are
written as \\U+XXXX escapes, as CAD programs write them.

ezdxf lays down the drawing's frame (header, tables, the title block); the
entities are written as text straight into the entities section.

    make_million_entities.py OUT.dxf [ENTITIES]
"""

from __future__ import annotations

import io
import re
import sys

import ezdxf

LAYERS = ["WALLS", "DOORS", "GRID", "NOTES", "TITLE"]
TAGS = ["DWG_NO", "TITLE", "SHEET", "REV"]
TITLES = [
    "Ground floor plan",
    "Grundriss Erdgeschoß",
    "Coupe A–A façade sud",
    "一层平面图",
    "Κάτοψη ορόφου",
    "Roof plan & drainage <draft>",
    "Section \"B\" = detail 4",
]


def escaped(text: str) -> str:
    """The text in code page 1252, with \\U+XXXX for what it lacks."""
    out = []
    for c in text:
        try:
            c.encode("cp1252")
            out.append(c)
        except UnicodeEncodeError:
            out.append(f"\\U+{ord(c):04X}")
    return "".join(out)


ESCAPED_TITLES = [escaped(t) for t in TITLES]


def frame():
    ezdxf.options.write_fixed_meta_data_for_testing = True
    doc = ezdxf.new("R12")
    for k, name in enumerate(LAYERS):
        doc.layers.add(name, color=1 + k)
    block = doc.blocks.new("SHEET_TAG")
    block.add_line((0, 0), (180, 0))
    for k, tag in enumerate(TAGS):
        block.add_attdef(tag, (5, 30 - 8 * k), dxfattribs={"height": 3})
    return doc


def entity(kind: int, h: int, i: int) -> tuple[str, int]:
    """One entity (or an insert with its attributes) as DXF text, and how
    many entities it counts as."""
    x = (i % 1000) * 10.0
    y = (i // 1000) * 10.0
    head = f"  0\n{{}}\n  5\n{h:X}\n  8\n{LAYERS[i % len(LAYERS)]}\n"
    if kind < 5:
        return head.format("LINE") + f" 10\n{x}\n 20\n{y}\n 30\n0.0\n 11\n{x + 7.125}\n 21\n{y + 2.375}\n 31\n0.0\n", 1
    if kind == 5:
        return head.format("CIRCLE") + f" 10\n{x}\n 20\n{y}\n 30\n0.0\n 40\n{1 + i % 4}.25\n", 1
    if kind == 6:
        return head.format("ARC") + f" 10\n{x}\n 20\n{y}\n 30\n0.0\n 40\n2.5\n 50\n{i % 360}.5\n 51\n{(i + 90) % 360}.25\n", 1
    if kind == 7:
        return head.format("POINT") + f" 10\n{x}\n 20\n{y}\n 30\n0.0\n", 1
    if kind == 8:
        title = ESCAPED_TITLES[i % len(TITLES)]
        return head.format("TEXT") + f" 10\n{x}\n 20\n{y}\n 30\n0.0\n 40\n2.5\n  1\n{title} {i}\n", 1
    # An insert of the title block with its four attributes and SEQEND.
    parts = [f"  0\nINSERT\n  5\n{h:X}\n  8\nTITLE\n 66\n     1\n  2\nSHEET_TAG\n 10\n{x}\n 20\n{y}\n 30\n0.0\n"]
    values = [f"A-{i:07d}", f"{ESCAPED_TITLES[i % len(TITLES)]} {i}", f"{i % 40 + 1} of 40", "ABCDEF"[i % 6]]
    for k, (tag, value) in enumerate(zip(TAGS, values)):
        parts.append(
            f"  0\nATTRIB\n  5\n{h + 1 + k:X}\n  8\nTITLE\n 10\n{x + 5}\n 20\n{y + 30 - 8 * k}\n 30\n0.0\n"
            f" 40\n3.0\n  1\n{value}\n  2\n{tag}\n 70\n     0\n"
        )
    parts.append(f"  0\nSEQEND\n  5\n{h + 5:X}\n  8\nTITLE\n")
    return "".join(parts), 6


def main(argv: list[str]) -> int:
    if not 1 <= len(argv) <= 2:
        print(__doc__, file=sys.stderr)
        return 2
    count = int(argv[1]) if len(argv) > 1 else 1_000_000
    doc = frame()
    stream = io.StringIO()
    doc.write(stream)
    text = stream.getvalue()
    h = max(int(doc.header["$HANDSEED"], 16), 0x100)
    parts = []
    made = 0
    i = 0
    while made < count:
        # One entity in a hundred is an insert, which counts as six: the
        # INSERT, its four ATTRIBs and its SEQEND.
        kind = 9 if i % 100 == 99 and count - made >= 6 else i % 9
        body, n = entity(kind, h, i)
        parts.append(body)
        h += n
        made += n
        i += 1
    text = re.sub(r"(\$HANDSEED\n  5\n)[0-9A-Fa-f]+", lambda m: f"{m.group(1)}{h:X}", text, count=1)
    marker = "  2\nENTITIES\n"
    at = text.index(marker) + len(marker)
    with open(argv[0], "w", encoding="cp1252", newline="\n") as f:
        f.write(text[:at])
        f.write("".join(parts))
        f.write(text[at:])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
