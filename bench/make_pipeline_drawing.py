#!/usr/bin/python3
"""Writes a large drawing for the export benchmarks.

Usage: make_big_drawing.py OUT.dxf [ATTRIBUTES]

The drawing holds ATTRIBUTES block attributes (default 100000), four to an
insert, spread over model space and one paper layout, with values that need
escaping (quotes, ampersands, angle brackets, equals signs, leading spaces,
characters beyond Latin-1), plus a few hundred single- and multi-line texts.
"""
import sys

import ezdxf

out = sys.argv[1]
total = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
per_insert = 4

doc = ezdxf.new("R2018")
doc.layers.add("TITLE", color=3)
doc.layers.add("NOTES", color=5)
block = doc.blocks.new("TB")
block.add_line((0, 0), (10, 0))
tags = ["SHEET", "TITLE", "DRAWN", "NOTE"]
for i, tag in enumerate(tags):
    block.add_attdef(tag, (0, -i))

samples = [
    'A-{n}',
    'Say "hi" & <bye> {n}',
    '  leading {n}',
    'x = {n}; it\'s',
    'Straße {n} 中文 ✓',
]

msp = doc.modelspace()
psp = doc.layouts.get("Layout1")
for n in range(total // per_insert):
    space = msp if n % 10 else psp
    ins = space.add_blockref("TB", (n % 500, n // 500), dxfattribs={"layer": "TITLE"})
    values = {tag: samples[(n + i) % len(samples)].format(n=n) for i, tag in enumerate(tags)}
    ins.add_auto_attribs(values)

for n in range(200):
    msp.add_text(f"Note {n} & <more>", dxfattribs={"layer": "NOTES"}).set_placement((n, -10))
    msp.add_mtext(f"Line one {n}\\PLine two", dxfattribs={"layer": "NOTES", "insert": (n, -20)})

doc.saveas(out)
