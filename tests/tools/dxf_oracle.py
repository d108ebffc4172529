#!/usr/bin/python3
"""What an independent DXF reader (ezdxf) sees in a drawing, as JSON.

    dxf_oracle.py DRAWING            layers, block attributes, texts
    dxf_oracle.py --full DRAWING     the same, plus every entity's DXF values
                                     and every layer's table entry
    dxf_oracle.py --audit DRAWING    ezdxf's audit: errors and fixes
    dxf_oracle.py --full --audit DRAWING
                                     the full dump with the audit as "audit"
    dxf_oracle.py --references DRAWING
                                     every block reference: its attributes,
                                     and the attributes its block's
                                     definitions give it as ezdxf places them

With several drawings the output is one object keyed by their paths.

The tests compare this with what tessilux exports and with what its edits
leave behind. Text is given as stored: MTEXT as its raw text with formatting
codes, chunks joined. \\U+XXXX escapes, which drawings of every version
hold, are decoded here, since ezdxf leaves them as they stand.

Exit status: 0 done, 1 ezdxf could not read a drawing (the reason in its
JSON's "error" and on standard error), 2 wrong usage.
"""

from __future__ import annotations

import io
import json
import math
import re
import sys

import ezdxf
from ezdxf.lldxf.const import DXFError, DXFStructureError

ESCAPE = re.compile(r"\\[Uu]\+([0-9A-Fa-f]{4})")
SURROGATE_PAIR = re.compile(r"([\ud800-\udbff])([\udc00-\udfff])")


def read(path: str):
    """Reads the drawing as ezdxf.readfile does, and also tells which layers
    the file itself holds: ezdxf adds the layers it requires ("0",
    "Defpoints") when a file lacks them."""
    from ezdxf.document import Drawing
    from ezdxf.filemanagement import dxf_file_info
    from ezdxf.lldxf.tagger import ascii_tags_loader, binary_tags_loader, tag_compiler
    from ezdxf.lldxf.validator import is_binary_dxf_file, is_dxf_file

    if is_binary_dxf_file(path):
        with open(path, "rb") as fp:
            raw = list(binary_tags_loader(fp.read(), errors="surrogateescape"))
    else:
        with open(path, "rb") as fp:
            data = fp.read()
        # A byte-order mark in front (some .NET writers put one there) hides
        # the file from ezdxf's test for DXF; its loaders read what follows.
        bom = data.startswith(b"\xef\xbb\xbf")
        if not bom and not is_dxf_file(path):
            raise IOError(f"{path} is not a DXF file")
        info = dxf_file_info(path) if not bom else None
        text = data[3 if bom else 0 :].decode(info.encoding if info else "utf-8", errors="surrogateescape")
        raw = list(ascii_tags_loader(io.StringIO(text, newline=None)))
    layers = set()
    in_layer = False
    for tag in raw:
        if tag.code == 0:
            in_layer = str(tag.value).strip() == "LAYER"
        elif tag.code == 2 and in_layer:
            layers.add(tag.value)
            in_layer = False
    mtexts = stored_mtext(raw)
    try:
        if breaks_structure(raw):
            raise DXFStructureError("groups outside the sections")
        doc = Drawing.from_tags(tag_compiler(iter(raw)))
    except (DXFStructureError, ValueError):
        # Old or damaged structure that ezdxf's strict loader refuses (or
        # reads without noticing what it misses, such as header variables
        # outside the HEADER); its recovering loader reads such files the
        # way CAD programs do.
        from ezdxf import recover

        doc, _ = recover.readfile(path)
    doc.filename = path
    return doc, layers, mtexts


def breaks_structure(tags) -> bool:
    """True when groups other than comments stand outside any section, or a
    section starts before the one before it has ended."""
    inside = False
    for tag in tags:
        if tag.code == 999:
            continue
        name = str(tag.value).strip() if tag.code == 0 else None
        if name == "SECTION":
            if inside:
                return True
            inside = True
        elif name == "ENDSEC":
            if not inside:
                return True
            inside = False
        elif name == "EOF":
            return False
        elif not inside:
            return True
    return False


def stored_mtext(tags) -> dict:
    """Each MTEXT's text as the file stores it, by handle: its 3 groups and
    its 1 group joined, before any embedded object or extended data (ezdxf's
    own text turns line breaks, which binary DXF can hold, into \\P); and
    the length of the longest of those groups."""
    texts = {}
    handle, parts, last, inside, bracket, ended = None, [], "", False, False, False
    for tag in tags:
        if tag.code == 0:
            if inside and handle is not None:
                texts[handle] = ("".join(parts) + last, max(len(p) for p in parts + [last]))
            inside = str(tag.value).strip() == "MTEXT"
            handle, parts, last, bracket, ended = None, [], "", False, False
            continue
        if not inside or ended:
            continue
        if tag.code == 102:
            bracket = str(tag.value).startswith("{")
        elif bracket:
            continue
        elif tag.code == 5:
            handle = tag.value
        elif tag.code in (101, 1001):
            ended = True
        elif tag.code == 3:
            parts.append(tag.value)
        elif tag.code == 1:
            last = tag.value
    return texts


class Reader:
    def __init__(self, doc, file_layers=None, mtexts=None):
        self.doc = doc
        self.file_layers = file_layers
        self.mtexts = mtexts or {}
        # \U+XXXX escapes stand for characters in every version: older
        # drawings need them for characters outside their code page, and
        # AutoCAD still writes them into 2007-and-later drawings (in
        # dimension text, in table names).
        self.decode_escapes = True

    def text(self, value) -> str:
        if value is None:
            return ""
        s = str(value)
        # Bytes that were not text in the file's encoding come back as lone
        # surrogates (surrogateescape); show them as the byte's Latin-1
        # character so that they survive JSON.
        s = re.sub(r"[\udc80-\udcff]", lambda m: chr(ord(m.group(0)) - 0xDC00), s)
        if self.decode_escapes and "\\" in s:
            s = ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), s)
            s = SURROGATE_PAIR.sub(
                lambda m: chr(0x10000 + ((ord(m.group(1)) - 0xD800) << 10) + (ord(m.group(2)) - 0xDC00)), s
            )
        return s

    # Where entities stand: the layouts (model space, then paper layouts),
    # then the block definitions that are not layouts.
    def holders(self):
        doc = self.doc
        layout_blocks = set()
        for name in doc.layouts.names_in_taborder():
            layout = doc.layouts.get(name)
            layout_blocks.add(layout.block_record_name.upper())
            yield self.text(layout.block_record_name), self.text(layout.name), layout
        for block in doc.blocks:
            if block.name.upper() in layout_blocks:
                continue
            yield self.text(block.name), "", block

    def layers(self, full: bool):
        out = []
        # ezdxf's recovering loader decodes \U+XXXX in table names, its strict
        # one does not: compare decoded names.
        in_file = None if self.file_layers is None else {self.text(n) for n in self.file_layers}
        for layer in self.doc.layers:
            if in_file is not None and self.text(layer.dxf.name) not in in_file:
                continue
            color = layer.dxf.get("color", 7)
            entry = {
                "name": self.text(layer.dxf.name),
                "on": color >= 0,
                "color": abs(color),
                "frozen": layer.is_frozen(),
                "locked": layer.is_locked(),
            }
            if layer.dxf.hasattr("true_color"):
                entry["true_color"] = layer.dxf.true_color & 0xFFFFFF
            if full:
                # Material and plot style links: ezdxf makes up the objects
                # (and their handles) when a file has none.
                entry["dxf"] = self.values(
                    layer.dxfattribs(drop={"handle", "owner", "material_handle", "plotstyle_handle"})
                )
            out.append(entry)
        return out

    def values(self, attribs: dict) -> dict:
        out = {}
        for key, value in sorted(attribs.items()):
            out[key] = self.value(value)
        return out

    def value(self, v):
        if isinstance(v, bool) or isinstance(v, int):
            return v
        if isinstance(v, float):
            return v if math.isfinite(v) else repr(v)
        if isinstance(v, str):
            return self.text(v)
        if hasattr(v, "__iter__"):
            return [self.value(x) for x in v]
        return repr(v)

    def mtext(self, e) -> str:
        stored = self.mtexts.get(e.dxf.get("handle", ""))
        return stored[0] if stored else e.text

    def point(self, entity, name: str = "insert"):
        p = entity.dxf.get(name, (0, 0, 0))
        return [float(p[0]), float(p[1]), float(p[2]) if len(p) > 2 else 0.0]

    def content(self, full: bool):
        doc = self.doc
        attributes, texts, entities = [], [], {}
        for block_name, layout_name, space in self.holders():
            for e in space:
                kind = e.dxftype()
                handle = e.dxf.get("handle", "")
                if full:
                    self.entity(e, block_name, layout_name, entities)
                if kind == "INSERT":
                    for a in e.attribs:
                        attributes.append(
                            {
                                "handle": a.dxf.get("handle", ""),
                                "tag": self.text(a.dxf.get("tag", "")),
                                "value": self.text(attribute_value(a)),
                                "insert": handle,
                                "insert_name": self.text(e.dxf.get("name", "")),
                                "layer": self.text(e.dxf.get("layer", "0")),
                                "block": block_name,
                                "layout": layout_name,
                            }
                        )
                elif kind in ("TEXT", "MTEXT"):
                    texts.append(
                        {
                            "handle": handle,
                            "type": kind,
                            "value": self.text(self.mtext(e) if kind == "MTEXT" else e.dxf.get("text", "")),
                            "layer": self.text(e.dxf.get("layer", "0")),
                            "position": self.point(e),
                            "block": block_name,
                            "layout": layout_name,
                        }
                    )
        out = {
            "version": doc.loaded_dxfversion or doc.dxfversion,
            "handles": has_handles(doc),
            "layers": self.layers(full),
            "attributes": attributes,
            "texts": texts,
            "xrefs": [
                {"name": self.text(b.name), "path": self.text(b.block.dxf.get("xref_path", ""))}
                for b in doc.blocks
                if b.block.dxf.get("flags", 0) & 4
            ],
        }
        if full:
            out["entities"] = entities
        return out

    def entity(self, e, block_name: str, layout_name: str, into: dict):
        key = e.dxf.get("handle", "") or f"#{len(into)}"
        entry = {
            "type": e.dxftype(),
            "block": block_name,
            "layout": layout_name,
            "dxf": self.values(e.dxfattribs(drop={"handle", "owner"})),
        }
        if e.dxftype() == "MTEXT":
            entry["text"] = self.text(self.mtext(e))
            # DXF keeps MTEXT in pieces of at most 250 characters.
            stored = self.mtexts.get(e.dxf.get("handle", ""))
            entry["chunks_fit"] = stored is None or stored[1] <= 250
        if e.dxftype() in ("ATTRIB", "ATTDEF") and e.has_embedded_mtext_entity:
            entry["embedded_text"] = self.text(e.virtual_mtext_entity().text)
        into[key] = entry
        if e.dxftype() == "INSERT":
            entry["attribs"] = [a.dxf.get("handle", "") for a in e.attribs]
            for a in e.attribs:
                self.entity(a, block_name, layout_name, into)
        elif e.dxftype() == "POLYLINE":
            entry["vertices"] = [self.value(v.dxf.location) for v in e.vertices]


def attribute_value(a) -> str:
    """An attribute's value: that of its embedded multi-line text when it
    has one (ezdxf's own writer keeps only the first line in group 1, AutoCAD
    the whole text), else group 1."""
    if a.has_embedded_mtext_entity:
        return a.virtual_mtext_entity().text
    return a.dxf.get("text", "")


ATTRIBUTE_FIELDS = ("text", "layer", "style", "flags", "height", "width", "rotation", "oblique",
                    "halign", "valign")


def placed(attrib, with_align: bool) -> dict:
    """An attribute's tag and the values that place and show it."""
    dxf = attrib.dxf
    out = {"tag": dxf.get("tag", ""), "handle": dxf.get("handle", "")}
    for name in ATTRIBUTE_FIELDS:
        if dxf.hasattr(name) or name in ("text", "layer"):
            out[name] = dxf.get(name, "" if name in ("text", "layer") else None)
    out["insert"] = [float(c) for c in dxf.get("insert", (0, 0, 0))]
    out["extrusion"] = [float(c) for c in dxf.get("extrusion", (0, 0, 1))]
    if with_align and dxf.hasattr("align_point"):
        out["align_point"] = [float(c) for c in dxf.align_point]
    return out


def references(doc) -> list:
    """Every INSERT in the layouts and blocks: its attributes, and the
    attributes that its block's non-constant definitions give it, each
    copied and carried along by the reference as ezdxf does it."""
    from ezdxf.entities import factory

    out = []
    spaces = [doc.layouts.get(name) for name in doc.layouts.names_in_taborder()] + [
        b for b in doc.blocks if not b.block_record.is_any_layout
    ]
    for space in spaces:
        for ref in space.query("INSERT"):
            block = ref.block()
            expected = []
            if block is not None and not block.block.dxf.get("flags", 0) & 4:
                m = ref.matrix44()
                for attdef in block.attdefs():
                    if attdef.is_const:
                        continue
                    attrib = factory.new("ATTRIB", dxfattribs=attdef.dxfattribs(drop={"prompt", "handle", "owner"}))
                    with_align = attdef.dxf.hasattr("align_point")
                    attrib.transform(m)
                    expected.append(placed(attrib, with_align))
            out.append(
                {
                    "handle": ref.dxf.get("handle", ""),
                    "block": ref.dxf.get("name", ""),
                    "attribs_follow": ref.dxf.get("attribs_follow", 0),
                    "defined": block is not None and not block.block.dxf.get("flags", 0) & 4,
                    "attribs": [placed(a, True) for a in ref.attribs],
                    "expected": expected,
                }
            )
    return out


def has_handles(doc) -> bool:
    """Whether the drawing's objects carry handles: from Release 13 on, or
    when an older header says so. Versions before Release 2.5 have codes
    such as "AC2.10", which are not of the "AC10nn" kind."""
    version = doc.loaded_dxfversion or doc.dxfversion
    return (version.startswith("AC1") and version > "AC1009") or bool(doc.header.get("$HANDLING", 0))


def audit(doc) -> dict:
    auditor = doc.audit()
    return {
        "errors": [{"code": int(x.code), "message": x.message} for x in auditor.errors],
        "fixes": [{"code": int(x.code), "message": x.message} for x in auditor.fixes],
    }


def examine(path: str, full: bool, with_audit: bool, references_only: bool = False) -> dict:
    try:
        doc, file_layers, mtexts = read(path)
    except (IOError, DXFError, UnicodeError, ValueError) as exc:
        return {"error": f"{type(exc).__name__}: {exc}"}
    except (AttributeError, KeyError, TypeError) as exc:
        # ezdxf's loaders, the recovering one too, stumble over some damage
        # (blocks without names, links to missing objects) with such errors.
        return {"error": f"ezdxf failed: {type(exc).__name__}: {exc}"}
    if references_only:
        return {"references": references(doc), "audit": audit(doc)}
    if with_audit and not full:
        return audit(doc)
    # The dump first: the audit may repair the document it looks at.
    result = Reader(doc, file_layers, mtexts).content(full)
    if with_audit:
        result["audit"] = audit(doc)
    return result


def main(argv: list[str]) -> int:
    full = "--full" in argv
    with_audit = "--audit" in argv
    references_only = "--references" in argv
    paths = [a for a in argv if a not in ("--full", "--audit", "--references")]
    if not paths:
        print(__doc__, file=sys.stderr)
        return 2
    results = {path: examine(path, full, with_audit, references_only) for path in paths}
    failed = [path for path, r in results.items() if "error" in r]
    for path in failed:
        print(f"dxf_oracle: {path}: {results[path]['error']}", file=sys.stderr)
    # One drawing: its result; several (which spares starting Python for
    # each): an object keyed by path.
    json.dump(results[paths[0]] if len(paths) == 1 else results, sys.stdout, ensure_ascii=True, indent=1)
    sys.stdout.write("\n")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
