#!/usr/bin/python3
"""Writes a folder of drawings for the replace benchmark: COUNT drawings
(1,000 unless told) in ten subfolders, in six DXF versions (R12 to 2018,
one in seven binary), each a sheet with a title block of 8 attributes, 60
room tags of 3 attributes each, 40 single-line and 10 multi-line texts, and
200 lines; 60 to 110 KB each. Half the drawings are marked "DRAFT" in their
title blocks and rooms, so that a replace of that word changes half of them.

ezdxf lays down one drawing per version, with numbered placeholders where
the values go; each drawing is then that text with its own values, which
takes seconds instead of the minutes ezdxf would take for each.

    make_replace_folder.py FOLDER [COUNT]
"""

from __future__ import annotations

import io
import os
import re
import sys

import ezdxf

VERSIONS = ["R12", "R2000", "R2004", "R2007", "R2013", "R2018"]
TITLE_TAGS = ["PROJECT", "TITLE", "DWG_NO", "SHEET", "REV", "STATUS", "DRAWN", "DATE"]
ROOM_TAGS = ["NUMBER", "NAME", "STATUS"]
ROOMS = ["Office", "Meeting room", "Corridor", "Storage", "Kitchen", "Archive", "Server room", "Lobby"]
ROOM_COUNT, TEXT_COUNT, MTEXT_COUNT, LINE_COUNT = 60, 40, 10, 200


def template(version: str) -> str:
    """A drawing of `version` whose values are placeholders @@K@@."""
    ezdxf.options.write_fixed_meta_data_for_testing = True
    doc = ezdxf.new(version)
    for name, color in (("TITLE", 7), ("ROOMS", 3), ("NOTES", 2), ("WALLS", 1)):
        doc.layers.add(name, color=color)
    tb = doc.blocks.new("TITLE_BLOCK")
    tb.add_lwpolyline([(0, 0), (180, 0), (180, 60), (0, 60)], close=True) if version != "R12" else tb.add_polyline2d(
        [(0, 0), (180, 0), (180, 60), (0, 60)], close=True)
    for k, tag in enumerate(TITLE_TAGS):
        tb.add_attdef(tag, (5, 52 - 6 * k), dxfattribs={"height": 3})
    room = doc.blocks.new("ROOM_TAG")
    room.add_circle((0, 0), 4)
    for k, tag in enumerate(ROOM_TAGS):
        room.add_attdef(tag, (6, 3 - 4 * k), dxfattribs={"height": 2})
    msp = doc.modelspace()
    n = 0

    def slot() -> str:
        nonlocal n
        n += 1
        return f"@@{n}@@"

    msp.add_blockref("TITLE_BLOCK", (1000, 0), dxfattribs={"layer": "TITLE"}).add_auto_attribs(
        {tag: slot() for tag in TITLE_TAGS})
    for i in range(ROOM_COUNT):
        msp.add_blockref("ROOM_TAG", ((i % 10) * 100, (i // 10) * 80), dxfattribs={"layer": "ROOMS"}).add_auto_attribs(
            {tag: slot() for tag in ROOM_TAGS})
    for i in range(TEXT_COUNT):
        msp.add_text(slot(), dxfattribs={"layer": "NOTES", "height": 2.5}).set_placement((i * 25, -20))
    for i in range(MTEXT_COUNT):
        if version == "R12":
            msp.add_text(slot(), dxfattribs={"layer": "NOTES"}).set_placement((i * 60, -40))
        else:
            msp.add_mtext(slot(), dxfattribs={"layer": "NOTES", "char_height": 2.5, "insert": (i * 60, -40)})
    for i in range(LINE_COUNT):
        msp.add_line((i * 5, 0), (i * 5, 600), dxfattribs={"layer": "WALLS"})
    stream = io.StringIO()
    doc.write(stream)
    return stream.getvalue()


def values(index: int) -> list[str]:
    """The values of drawing `index`, in the order of the placeholders."""
    status = "DRAFT" if index % 2 == 0 else "ISSUED"
    v = [f"Harbour View block {index // 100 + 1}", f"Level {index % 12} plan", f"A-{index:04d}",
         f"{index % 40 + 1} of 40", "ABCDEF"[index % 6], status, "J. Doe", f"2024-{index % 12 + 1:02d}-15"]
    for i in range(ROOM_COUNT):
        v += [f"{index % 12}{i:02d}", ROOMS[(index + i) % len(ROOMS)], status if i % 3 == 0 else "BUILT"]
    for i in range(TEXT_COUNT):
        v.append(f"Note {i + 1}: check the wall finish against sheet A-{(index + i) % 1000:04d}")
    for i in range(MTEXT_COUNT):
        v.append(f"General note {i + 1}\\Pdimensions in millimetres\\P{status} for coordination")
    return v


def main(argv: list[str]) -> int:
    if not 1 <= len(argv) <= 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder = argv[0]
    count = int(argv[1]) if len(argv) > 1 else 1000
    templates = {}
    for version in VERSIONS:
        text = template(version)
        # The text between the placeholders, and the number of each.
        templates[version] = re.split(r"@@(\d+)@@", text)
    for index in range(count):
        version = VERSIONS[index % len(VERSIONS)]
        parts = templates[version]
        vals = values(index)
        assert len(vals) == len(parts) // 2, (len(vals), len(parts))
        text = "".join(p if k % 2 == 0 else vals[int(p) - 1] for k, p in enumerate(parts))
        sub = os.path.join(folder, f"block-{index % 10}")
        os.makedirs(sub, exist_ok=True)
        name = os.path.join(sub, f"sheet-{index:04d}-{version}")
        if index % 7 == 3 and version != "R12":
            # Binary: read back with ezdxf and written as binary DXF.
            doc = ezdxf.read(io.StringIO(text))
            doc.saveas(name + ".dxf", fmt="bin")
        else:
            with open(name + ".dxf", "w", encoding="utf-8" if version in ("R2007", "R2013", "R2018") else "cp1252",
                      newline="\r\n") as f:
                f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
