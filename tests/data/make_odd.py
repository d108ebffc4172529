#!/usr/bin/python3
"""Writes the hand-made drawings of tests/data/odd/ and tests/data/bad/.

odd/ holds valid drawings written the unusual ways that real files come in:
LF or CR LF line ends, padded or bare group codes, trailing spaces after
codes, 999 comments, empty values, escapes in table names, no handles, a
Chinese code page, a multi-line attribute, attributes without SEQEND; and
drawings that break the rules the way some programs' files do and that CAD
programs open all the same (see repairable_drawings).
bad/ holds inputs that must be refused with a clear error.

The drawings are written group by group, not through a DXF library, so that
every byte is the one meant here. Run it again after a change; the output is
the same on every run:

    /usr/bin/python3 tests/data/make_odd.py
"""

from __future__ import annotations

import pathlib
import random
import struct
import sys
from dataclasses import dataclass, field

R12, R2000, R2004, R2007, R2010, R2018 = "AC1009", "AC1015", "AC1018", "AC1021", "AC1024", "AC1032"


@dataclass
class Entity:
    kind: str  # TEXT, MTEXT, LINE, INSERT
    layer: str = "0"
    at: tuple[float, float] = (0.0, 0.0)
    value: str = ""
    height: float = 2.5
    name: str = ""  # INSERT: the block
    attribs: list[tuple[str, str]] = field(default_factory=list)  # INSERT: (tag, value)
    seqend: bool = True  # INSERT with attributes: close them with SEQEND
    multiline: set[str] = field(default_factory=set)  # INSERT: tags whose attribute is multi-line
    color: int | None = None
    end: tuple[float, float] = (0.0, 0.0)  # LINE


@dataclass
class Block:
    name: str
    entities: list[Entity] = field(default_factory=list)
    attdefs: list[tuple[str, str]] = field(default_factory=list)  # (tag, prompt)


@dataclass
class Drawing:
    version: str
    codepage: str = "ANSI_1252"
    handles: bool = True
    layers: list[tuple[str, int]] = field(default_factory=lambda: [("0", 7)])  # (name, color; negative = off)
    blocks: list[Block] = field(default_factory=list)
    entities: list[Entity] = field(default_factory=list)
    paper: list[Entity] = field(default_factory=list)


def encode(text: str, version: str, codepage: str) -> bytes:
    """A string value as the file stores it: UTF-8 from 2007, else the code
    page with \\U+XXXX for the characters it lacks."""
    if version >= R2007:
        return text.encode("utf-8")
    charset = {"ANSI_1252": "cp1252", "ANSI_936": "gbk", "ANSI_1251": "cp1251"}[codepage]
    out = bytearray()
    for ch in text:
        try:
            out += ch.encode(charset)
        except UnicodeEncodeError:
            out += f"\\U+{ord(ch):04X}".encode("ascii")
    return bytes(out)


def number(v: float) -> str:
    return repr(float(v))


class Groups:
    """The groups of one drawing, in order: (code, value) with string values
    as bytes in the file's encoding."""

    def __init__(self, d: Drawing):
        self.d = d
        self.items: list[tuple[int, bytes]] = []
        self.seed = 0x20
        self.subclasses = d.version > R12

    def add(self, code: int, value) -> None:
        if isinstance(value, bytes):
            self.items.append((code, value))
        elif isinstance(value, float):
            self.items.append((code, number(value).encode()))
        elif isinstance(value, int):
            self.items.append((code, str(value).encode()))
        else:
            self.items.append((code, encode(value, self.d.version, self.d.codepage)))

    def handle(self, owner: str | None = None) -> str:
        """Gives the next handle (and the owner link) to the record begun last."""
        h = f"{self.seed:X}"
        self.seed += 1
        if self.d.handles:
            self.add(5, h)
            if owner is not None and self.subclasses:
                self.add(330, owner)
        return h

    def marker(self, name: str) -> None:
        if self.subclasses:
            self.add(100, name)

    def point(self, base: int, p: tuple[float, float]) -> None:
        self.add(base, float(p[0]))
        self.add(base + 10, float(p[1]))
        self.add(base + 20, 0.0)


def write_groups(d: Drawing) -> list[tuple[int, bytes]]:
    g = Groups(d)
    v = d.version
    modern = v > R12

    # Handles are given out in writing order; the owners that entities and
    # table entries point at are laid down first.
    block_record_table = "1"
    layer_table = "2"
    model_record, paper_record = "3", "4"
    root_dict, group_dict = "5", "6"
    g.seed = 0x10
    block_records = {b.name: f"{0x100 + k:X}" for k, b in enumerate(d.blocks)}

    g.add(0, "SECTION")
    g.add(2, "HEADER")
    g.add(9, "$ACADVER")
    g.add(1, v)
    if v < R2007 or d.codepage != "ANSI_1252":
        g.add(9, "$DWGCODEPAGE")
        g.add(3, d.codepage)
    if v == R12:
        g.add(9, "$HANDLING")
        g.add(70, 1 if d.handles else 0)
    if d.handles:
        g.add(9, "$HANDSEED")
        g.add(5, "FFFF")
    g.add(0, "ENDSEC")

    g.add(0, "SECTION")
    g.add(2, "TABLES")
    if modern:
        g.add(0, "TABLE")
        g.add(2, "BLOCK_RECORD")
        if d.handles:
            g.add(5, block_record_table)
            g.add(330, "0")
        g.marker("AcDbSymbolTable")
        g.add(70, 2 + len(d.blocks))
        for name, h in [("*Model_Space", model_record), ("*Paper_Space", paper_record)] + list(block_records.items()):
            g.add(0, "BLOCK_RECORD")
            g.add(5, h)
            g.add(330, block_record_table)
            g.marker("AcDbSymbolTableRecord")
            g.marker("AcDbBlockTableRecord")
            g.add(2, name)
        g.add(0, "ENDTAB")
    g.add(0, "TABLE")
    g.add(2, "LAYER")
    if d.handles:
        g.add(5, layer_table)
        if modern:
            g.add(330, "0")
    g.marker("AcDbSymbolTable")
    g.add(70, len(d.layers))
    for name, color in d.layers:
        g.add(0, "LAYER")
        g.handle(layer_table)
        g.marker("AcDbSymbolTableRecord")
        g.marker("AcDbLayerTableRecord")
        g.add(2, name)
        g.add(70, 0)
        g.add(62, color)
        g.add(6, "CONTINUOUS")
    g.add(0, "ENDTAB")
    g.add(0, "ENDSEC")

    g.add(0, "SECTION")
    g.add(2, "BLOCKS")
    spaces = [("*Model_Space", model_record, []), ("*Paper_Space", paper_record, [])] if modern else []
    for name, record, entities in spaces + [(b.name, block_records[b.name], b) for b in d.blocks]:
        block = entities if isinstance(entities, Block) else Block(name)
        g.add(0, "BLOCK")
        owner = g.handle(record)
        g.marker("AcDbEntity")
        g.add(8, "0")
        g.marker("AcDbBlockBegin")
        g.add(2, name)
        g.add(70, 2 if block.attdefs else 0)
        g.point(10, (0, 0))
        g.add(3, name)
        g.add(1, "")
        for k, (tag, prompt) in enumerate(block.attdefs):
            g.add(0, "ATTDEF")
            g.handle(record)
            g.marker("AcDbEntity")
            g.add(8, "0")
            g.marker("AcDbText")
            g.point(10, (0, -5.0 * k))
            g.add(40, 2.5)
            g.add(1, "")
            g.marker("AcDbAttributeDefinition")
            if v >= R2010:
                g.add(280, 0)
            g.add(3, prompt)
            g.add(2, tag)
            g.add(70, 0)
        for e in block.entities:
            entity(g, e, record, paper=False)
        g.add(0, "ENDBLK")
        g.handle(record)
        g.marker("AcDbEntity")
        g.add(8, "0")
        g.marker("AcDbBlockEnd")
        del owner
    g.add(0, "ENDSEC")

    g.add(0, "SECTION")
    g.add(2, "ENTITIES")
    for e in d.entities:
        entity(g, e, model_record, paper=False)
    for e in d.paper:
        entity(g, e, paper_record, paper=True)
    g.add(0, "ENDSEC")

    if modern:
        g.add(0, "SECTION")
        g.add(2, "OBJECTS")
        g.add(0, "DICTIONARY")
        g.add(5, root_dict)
        g.add(330, "0")
        g.marker("AcDbDictionary")
        g.add(3, "ACAD_GROUP")
        g.add(350, group_dict)
        g.add(0, "DICTIONARY")
        g.add(5, group_dict)
        g.add(330, root_dict)
        g.marker("AcDbDictionary")
        g.add(0, "ENDSEC")
    g.add(0, "EOF")
    return g.items


def entity(g: Groups, e: Entity, owner: str, paper: bool) -> None:
    v = g.d.version

    def common(kind: str, own: str = owner) -> str:
        g.add(0, kind)
        h = g.handle(own)
        g.marker("AcDbEntity")
        if paper:
            g.add(67, 1)
        g.add(8, e.layer)
        if e.color is not None:
            g.add(62, e.color)
        return h

    if e.kind == "LINE":
        common("LINE")
        g.marker("AcDbLine")
        g.point(10, e.at)
        g.point(11, e.end)
    elif e.kind == "TEXT":
        common("TEXT")
        g.marker("AcDbText")
        g.point(10, e.at)
        g.add(40, e.height)
        g.add(1, e.value)
        g.marker("AcDbText")
    elif e.kind == "MTEXT":
        common("MTEXT")
        g.marker("AcDbMText")
        g.point(10, e.at)
        g.add(40, e.height)
        g.add(41, 100.0)
        g.add(71, 1)
        mtext_chunks(g, e.value)
    elif e.kind == "INSERT":
        insert = common("INSERT")
        g.marker("AcDbBlockReference")
        if e.attribs:
            g.add(66, 1)
        g.add(2, e.name)
        g.point(10, e.at)
        for k, (tag, value) in enumerate(e.attribs):
            at = (e.at[0], e.at[1] - 5.0 * k)
            g.add(0, "ATTRIB")
            g.handle(insert)
            g.marker("AcDbEntity")
            if paper:
                g.add(67, 1)
            g.add(8, e.layer)
            g.marker("AcDbText")
            g.point(10, at)
            g.add(40, 2.5)
            multi = tag in e.multiline
            # A multi-line attribute keeps its whole text, lines joined by
            # \P, as its value, and again in its embedded MTEXT.
            g.add(1, value)
            g.marker("AcDbAttribute")
            if v >= R2010:
                g.add(280, 0)
            g.add(2, tag)
            g.add(70, 0)
            if multi:
                g.add(101, "Embedded Object")
                g.point(10, at)
                g.add(40, 2.5)
                g.add(41, 80.0)
                g.add(46, 0.0)
                g.add(71, 1)
                g.add(72, 5)
                mtext_chunks(g, value)
        if e.attribs and e.seqend:
            g.add(0, "SEQEND")
            g.handle(insert)
            g.marker("AcDbEntity")
            if paper:
                g.add(67, 1)
            g.add(8, e.layer)
    else:
        raise ValueError(e.kind)


def mtext_chunks(g: Groups, value: str) -> None:
    """MTEXT text: full 250-byte pieces as 3 groups, the rest as 1."""
    data = encode(value, g.d.version, g.d.codepage)
    pieces = []
    while len(data) > 250:
        cut = 250
        if g.d.version >= R2007:
            while cut > 0 and (data[cut] & 0xC0) == 0x80:  # not inside a UTF-8 sequence
                cut -= 1
        pieces.append(data[:cut])
        data = data[cut:]
    for piece in pieces:
        g.add(3, piece)
    g.add(1, data)


@dataclass
class Style:
    eol: bytes = b"\r\n"
    pad: bool = True  # right-align group codes in three columns
    trailing: bytes = b""  # after every group code
    comments: dict[int, list[str]] = field(default_factory=dict)  # before group index: 999 lines


def ascii_dxf(groups: list[tuple[int, bytes]], style: Style) -> bytes:
    out = bytearray()
    for index, (code, value) in enumerate(groups):
        for comment in style.comments.get(index, []):
            out += b"999" + style.trailing + style.eol + comment.encode() + style.eol
        text = str(code).rjust(3) if style.pad else str(code)
        out += text.encode() + style.trailing + style.eol + value + style.eol
    return bytes(out)


def binary_dxf(groups: list[tuple[int, bytes]]) -> bytes:
    """Binary DXF of release 13 and later: 2-byte codes, NUL-ended strings,
    little-endian numbers."""
    out = bytearray(b"AutoCAD Binary DXF\r\n\x1a\x00")
    for code, value in groups:
        out += struct.pack("<h", code)
        if 10 <= code <= 59 or 110 <= code <= 149 or 210 <= code <= 239 or 460 <= code <= 469 or 1010 <= code <= 1059:
            out += struct.pack("<d", float(value))
        elif (60 <= code <= 79 or 170 <= code <= 179 or 270 <= code <= 289 or 370 <= code <= 389
              or 400 <= code <= 409 or 1060 <= code <= 1070):
            out += struct.pack("<h", int(value))
        elif 90 <= code <= 99 or 420 <= code <= 429 or 440 <= code <= 459 or code == 1071:
            out += struct.pack("<i", int(value))
        elif 290 <= code <= 299:
            out += struct.pack("<B", int(value))
        else:
            out += value + b"\x00"
    return bytes(out)


def index_of(groups, code: int, value: str, start: int = 0) -> int:
    for i in range(start, len(groups)):
        if groups[i] == (code, value.encode()):
            return i
    raise ValueError(value)


# The drawings.

def title_block() -> Block:
    return Block(
        "TITLE",
        entities=[Entity("LINE", at=(0, 0), end=(180, 0)), Entity("TEXT", at=(2, 2), value="DRAWING NO.", height=1.8)],
        attdefs=[("DWG_NO", "Drawing number"), ("TITLE", "Title"), ("REV", "Revision")],
    )


def plan(version: str, **kw) -> Drawing:
    """A small plan: layers, a title block insert, a note and a label."""
    d = Drawing(
        version,
        layers=[("0", 7), ("WALLS", 7), ("NOTES", 2), ("HIDDEN", -8)],
        blocks=[title_block()],
        entities=[
            Entity("LINE", layer="WALLS", at=(0, 0), end=(100, 0)),
            Entity("LINE", layer="WALLS", at=(100, 0), end=(100, 60)),
            Entity("TEXT", layer="NOTES", at=(10, 10), value="GROUND FLOOR"),
            Entity("TEXT", layer="NOTES", at=(10, 20), value='Door <D1> & "fire" = EI30'),
            Entity("INSERT", name="TITLE", at=(200, 0), attribs=[("DWG_NO", "A-101"), ("TITLE", "Plan & notes"),
                                                                 ("REV", "B")]),
        ],
    )
    if version > R12:
        d.entities.append(Entity("MTEXT", layer="NOTES", at=(10, 40), value="First line\\PSecond {\\H2x;line}"))
    for key, value in kw.items():
        setattr(d, key, value)
    return d


def odd_drawings() -> dict[str, bytes]:
    files: dict[str, bytes] = {}

    files["lf-line-ends-R12.dxf"] = ascii_dxf(write_groups(plan(R12)), Style(eol=b"\n"))
    files["crlf-line-ends-2000.dxf"] = ascii_dxf(write_groups(plan(R2000)), Style(eol=b"\r\n"))
    files["unpadded-codes-2004.dxf"] = ascii_dxf(write_groups(plan(R2004)), Style(pad=False))
    files["padded-codes-lf-2010.dxf"] = ascii_dxf(write_groups(plan(R2010)), Style(eol=b"\n", pad=True))
    files["trailing-spaces-after-codes-2000.dxf"] = ascii_dxf(write_groups(plan(R2000)), Style(trailing=b"  "))

    groups = write_groups(plan(R2007))
    first_entity = index_of(groups, 2, "ENTITIES") + 1
    second_entity = index_of(groups, 0, "LINE", first_entity + 1)
    files["comments-2007.dxf"] = ascii_dxf(
        groups,
        Style(comments={
            0: ["Written by hand for the reader's tests", "999 lines are comments"],
            first_entity: ["entities follow"],
            second_entity: ["between two entities", ""],
        }),
    )

    # Empty values: a text without characters, an attribute left blank, a
    # block without description.
    d = plan(R2000)
    d.entities.append(Entity("TEXT", layer="NOTES", at=(10, 30), value=""))
    d.entities.append(Entity("INSERT", name="TITLE", at=(200, 100), attribs=[("DWG_NO", ""), ("TITLE", ""),
                                                                           ("REV", "")]))
    files["empty-values-2000.dxf"] = ascii_dxf(write_groups(d), Style())

    # Names that the code page cannot hold, stored as \U+XXXX escapes: Greek
    # and Cyrillic layer names, a block named in Greek.
    greek = Block("ΠΙΝΑΚΙΔΑ", entities=[Entity("LINE", at=(0, 0), end=(50, 0))],
                  attdefs=[("ΑΡΙΘΜΟΣ", "Αριθμός σχεδίου")])
    d = plan(R2000)
    d.layers += [("Τοίχοι", 1), ("Стены-Ж", 3), ("Ébauche", 5)]
    d.blocks.append(greek)
    d.entities += [
        Entity("TEXT", layer="Τοίχοι", at=(0, 70), value="Τοίχος 25 cm"),
        Entity("TEXT", layer="Стены-Ж", at=(0, 75), value="Стена"),
        Entity("INSERT", layer="Ébauche", name="ΠΙΝΑΚΙΔΑ", at=(300, 0), attribs=[("ΑΡΙΘΜΟΣ", "Α-101")]),
    ]
    files["escaped-table-names-2000.dxf"] = ascii_dxf(write_groups(d), Style())

    files["no-handles-R12.dxf"] = ascii_dxf(write_groups(plan(R12, handles=False)), Style())

    # Chinese code page: GBK bytes in layer and block names, texts and
    # attribute values.
    chinese = Block("图框", entities=[Entity("TEXT", at=(0, 0), value="图号")], attdefs=[("图号", "图纸编号"),
                                                                                     ("名称", "图纸名称")])
    d = Drawing(
        R2000,
        codepage="ANSI_936",
        layers=[("0", 7), ("墙体", 7), ("标注", 2), ("家具", 30), ("隐藏", -8)],
        blocks=[chinese],
        entities=[
            Entity("LINE", layer="墙体", at=(0, 0), end=(100, 0)),
            Entity("TEXT", layer="标注", at=(10, 10), value="一层平面图 1:100"),
            Entity("TEXT", layer="标注", at=(10, 20), value="防火门 <甲级> & \"常闭\""),
            Entity("MTEXT", layer="标注", at=(10, 30), value="说明：\\P1. 尺寸单位为毫米。\\P2. {\\H1.5x;门窗}详见门窗表。"),
            Entity("INSERT", layer="家具", name="图框", at=(200, 0), attribs=[("图号", "建施-01"), ("名称", "一层平面图")]),
        ],
    )
    files["chinese-ANSI_936-2000.dxf"] = ascii_dxf(write_groups(d), Style())

    # A multi-line attribute, as later CAD programs write it.
    d = plan(R2018)
    d.entities.append(Entity(
        "INSERT", name="TITLE", at=(200, 100),
        attribs=[("DWG_NO", "A-102"), ("TITLE", "Ground floor\\PNorth wing — “Λ” block"), ("REV", "C")],
        multiline={"TITLE"},
    ))
    d.entities.append(Entity("MTEXT", layer="NOTES", at=(10, 80), value=long_note()))
    files["multiline-attribute-2018.dxf"] = ascii_dxf(write_groups(d), Style())

    # An INSERT whose ATTRIBs are not closed by SEQEND: the end of the
    # section ends them. (Readers differ on a missing SEQEND before another
    # entity; this is the form that they all take.)
    d = plan(R12)
    d.entities = [
        Entity("INSERT", name="TITLE", at=(0, 100), attribs=[("DWG_NO", "S-1"), ("TITLE", "Sheet one"), ("REV", "A")]),
        Entity("TEXT", layer="NOTES", at=(10, 10), value="before the last insert"),
        Entity("INSERT", name="TITLE", at=(0, 0), attribs=[("DWG_NO", "S-2"), ("TITLE", "Sheet two"), ("REV", "B")],
               seqend=False),
    ]
    files["attribs-without-seqend-R12.dxf"] = ascii_dxf(write_groups(d), Style())

    # Paper space entities in a release 12 drawing (67 = 1).
    d = plan(R12)
    d.paper = [Entity("INSERT", name="TITLE", at=(0, 0), attribs=[("DWG_NO", "P-1"), ("TITLE", "Paper"), ("REV", "0")]),
               Entity("TEXT", at=(5, 5), value="on paper")]
    files["paper-space-R12.dxf"] = ascii_dxf(write_groups(d), Style())

    files["binary-2010.dxf"] = binary_dxf(write_groups(plan(R2010)))
    files.update(repairable_drawings())
    return files


def repairable_drawings() -> dict[str, bytes]:
    """Drawings that break the rules the way files from some programs do, and
    that CAD programs (and ezdxf's recovering reader) open all the same."""
    files: dict[str, bytes] = {}

    # A header cut short by a stray ENDSEC, with more header variables after
    # it (the code page among them) and a second ENDSEC, as one widely used
    # CAD library writes its files. The code page decides the Cyrillic text.
    d = plan(R12, codepage="ANSI_1251")
    d.entities.append(Entity("TEXT", layer="NOTES", at=(10, 50), value="Разрез 1-1"))
    groups = write_groups(d)
    at = index_of(groups, 9, "$DWGCODEPAGE")
    files["header-cut-by-endsec-R12.dxf"] = ascii_dxf(groups[:at] + [(0, b"ENDSEC")] + groups[at:], Style())

    # A comment and $ACADVER ahead of the first section, and a HEADER
    # section without it, as a photoplotting program writes them.
    groups = write_groups(plan(R2004))
    at = index_of(groups, 9, "$ACADVER")
    version = groups[at:at + 2]
    groups = groups[:at] + groups[at + 2:]
    files["acadver-before-first-section-2004.dxf"] = ascii_dxf(
        [(999, b"photoplot export")] + version + groups, Style())

    # Minimal drawings: no HEADER, no TABLES, or nothing but the entities
    # (as CAM and plotting programs write them; DXF allows it).
    groups = write_groups(plan(R2000))
    header_end = index_of(groups, 0, "ENDSEC") + 1
    files["no-header-2000.dxf"] = ascii_dxf(groups[header_end:], Style())
    tables_start = index_of(groups, 2, "TABLES") - 1
    tables_end = index_of(groups, 0, "ENDSEC", tables_start) + 1
    files["no-tables-2000.dxf"] = ascii_dxf(groups[:tables_start] + groups[tables_end:], Style())
    groups = write_groups(plan(R12))
    start = index_of(groups, 2, "ENTITIES") - 1
    end = index_of(groups, 0, "ENDSEC", start) + 1
    files["entities-only-R12.dxf"] = ascii_dxf(groups[start:end] + [(0, b"EOF")], Style(pad=False, eol=b"\n"))

    # Handles: an attribute and a text whose handle group is empty, a text
    # and an attribute that repeat the handles of objects before them.
    d = plan(R2000)
    d.entities.append(Entity("TEXT", layer="NOTES", at=(10, 30), value="Same handle as GROUND FLOOR"))
    d.entities.append(Entity("TEXT", layer="NOTES", at=(10, 35), value="Empty handle"))
    d.entities.append(Entity("INSERT", name="TITLE", at=(200, 100),
                             attribs=[("DWG_NO", "A-102"), ("TITLE", "Empty handle"), ("REV", "Same as A-101")]))
    groups = write_groups(d)

    def handle_of(value: str) -> int:
        """The index of the handle group of the record holding `value`."""
        at = index_of(groups, 1, value)
        while groups[at][0] != 5:
            at -= 1
        return at

    groups[handle_of("Same handle as GROUND FLOOR")] = groups[handle_of("GROUND FLOOR")]
    groups[handle_of("Empty handle")] = (5, b"")
    # The attribute of that value too, which comes after the text.
    title_at = [k for k, g in enumerate(groups) if g == (1, b"Empty handle")][-1]
    while groups[title_at][0] != 5:
        title_at -= 1
    groups[title_at] = (5, b"")
    groups[handle_of("Same as A-101")] = groups[handle_of("A-101")]
    files["duplicate-and-empty-handles-2000.dxf"] = ascii_dxf(groups, Style())

    # A record between two sections, and a section whose ENDSEC is missing:
    # the next SECTION ends it.
    groups = write_groups(plan(R2000))
    at = index_of(groups, 2, "BLOCKS") - 1
    groups = groups[:at] + [(0, b"LINE"), (8, b"0"), (10, b"0.0"), (20, b"0.0"), (30, b"0.0"), (11, b"1.0"),
                            (21, b"1.0"), (31, b"0.0")] + groups[at:]
    at = index_of(groups, 2, "ENTITIES") - 2
    assert groups[at] == (0, b"ENDSEC")
    files["records-outside-sections-2000.dxf"] = ascii_dxf(groups[:at] + groups[at + 1:], Style())

    # A group code that DXF does not define: its value is kept as text.
    good = ascii_dxf(write_groups(plan(R2000)), Style())
    files["unknown-group-code-2000.dxf"] = good.replace(b" 40\r\n2.5\r\n", b"1234\r\n2.5\r\n", 1)
    # The file ends with the code of its EOF, the name lost.
    files["eof-without-value-2000.dxf"] = good[:good.rindex(b"EOF\r\n")]

    # \U+XXXX escapes in a 2018 drawing, as AutoCAD still writes them there:
    # a degree sign in a text, a layer and a block named with them.
    d = plan(R2018)
    d.layers.append(("Ebene \\U+00C4nderung", 3))
    d.blocks.append(Block("Schild \\U+00DC", entities=[Entity("LINE", at=(0, 0), end=(20, 0))],
                          attdefs=[("WINKEL", "Winkel")]))
    d.entities += [
        Entity("TEXT", layer="Ebene \\U+00C4nderung", at=(0, 80), value="Neigung 45\\U+00B0"),
        Entity("INSERT", name="Schild \\U+00DC", at=(300, 0), attribs=[("WINKEL", "30\\U+00B0 \\U+00B1 1\\U+00B0")]),
    ]
    files["unicode-escapes-2018.dxf"] = ascii_dxf(write_groups(d), Style())

    # The same drawings' kinds under other extensions: upper case, and
    # binary DXF under its own extension.
    files["upper-case-extension-2000.DXF"] = ascii_dxf(write_groups(plan(R2000)), Style())
    files["binary-2013.dxfb"] = binary_dxf(write_groups(plan("AC1027")))
    return files


def long_note() -> str:
    """A note over 250 bytes with non-ASCII spread over it, so that chunk
    boundaries fall next to multi-byte characters."""
    words = ["Façade", "Ωmega", "размер", "尺寸", "naïve", "Ærø", "„quoted“", "½", "€"]
    parts = [f"{k + 1}. {words[k % len(words)]} detail {k:02d}" for k in range(30)]
    return "\\P".join(parts)


def bad_inputs() -> dict[str, bytes]:
    files: dict[str, bytes] = {}
    good = ascii_dxf(write_groups(plan(R2000)), Style())
    lines = good.split(b"\r\n")

    # Cut inside an entity: after the TEXT's value, before its other groups;
    # and in the middle of that value's line.
    cut = good.index(b"GROUND FLOOR")
    files["truncated-in-entity.dxf"] = good[:cut + len(b"GROUND FLOOR\r\n")]
    files["truncated-mid-line.dxf"] = good[:cut + len(b"GROUND F")]
    # One value line lost in the middle: from there on codes and values are
    # read out of step.
    at = lines.index(b"ENTITIES") + 4
    files["odd-line-count.dxf"] = b"\r\n".join(lines[:at] + lines[at + 1:])
    # A letter where a digit of a group code belongs.
    files["code-not-a-number.dxf"] = good.replace(b" 40\r\n2.5\r\n", b" 4O\r\n2.5\r\n", 1)
    # A group code far beyond any that DXF or its binary form can hold.
    files["code-out-of-range.dxf"] = good.replace(b" 40\r\n2.5\r\n", b"4000000\r\n2.5\r\n", 1)
    # Comments and nothing else: no record at all.
    files["comments-only.dxf"] = b"999\r\nexported by hand\r\n999\r\nno drawing follows\r\n"
    # Binary DXF with a code DXF does not define: its value's size is unknown.
    binary = binary_dxf(write_groups(plan(R2010)))
    at = binary.index(struct.pack("<h", 40))
    files["binary-unknown-group-code.dxf"] = binary[:at] + struct.pack("<h", 1234) + binary[at + 2:]
    rng = random.Random(20240611)
    files["binary-blob.dxf"] = bytes(rng.randrange(256) for _ in range(4096))
    binary = binary_dxf(write_groups(plan(R2010)))
    files["binary-truncated.dxf"] = binary[: len(binary) * 2 // 3]
    files["empty.dxf"] = b""
    # A DWG file's signature under a DXF name.
    files["dwg-named-dxf.dxf"] = b"AC1032\x00\x00\x00\x00\x00\x00" + bytes(rng.randrange(256) for _ in range(1024))
    return files


def main() -> int:
    here = pathlib.Path(__file__).resolve().parent
    for folder, files in (("odd", odd_drawings()), ("bad", bad_inputs())):
        target = here / folder
        target.mkdir(exist_ok=True)
        for name, data in files.items():
            (target / name).write_bytes(data)
        print(f"{folder}: {len(files)} files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
