#!/usr/bin/python3
"""Writes drawings with ezdxf into a folder, one ASCII and one binary DXF
for every version from R12 to 2018, as ezdxf itself saves them (LF line
ends, its own handles and header). The tests open and save them unchanged
and compare the bytes, and compare their content with the outside reader.

    make_ezdxf_drawings.py FOLDER
"""

from __future__ import annotations

import pathlib
import sys

import ezdxf
from ezdxf.entities import MText

VERSIONS = ["R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018"]

NOTE = (
    "{\\fArial|b1|i0|c0|p34;Note}\\P"
    + "\\P".join(f"{k}. Prüfung Ω-{k} <{k}> & \"{k}\" = ok — 检查 {k}" for k in range(1, 9))
)

# Multi-line attributes (2018): ezdxf's writer keeps only the first line,
# without its formatting, in the attribute's own value; AutoCAD keeps the
# whole text there, as in the embedded text.
REMARKS = (
    "Erste Zeile — Ω <1> & \"x\"\\P{\\fArial|b1;Zweite} Zeile = 2\\P"
    + "\\P".join(f"{k}. Prüfung {k} 检查 — ok" for k in range(3, 16))
)
STAMP = "Geprüft — ✓\\PFreigegeben 2024"


def add_multiline_attributes(doc, msp):
    ref = msp.add_blockref("TAG", (0, 80))
    for k, (tag, text, whole) in enumerate([("REMARKS", REMARKS, False), ("STAMP", STAMP, True)]):
        mtext = MText.new(dxfattribs={"insert": (70 * k, 80), "char_height": 2, "width": 60}, doc=doc)
        mtext.text = text
        attrib = ref.add_attrib(tag, "", (70 * k, 80))
        attrib.set_mtext(mtext)
        if whole:
            attrib.dxf.text = text


def make(version: str):
    doc = ezdxf.new(version)
    modern = version != "R12"
    doc.layers.add("WALLS", color=7)
    doc.layers.add("NOTES", color=2)
    doc.layers.add("HIDDEN", color=8).off()
    doc.layers.add("FROZEN", color=1).freeze()
    furniture = doc.layers.add("MÖBEL", color=30)
    if version >= "R2004":
        furniture.rgb = (120, 80, 40)

    block = doc.blocks.new("TAG")
    block.add_circle((0, 0), 5)
    block.add_attdef("NUMBER", (0, 0), dxfattribs={"height": 2})
    block.add_attdef("NAME", (0, -3), dxfattribs={"height": 2})

    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 0), dxfattribs={"layer": "WALLS"})
    msp.add_line((100, 0), (100, 50), dxfattribs={"layer": "WALLS", "color": 3})
    msp.add_text("Plan — Ω", dxfattribs={"layer": "NOTES", "insert": (10, 10), "height": 2.5})
    msp.add_text("  leading <a> & \"b\" = 'c'", dxfattribs={"layer": "NOTES", "insert": (10, 20)})
    for k, name in enumerate(["Büro", "Küche", "会议室"]):
        ref = msp.add_blockref("TAG", (20 + 30 * k, 30), dxfattribs={"layer": "MÖBEL"})
        ref.add_auto_attribs({"NUMBER": f"{k + 1:03d}", "NAME": name})
    if modern:
        msp.add_mtext(NOTE, dxfattribs={"layer": "NOTES", "insert": (0, -20), "char_height": 2})
    if version == "R2018":
        add_multiline_attributes(doc, msp)
    paper = doc.layout()
    ref = paper.add_blockref("TAG", (10, 10))
    ref.add_auto_attribs({"NUMBER": "P-1", "NAME": "Blatt 1"})
    paper.add_text("Sheet 1", dxfattribs={"insert": (5, 5)})
    references_to_synchronize(doc)
    return doc


def references_to_synchronize(doc) -> None:
    """Block references whose attributes differ from their block's
    definitions, for synchronizing: none at all (at every kind of placement:
    scaled, unevenly, mirrored, rotated, upside down, tilted, nested, in
    paper space), some missing, one the block no longer defines."""
    block = doc.blocks.new("MARK", base_point=(2, 1))
    block.add_circle((2, 1), 3)
    block.add_attdef("ID", (0, 0), text="M-?", dxfattribs={"height": 1.5, "layer": "NOTES"})
    centred = block.add_attdef("LABEL", (2, -2), text="label", dxfattribs={"height": 1, "rotation": 30, "width": 0.8})
    centred.dxf.halign, centred.dxf.valign, centred.dxf.align_point = 1, 2, (2, -2)
    block.add_attdef("SLANT", (4, 3), text="", dxfattribs={"height": 0.75, "oblique": 15, "flags": 8})
    block.add_attdef("KIND", (0, 5), text="fixed", dxfattribs={"flags": 2})
    msp = doc.modelspace()
    placements = [
        {"insert": (200, 0)},
        {"insert": (220, 0), "xscale": 2, "yscale": 2, "zscale": 2, "rotation": 45},
        {"insert": (240, 0), "xscale": 2, "yscale": 0.5, "rotation": 30},
        {"insert": (260, 0), "xscale": -1},
        {"insert": (280, 0), "extrusion": (0, 0, -1)},
        {"insert": (300, 0), "extrusion": (1, 1, 1), "rotation": 10},
    ]
    for attribs in placements:
        msp.add_blockref("MARK", attribs["insert"], dxfattribs={k: v for k, v in attribs.items() if k != "insert"})
    holder = doc.blocks.new("MARKS")
    holder.add_blockref("MARK", (0, 0), dxfattribs={"rotation": 90})
    msp.add_blockref("MARKS", (320, 0), dxfattribs={"xscale": 3, "yscale": 3})
    doc.layout().add_blockref("MARK", (50, 50))
    partial = msp.add_blockref("TAG", (340, 0), dxfattribs={"rotation": 15})
    partial.add_attrib("NUMBER", "kept 7", (340, 0))
    partial.add_attrib("RETIRED", "no definition", (340, -5))


def main(argv: list[str]) -> int:
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    folder = pathlib.Path(argv[0])
    folder.mkdir(parents=True, exist_ok=True)
    for version in VERSIONS:
        doc = make(version)
        doc.saveas(folder / f"ezdxf-{version}-ascii.dxf")
        doc.saveas(folder / f"ezdxf-{version}-binary.dxf", fmt="bin")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
