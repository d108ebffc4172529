#!/bin/sh
# Installs the build into a fresh prefix and runs the installed program from
# there: --version, info on an installed sample, a DWG read with the
# installed reader, the desktop entry's command, and the window on a virtual
# X display.
#   installed_program.sh BUILD_DIR SOURCE_DIR [CMAKE]
# With TESSILUX_SCREENSHOTS naming a folder, the window's picture is saved
# there as installed-window.png.
set -u
build=$1
source=$(cd "$2" && pwd)
build=$(cd "$build" && pwd)
cmake=${3:-cmake}
base=$(mktemp -d "${TMPDIR:-/tmp}/tessilux-install.XXXXXX")
trap 'rm -rf "$base"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# The prefix's name has a space, as a user's folder may.
prefix="$base/my programs"
if ! "$cmake" --install "$build" --prefix "$prefix" >"$base/install.log" 2>&1; then
  cat "$base/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

# Away from the build and source folders, with a home of its own, so that
# nothing is found there by chance.
home="$base/home"
mkdir -p "$home"
cd "$home" || exit 1
export HOME="$home" XDG_CONFIG_HOME="$home/.config"
program="$prefix/bin/tessilux"
dir="$prefix/lib/tessilux"

for f in "$dir/tessilux" "$dir/tessilux-gui" "$dir/dwg-reader/read-dwg.mjs" "$dir/dwg-reader/package-lock.json" \
         "$dir/samples/office-floor-plan-2000.dxf" "$prefix/share/applications/tessilux.desktop" \
         "$prefix/share/icons/hicolor/scalable/apps/tessilux.svg" "$prefix/share/mime/packages/tessilux.xml"; do
  [ -f "$f" ] || fail "not installed: $f"
done
[ -x "$program" ] && [ -L "$program" ] || fail "$program is not a link to the program"
if [ -f "$build/korvane.pdf" ] && [ ! -f "$dir/korvane.pdf" ]; then fail "the tutorial is not installed"; fi

# The reader's library is the version its package file pins.
pinned=$(sed -n 's/.*"@mlightcad\/libredwg-web": *"\([^"]*\)".*/\1/p' "$dir/dwg-reader/package.json")
got=$(sed -n 's/^ *"version": *"\([^"]*\)".*/\1/p' "$dir/dwg-reader/node_modules/@mlightcad/libredwg-web/package.json" | head -n 1)
[ -n "$pinned" ] && [ "$pinned" = "$got" ] && ok "DWG reader library $got" || fail "DWG reader library $got, pinned $pinned"

version=$("$program" --version)
echo "$version" | grep -Eq '^tessilux [0-9]+\.[0-9]+\.[0-9]+$' && ok "$version" || fail "--version said: $version"

out=$("$program" info "$dir/samples/office-floor-plan-2000.dxf" 2>&1)
echo "$out" | grep -q '^Block attributes: [1-9]' && ok "info on an installed sample" || fail "info said: $out"

# The commands that paint or build the grid's documents, and the window, are
# the whole program's, beside the one started; without it they say so.
out=$("$program" export "$dir/samples/office-floor-plan-2000.dxf" --format content 2>&1 | head -n 2)
echo "$out" | grep -q '^<DrawingContent>' && ok "export through the whole program" || fail "export said: $out"
mkdir -p "$home/alone"
cp "$dir/tessilux" "$home/alone/tessilux"
out=$("$home/alone/tessilux" export "$dir/samples/office-floor-plan-2000.dxf" 2>&1)
status=$?
[ "$status" -eq 1 ] && echo "$out" | grep -q "^tessilux: cannot start $home/alone/tessilux-gui: " \
  && ok "without the whole program: $out" || fail "without the whole program, status $status: $out"
out=$("$home/alone/tessilux" info "$dir/samples/office-floor-plan-2000.dxf" 2>&1)
echo "$out" | grep -q '^Block attributes: [1-9]' && ok "info without the whole program" || fail "info alone said: $out"

# A DWG is read by the installed reader, not the source tree's: a stand-in
# for node notes the script it is given, then runs node.
node=$(command -v node)
if [ -n "$node" ]; then
  cat >"$home/node" <<NODE
#!/bin/sh
for a in "\$@"; do case "\$a" in *.mjs) printf '%s\n' "\$a" >>"$home/reader-used";; esac; done
exec "$node" "\$@"
NODE
  chmod +x "$home/node"
  out=$(TESSILUX_NODE="$home/node" "$program" info "$source/tests/corpus/sample_2018.dwg" 2>&1)
  echo "$out" | grep -q '^Version: ' || fail "info on a DWG said: $out"
  used=$(grep -v '^--' "$home/reader-used" 2>/dev/null | head -n 1)
  [ "$used" = "$dir/dwg-reader/read-dwg.mjs" ] && ok "DWG read with $used" || fail "DWG read with '$used'"
fi

# The desktop entry starts the installed program, with a file's path after it.
entry="$prefix/share/applications/tessilux.desktop"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$exec_line" = "\"$program\" %f" ] && ok "Exec=$exec_line" || fail "Exec=$exec_line"
grep -q '^MimeType=image/vnd.dxf;image/vnd.dwg;$' "$entry" || fail "the entry names no DXF and DWG types"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$icon" ] || fail "the entry's icon $icon is not there"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry" || fail "desktop-file-validate"; fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$prefix/share/mime/packages/tessilux.xml" || fail "the MIME types are not well-formed XML"
fi

# The window, on a virtual X display: it appears and stays until it is closed.
if command -v xvfb-run >/dev/null; then
  cat >"$home/window.sh" <<'WINDOW'
#!/bin/sh
program=$1; drawing=$2; shots=$3
"$program" "$drawing" 2>"$HOME/window.err" &
pid=$!
shown=""
for i in $(seq 1 60); do
  sleep 0.5
  kill -0 $pid 2>/dev/null || break
  if ! command -v xwininfo >/dev/null; then [ "$i" -ge 10 ] && shown=yes && break; continue; fi
  if xwininfo -root -tree | grep -q '"Tessilux'; then shown=yes; break; fi
done
if [ -n "$shown" ] && [ -n "$shots" ] && command -v xwd >/dev/null && command -v convert >/dev/null; then
  sleep 3
  xwd -root -silent | convert xwd:- "$shots/installed-window.png"
fi
if ! kill -0 $pid 2>/dev/null; then
  wait $pid; echo "the window's program ended with status $?"; cat "$HOME/window.err"; exit 1
fi
kill $pid; wait $pid
[ -n "$shown" ] || { echo "no Tessilux window appeared"; cat "$HOME/window.err"; exit 1; }
WINDOW
  if QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" sh "$home/window.sh" "$program" \
       "$dir/samples/office-floor-plan-2000.dxf" "${TESSILUX_SCREENSHOTS:-}"; then
    ok "the window on a virtual X display"
  else
    fail "the window on a virtual X display"
  fi
fi

[ "$failures" -eq 0 ] || exit 1
