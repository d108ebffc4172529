#!/usr/bin/python3
r"""The DXF attributes that ezdxf reads from each record of drawings, as JSON,
for the entity layer's test to compare with its own declarations.

    entity_facts.py DRAWING...

Prints {"DRAWING": {"KEY": {"type": T, "attrs": {NAME: VALUE}}}}: one entry
per entity (in every layout and block, with the attributes of inserts and
the vertices of polylines), per BLOCK and ENDBLK, per entry of the tables,
and per LAYOUT, DICTIONARY and IMAGEDEF object. KEY is the record's handle,
or "TYPE:NAME" for a table entry without one. Only the attributes the file
holds are given, under ezdxf's names; points are [x, y, z]; texts with
\U+XXXX escapes decoded, as the program decodes them in every version. The
entry "$ACADVER" gives the version ezdxf takes the drawing for. A drawing
ezdxf cannot read maps to {"error": reason}.
"""

from __future__ import annotations

import json
import sys

import re

import ezdxf

ESCAPE = re.compile(r"\\U\+([0-9A-Fa-f]{4})")


def decoded(s: str) -> str:
    return ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), s)


TABLES = ["layers", "linetypes", "styles", "appids", "dimstyles", "viewports", "block_records"]
OBJECTS = ["LAYOUT", "DICTIONARY", "IMAGEDEF"]


def value(v):
    if hasattr(v, "x") and hasattr(v, "y"):
        return [v.x, v.y, getattr(v, "z", 0.0)]
    if isinstance(v, (tuple, list)) and 2 <= len(v) <= 3 and all(isinstance(c, (int, float)) for c in v):
        return [float(v[0]), float(v[1]), float(v[2]) if len(v) == 3 else 0.0]
    if isinstance(v, str):
        return decoded(v)
    if isinstance(v, (int, float)):
        return v
    return str(v)


def attrs(entity):
    out = {}
    try:
        existing = entity.dxf.all_existing_dxf_attribs()
    except Exception:  # noqa: BLE001 - an entity ezdxf only half understands
        return out
    for name, v in existing.items():
        out[name] = value(v)
    return out


def facts(path: str) -> dict:
    try:
        doc = ezdxf.readfile(path)
    except Exception as e:  # noqa: BLE001 - any failure is reported as data
        return {"error": str(e)}
    out = {"$ACADVER": {"type": "HEADER", "attrs": {"version": doc.dxfversion}}}

    def add(e):
        t = e.dxftype()
        if e.dxf.hasattr("handle"):
            key = e.dxf.handle
        elif e.dxf.hasattr("name"):
            key = t + ":" + e.dxf.name
        else:
            return
        out[key] = {"type": t, "attrs": attrs(e)}

    def add_entity(e):
        add(e)
        t = e.dxftype()
        if t == "INSERT":
            for a in e.attribs:
                add(a)
        if t == "POLYLINE":
            for v in e.vertices:
                add(v)

    for layout in doc.layouts:
        for e in layout:
            add_entity(e)
    for block in doc.blocks:
        add(block.block)
        add(block.endblk)
        for e in block:
            add_entity(e)
    for table in TABLES:
        for entry in getattr(doc, table):
            add(entry)
    for t in OBJECTS:
        for o in doc.objects.query(t):
            add(o)
    return out


def main(argv: list[str]) -> int:
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    json.dump({p: facts(p) for p in argv}, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
