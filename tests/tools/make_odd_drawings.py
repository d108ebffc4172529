#!/usr/bin/python3
"""Writes drawings with ezdxf that hold what real files from many programs
hold, for tests/tools/sweep.py: code pages other than Latin-1 with text
outside them (which ezdxf writes as \\U+XXXX escapes), attributes with every
flag, multiple insertions, nested blocks, several paper layouts, long and
formatted MTEXT, escapes stored in a 2018 drawing, and the same drawing with
CR LF line ends, a byte-order mark, no EOF, unpadded group codes and an
upper-case extension.

    make_odd_drawings.py FOLDER
"""

from __future__ import annotations

import pathlib
import re
import sys

import ezdxf

CODE_PAGES = {
    "ANSI_1251": "Привет мир",
    "ANSI_932": "日本語テキスト",
    "ANSI_1253": "Καλημέρα",
    "ANSI_936": "中文文字",
    "ANSI_1250": "Zażółć gęślą",
    "ANSI_949": "한국어",
}


def code_page(version: str, cp: str, text: str):
    doc = ezdxf.new(version)
    doc.header["$DWGCODEPAGE"] = cp
    layer = "Слой-" + text[:3]
    doc.layers.add(layer)
    msp = doc.modelspace()
    msp.add_text(text + " Ω € ✓", dxfattribs={"layer": layer})
    block = doc.blocks.new("БЛОК")
    block.add_line((0, 0), (1, 1))
    block.add_attdef("ТЕГ", (0, 0))
    msp.add_blockref("БЛОК", (1, 1)).add_auto_attribs({"ТЕГ": text})
    msp.add_mtext(text + "\\Psecond ✓ line")
    return doc


def flags(version: str):
    doc = ezdxf.new(version)
    msp = doc.modelspace()
    block = doc.blocks.new("FLAGS")
    block.add_line((0, 0), (1, 1))
    block.add_attdef("INVIS", (0, 0), dxfattribs={"flags": 1})
    block.add_attdef("CONST", (0, 1), text="fixed", dxfattribs={"flags": 2})
    block.add_attdef("VERIFY", (0, 2), dxfattribs={"flags": 4})
    block.add_attdef("PRESET", (0, 3), dxfattribs={"flags": 8})
    block.add_attdef("EMPTY", (0, 4))
    ref = msp.add_blockref("FLAGS", (0, 0))
    ref.add_attrib("INVIS", "hidden value", (0, 0)).dxf.flags = 1
    ref.add_attrib("VERIFY", "checked", (0, 2)).dxf.flags = 4
    ref.add_attrib("PRESET", "pre", (0, 3)).dxf.flags = 8
    ref.add_attrib("EMPTY", "", (0, 4))
    ref.add_attrib("SPACES", "  padded  ", (0, 5))
    ref.add_attrib("PCT", "%%c50 %%d %%p0.1 %%u under %%o", (0, 6))
    grid = msp.add_blockref(
        "FLAGS", (10, 10), dxfattribs={"row_count": 2, "column_count": 3, "row_spacing": 5, "column_spacing": 5}
    )
    grid.add_attrib("INVIS", "minsert", (10, 10))
    outer = doc.blocks.new("OUTER")
    outer.add_blockref("FLAGS", (0, 0)).add_attrib("INVIS", "nested", (0, 0))
    outer.add_text("in block")
    msp.add_blockref("OUTER", (50, 50))
    for name in ("Sheet A", "Sheet B"):
        sheet = doc.layouts.new(name)
        sheet.add_text(f"text on {name}")
        sheet.add_blockref("FLAGS", (1, 1)).add_attrib("INVIS", name, (1, 1))
    if version != "R12":
        msp.add_mtext("x" * 260 + "\\P" + "y" * 600 + "{\\C1;red} \\U+00B0 %%d", dxfattribs={"insert": (0, -10)})
        msp.add_mtext("line1\\Pline2\\~nbsp\\\\backslash \\{brace\\}", dxfattribs={"insert": (0, -20)})
        msp.add_text("TEXT with \\U+00B0 degree and \\U+2300 diameter")
        msp.add_text("xdata text").set_xdata("ACAD", [(1000, "extended"), (1040, 1.5)])
    if version >= "R2018":
        dim = msp.add_linear_dim(base=(0, 5), p1=(0, 0), p2=(10, 0), text="<> \\U+00B1 0.1")
        dim.render()
    return doc


def main(argv: list[str]) -> int:
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    out = pathlib.Path(argv[0])
    out.mkdir(parents=True, exist_ok=True)
    for version in ("R2000", "R2004"):
        for cp, text in CODE_PAGES.items():
            code_page(version, cp, text).saveas(out / f"cp-{version}-{cp}.dxf")
    for version in ("R12", "R2000", "R2010", "R2018"):
        doc = flags(version)
        doc.saveas(out / f"flags-{version}.dxf")
        doc.saveas(out / f"flags-{version}-binary.dxf", fmt="bin")

    # \U+ escapes stored in a 2018 drawing, also in a layer name (AutoCAD
    # writes them there; ezdxf refuses to write them, so they are put in after).
    doc = ezdxf.new("R2018")
    doc.layers.add("EbeneXESC")
    doc.layers.add("Ünïcödé ✓")
    msp = doc.modelspace()
    msp.add_text("ok", dxfattribs={"layer": "EbeneXESC"})
    msp.add_text("Grad 90\\U+00B0", dxfattribs={"layer": "Ünïcödé ✓"})
    msp.add_mtext("\\U+0041\\U+00DF\\U+20AC mtext")
    path = out / "escapes-2018.dxf"
    doc.saveas(path)
    path.write_bytes(path.read_bytes().replace(b"EbeneXESC", b"Ebene\\U+00E4"))

    # One drawing in the forms other writers give it.
    src = (out / "flags-R2000.dxf").read_bytes()
    (out / "crlf-R2000.dxf").write_bytes(src.replace(b"\n", b"\r\n"))
    (out / "bom-R2000.dxf").write_bytes(b"\xef\xbb\xbf" + src)
    (out / "no-eof-R2000.dxf").write_bytes(src[: src.rfind(b"EOF")].rstrip(b" 0\n") + b"\n")
    (out / "unpadded-codes-R2000.dxf").write_bytes(re.sub(rb"(?m)^ +([0-9]+)$", rb"\1", src))
    (out / "UPPER-R2000.DXF").write_bytes(src)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
