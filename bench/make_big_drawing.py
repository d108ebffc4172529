#!/usr/bin/python3
"""Writes a large drawing for the export benchmark: 25,000 title-block
inserts with 4 attributes each (100,000 block attributes), values varied and
some non-ASCII, in a 2018 DXF (UTF-8).

ezdxf lays down the drawing's frame (header, tables, the block with its
attribute definitions, objects); the inserts are written as text straight
into the entities section, which takes a second or two instead of minutes.

    make_big_drawing.py OUT.dxf [INSERTS]
"""

from __future__ import annotations

import io
import re
import sys

import ezdxf

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


def frame():
    ezdxf.options.write_fixed_meta_data_for_testing = True
    doc = ezdxf.new("R2018")
    doc.layers.add("TITLE", color=7)
    block = doc.blocks.new("SHEET_TAG")
    block.add_lwpolyline([(0, 0), (180, 0), (180, 40), (0, 40)], close=True)
    for k, tag in enumerate(TAGS):
        block.add_attdef(tag, (5, 30 - 8 * k), dxfattribs={"height": 3})
    return doc


def inserts(first_handle: int, owner: str, count: int) -> tuple[str, int]:
    """The INSERT, ATTRIB and SEQEND records as DXF text, and the next free handle."""
    out = []
    h = first_handle
    for i in range(count):
        x = (i % 250) * 200.0
        y = (i // 250) * 50.0
        insert = f"{h:X}"
        h += 1
        out.append(
            f"  0\nINSERT\n  5\n{insert}\n330\n{owner}\n100\nAcDbEntity\n  8\nTITLE\n100\nAcDbBlockReference\n"
            f" 66\n     1\n  2\nSHEET_TAG\n 10\n{x}\n 20\n{y}\n 30\n0.0\n"
        )
        values = [f"A-{i:05d}", f"{TITLES[i % len(TITLES)]} {i // len(TITLES)}", f"{i % 40 + 1} of 40", "ABCDEF"[i % 6]]
        for k, (tag, value) in enumerate(zip(TAGS, values)):
            out.append(
                f"  0\nATTRIB\n  5\n{h:X}\n330\n{insert}\n100\nAcDbEntity\n  8\nTITLE\n100\nAcDbText\n"
                f" 10\n{x + 5}\n 20\n{y + 30 - 8 * k}\n 30\n0.0\n 40\n3.0\n  1\n{value}\n"
                f"100\nAcDbAttribute\n280\n     0\n  2\n{tag}\n 70\n     0\n"
            )
            h += 1
        out.append(f"  0\nSEQEND\n  5\n{h:X}\n330\n{insert}\n100\nAcDbEntity\n  8\nTITLE\n")
        h += 1
    return "".join(out), h


def main(argv: list[str]) -> int:
    if not 1 <= len(argv) <= 2:
        print(__doc__, file=sys.stderr)
        return 2
    count = int(argv[1]) if len(argv) > 1 else 25000
    doc = frame()
    owner = doc.modelspace().block_record_handle
    stream = io.StringIO()
    doc.write(stream)
    text = stream.getvalue()
    seed = int(doc.header["$HANDSEED"], 16)
    body, next_handle = inserts(seed, owner, count)
    text = re.sub(r"(\$HANDSEED\n  5\n)[0-9A-Fa-f]+", lambda m: f"{m.group(1)}{next_handle:X}", text, count=1)
    marker = "  2\nENTITIES\n"
    at = text.index(marker) + len(marker)
    text = text[:at] + body + text[at:]
    with open(argv[0], "w", encoding="utf-8", newline="\r\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
