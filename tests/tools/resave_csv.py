#!/usr/bin/python3
"""Saves a CSV again as a spreadsheet program would after a person edited it.

    resave_csv.py IN OUT [--key FIELD] [--edits JSON] [--reverse-columns]
                  [--extra-column] [--bom] [--line-end crlf|lf]
                  [--separator S] [--quote-all]

IN is read as RFC 4180 CSV in UTF-8 (a byte-order mark or none). --edits is
a JSON object {KEY: {COLUMN: VALUE}} that sets cells of the rows whose KEY
field (the first column named --key, AttributeHandle by default) holds KEY.
The rows are then written with the columns in reverse order, a column added,
a byte-order mark, the line ends and separator asked for, and fields quoted
as Python's csv module quotes them (only where they must be, or all).
"""

import argparse
import csv
import json
import sys


def main() -> int:
    p = argparse.ArgumentParser()
    p.add_argument("input")
    p.add_argument("output")
    p.add_argument("--key", default="AttributeHandle")
    p.add_argument("--edits", default="{}")
    p.add_argument("--reverse-columns", action="store_true")
    p.add_argument("--extra-column", action="store_true")
    p.add_argument("--bom", action="store_true")
    p.add_argument("--line-end", choices=["crlf", "lf"], default="crlf")
    p.add_argument("--separator", default=",")
    p.add_argument("--quote-all", action="store_true")
    a = p.parse_args()

    with open(a.input, newline="", encoding="utf-8-sig") as f:
        rows = list(csv.reader(f))
    header = rows[0]
    key = header.index(a.key)
    edits = json.loads(a.edits)
    for row in rows[1:]:
        for column, value in edits.get(row[key], {}).items():
            row[header.index(column)] = value
    order = list(range(len(header)))
    if a.reverse_columns:
        order.reverse()
    out = []
    for n, row in enumerate(rows):
        cells = [row[i] for i in order]
        if a.extra_column:
            cells.append("Checked by" if n == 0 else "someone, on a Monday")
        out.append(cells)
    with open(a.output, "w", newline="", encoding="utf-8-sig" if a.bom else "utf-8") as f:
        w = csv.writer(f, delimiter=a.separator, lineterminator="\r\n" if a.line_end == "crlf" else "\n",
                       quoting=csv.QUOTE_ALL if a.quote_all else csv.QUOTE_MINIMAL)
        w.writerows(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
