#!/usr/bin/python3
"""Which records of a DXF drawing a save changed, group by group, as JSON.

    dxf_group_diff.py ORIGINAL SAVED

A record is the groups from one 0 group to the next. ASCII files are
compared as their bytes (every code and value line with its line end);
binary files as ezdxf's binary loader reads their groups (code and value,
numbers to the bit). Records are matched in order; where they differ, they
are paired by handle (group 5, or 105 for DIMSTYLE), or, for records
without one (table entries of old drawings), by type and name (group 2).

Output: {"changed": [{"handle", "name", "type", "codes"}], "removed":
[{"handle", "name", "type"}], "added": [{"handle", "name", "type"}]}, where
"codes" lists the group codes of the groups that differ in a changed record
(on either side). A record without a handle has "handle": null; "name" is
its group 2 (a table entry's name), or null.

Exit status: 0 done, 1 a file could not be read, 2 wrong usage.
"""

from __future__ import annotations

import difflib
import json
import sys

BINARY_SENTINEL = b"AutoCAD Binary DXF\r\n\x1a\x00"


def ascii_groups(data: bytes):
    lines = data.splitlines(keepends=True)
    groups = []
    for k in range(0, len(lines) - 1, 2):
        code_line, value_line = lines[k], lines[k + 1]
        try:
            code = int(code_line.strip())
        except ValueError:
            raise IOError(f"not a group code at line {k + 1}: {code_line!r}")
        groups.append((code, code_line + value_line, value_line.rstrip(b"\r\n")))
    return groups


def binary_groups(data: bytes):
    from ezdxf.lldxf.tagger import binary_tags_loader

    groups = []
    for tag in binary_tags_loader(data, errors="surrogateescape"):
        value = tag.value
        text = value if isinstance(value, str) else repr(value)
        groups.append((tag.code, repr((tag.code, value)).encode("utf-8", "surrogateescape"), text.encode("utf-8", "surrogateescape")))
    return groups


def groups_of(path: str):
    with open(path, "rb") as f:
        data = f.read()
    return binary_groups(data) if data.startswith(BINARY_SENTINEL) else ascii_groups(data)


def records_of(groups):
    records = []
    for code, raw, value in groups:
        if code == 0 or not records:
            records.append([])
        records[-1].append((code, raw, value))
    return records


def handle_of(record):
    kind = record[0][2].strip() if record else b""
    code = 105 if kind == b"DIMSTYLE" else 5
    for c, _, value in record[1:]:
        if c == code:
            return value.strip().decode("ascii", "replace").upper()
    return None


def name_of(record):
    for c, _, value in record[1:]:
        if c == 2:
            return value.strip().decode("utf-8", "replace")
    return None


def key_of(record):
    handle = handle_of(record)
    return ("handle", handle) if handle is not None else ("name", type_of(record), name_of(record))


def describe(record):
    return {"handle": handle_of(record), "name": name_of(record), "type": type_of(record)}


def type_of(record):
    return record[0][2].strip().decode("utf-8", "replace") if record else ""


def changed_codes(a, b):
    codes = set()
    matcher = difflib.SequenceMatcher(a=[g[1] for g in a], b=[g[1] for g in b], autojunk=False)
    for tag, i1, i2, j1, j2 in matcher.get_opcodes():
        if tag == "equal":
            continue
        codes.update(g[0] for g in a[i1:i2])
        codes.update(g[0] for g in b[j1:j2])
    return sorted(codes)


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        before = records_of(groups_of(argv[0]))
        after = records_of(groups_of(argv[1]))
    except Exception as error:  # noqa: BLE001 - any failure to read is reported
        print(json.dumps({"error": str(error)}))
        print(error, file=sys.stderr)
        return 1
    key = lambda record: b"".join(g[1] for g in record)
    matcher = difflib.SequenceMatcher(a=[key(r) for r in before], b=[key(r) for r in after], autojunk=False)
    out = {"changed": [], "removed": [], "added": []}
    for tag, i1, i2, j1, j2 in matcher.get_opcodes():
        if tag == "equal":
            continue
        olds = before[i1:i2]
        news = {key_of(r): r for r in after[j1:j2]}
        paired = set()
        for record in olds:
            key = key_of(record)
            if key in news and key not in paired:
                paired.add(key)
                out["changed"].append(dict(describe(record), codes=changed_codes(record, news[key])))
            else:
                out["removed"].append(describe(record))
        for record in after[j1:j2]:
            if key_of(record) not in paired:
                out["added"].append(describe(record))
    print(json.dumps(out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
