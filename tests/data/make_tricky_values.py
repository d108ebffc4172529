#!/usr/bin/python3
"""Writes tricky_values.dxf: block attributes, texts and layers whose values
need care on their way to the grid (markup characters, quotes, equals signs,
leading and trailing spaces, characters beyond Latin-1 and beyond the basic
plane, tag names that contain "handle"). The tests expect exactly these."""
import sys

import ezdxf

out = sys.argv[1] if len(sys.argv) > 1 else "tricky_values.dxf"
doc = ezdxf.new("R2018")
doc.layers.add("A&B it's", color=3)
doc.layers.add("Ünïcödé #1", color=200)
doc.layers.add("Off layer", color=5).off()

block = doc.blocks.new("TB")
block.add_line((0, 0), (1, 0))
tags = ["TITLE", "PANHANDLE", "ELEMENTID_NOTE", "NOTE"]
for i, tag in enumerate(tags):
    block.add_attdef(tag, (0, -i))

msp = doc.modelspace()
first = msp.add_blockref("TB", (10, 20), dxfattribs={"layer": "A&B it's"})
first.add_auto_attribs({
    "TITLE": 'Say "hi" & <bye>',
    "PANHANDLE": "handle elementid Handle",
    "ELEMENTID_NOTE": "it's = fine",
    "NOTE": "  leading and trailing  ",
})
second = doc.layouts.get("Layout1").add_blockref("TB", (1.5, -2.25))
second.add_auto_attribs({
    "TITLE": "Straße café",
    "PANHANDLE": "中文 ✓",
    "ELEMENTID_NOTE": "emoji \U0001F600 here",
    "NOTE": "a&quot;b, c;d",
})

msp.add_text("Text & <more> = \"x\"", dxfattribs={"layer": "0"}).set_placement((3, 4))
msp.add_text("  spaced", dxfattribs={"layer": "Ünïcödé #1"}).set_placement((5, 6))
msp.add_mtext("Line one\\PLine 'two' & three", dxfattribs={"insert": (7, 8)})

doc.saveas(out)
