#!/usr/bin/python3
"""The comparison side of bench/export_vs_ezdxf.sh: reads a drawing with
ezdxf and lists every block attribute (insert handle, attribute handle, tag,
value), one a line, the way the content export lists them.

    ezdxf_list_attributes.py DRAWING
"""

import sys

import ezdxf


def main(path: str) -> int:
    doc = ezdxf.readfile(path)
    out = sys.stdout
    layouts = [doc.layouts.get(name) for name in doc.layouts.names_in_taborder()]
    for space in layouts + [b for b in doc.blocks if not b.is_any_layout]:
        for insert in space.query("INSERT"):
            for attrib in insert.attribs:
                out.write(f"{insert.dxf.handle}\t{attrib.dxf.handle}\t{attrib.dxf.tag}\t{attrib.dxf.text}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
