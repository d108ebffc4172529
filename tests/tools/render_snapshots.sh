#!/bin/bash
# Renders every test drawing (tests/corpus, tests/data; DXF and DWG) and
# exports its content document with a built tessilux, into OUTDIR: one PNG
# at 800x600 and one at 3200x2400, one XML, and the exit status of each.
# Two builds' folders compared with `cmp` tell whether a change to the
# renderer, the reader or the content left what users see alone:
#
#   tests/tools/render_snapshots.sh /path/to/main/build/tessilux /tmp/before
#   tests/tools/render_snapshots.sh build/tessilux /tmp/after
#   tests/tools/render_snapshots.sh --compare /tmp/before /tmp/after
set -u
if [ "${1:-}" = "--compare" ]; then
  before=$2; after=$3; differ=0; count=0
  diff <(sort "$before/status") <(sort "$after/status") || differ=1
  for f in "$before"/*.png "$before"/*.xml; do
    count=$((count + 1))
    cmp -s "$f" "$after/$(basename "$f")" || { echo "differs: $(basename "$f")"; differ=1; }
  done
  echo "$count files compared"
  exit $differ
fi
program=$(realpath "$1"); out=$(realpath -m "$2"); mkdir -p "$out"; : > "$out/status"
cd "$(dirname "$0")/../.."
find tests \( -iname "*.dxf" -o -iname "*.dwg" -o -iname "*.dxfb" \) | sort | while read -r f; do
  key=$(echo "$f" | tr '/' '_')
  for size in 800x600 3200x2400; do
    QT_QPA_PLATFORM=offscreen timeout 120 "$program" render "$f" -o "$out/$key.$size.png" --size $size >/dev/null 2>&1
    echo "render $size $? $key" >> "$out/status"
  done
  QT_QPA_PLATFORM=offscreen timeout 120 "$program" export "$f" --format content -o "$out/$key.xml" >/dev/null 2>&1
  echo "export $? $key" >> "$out/status"
done
