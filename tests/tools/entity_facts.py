#!/usr/bin/python3
"""The DXF attributes that ezdxf reads from each entity and layer of drawings,
as JSON, for the entity layer's test to compare with its own declarations.

    entity_facts.py DRAWING...

Prints {"DRAWING": {"HANDLE": {"type": T, "attrs": {NAME: VALUE}}}}, one
entry per entity of a listed type with a handle (and "LAYER:NAME" for layer
table entries). Only the attributes the file holds are given; points are
[x, y, z]. A drawing ezdxf cannot read maps to {"error": reason}.
"""

from __future__ import annotations

import json
import sys

import ezdxf

COMMON = ["layer", "color", "true_color", "invisible", "paperspace", "extrusion"]
TEXT = ["text", "insert", "align_point", "height", "width", "rotation", "oblique", "style",
        "text_generation_flag", "halign", "valign"]
CORNERS = ["vtx0", "vtx1", "vtx2", "vtx3"]
ATTRS = {
    "LINE": ["start", "end"],
    "POINT": ["location"],
    "CIRCLE": ["center", "radius"],
    "ARC": ["center", "radius", "start_angle", "end_angle"],
    "ELLIPSE": ["center", "major_axis", "ratio", "start_param", "end_param"],
    "SOLID": CORNERS,
    "TRACE": CORNERS,
    "3DFACE": CORNERS,  # its "invisible" is the hidden edges (70), not 60
    "TEXT": TEXT,
    "ATTRIB": TEXT + ["tag", "flags"],
    "ATTDEF": TEXT + ["tag", "flags"],
    "MTEXT": ["insert", "char_height", "width", "attachment_point", "line_spacing_factor",
              "text_direction", "rotation", "style"],
    "INSERT": ["name", "insert", "xscale", "yscale", "rotation", "column_count", "row_count",
               "column_spacing", "row_spacing"],
    "LWPOLYLINE": ["flags", "const_width", "elevation"],
    "POLYLINE": ["flags", "default_start_width", "default_end_width", "m_count", "n_count", "elevation"],
    "VERTEX": ["location", "start_width", "end_width", "bulge", "flags"],
    "SPLINE": ["flags", "degree"],
    "LEADER": ["has_arrowhead"],
    "VIEWPORT": ["center", "width", "height", "id"],
    "DIMENSION": ["geometry"],
}
LAYER = ["name", "color", "flags", "true_color"]


def value(v):
    if hasattr(v, "x") and hasattr(v, "y"):
        return [v.x, v.y, getattr(v, "z", 0.0)]
    if isinstance(v, (int, float, str)):
        return v
    return str(v)


def attrs(entity, names):
    out = {}
    for name in names:
        try:
            if entity.dxf.hasattr(name):
                out[name] = value(entity.dxf.get(name))
        except Exception:  # a name this entity class does not know
            pass
    return out


def facts(path: str) -> dict:
    try:
        doc = ezdxf.readfile(path)
    except Exception as e:  # noqa: BLE001 - any failure is reported as data
        return {"error": str(e)}
    out = {}

    def add(e):
        t = e.dxftype()
        if t in ATTRS and e.dxf.hasattr("handle"):
            out[e.dxf.handle] = {"type": t, "attrs": attrs(e, COMMON + ATTRS[t])}
        if t == "INSERT":
            for a in e.attribs:
                add(a)
        if t == "POLYLINE":
            for v in e.vertices:
                add(v)

    for layout in doc.layouts:
        for e in layout:
            add(e)
    for block in doc.blocks:
        for e in block:
            add(e)
    for layer in doc.layers:
        out["LAYER:" + layer.dxf.name] = {"type": "LAYER", "attrs": attrs(layer, LAYER)}
    return out


def main(argv: list[str]) -> int:
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    json.dump({p: facts(p) for p in argv}, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
