// The floor of reading a DWG: Node starting, the DWG library loading, and
// its dwg_read_file on the drawing, nothing more. No reader can take less.
//
//   node --liftoff-only bench/dwg_floor.mjs READER_DIR DRAWING.dwg
//
// READER_DIR is the folder whose node_modules holds the library (the
// source tree's src/ddvue/dwg/reader, or an installed dwg-reader/).

const { readFileSync } = await import('node:fs');
const { join } = await import('node:path');
const { pathToFileURL } = await import('node:url');
const [dir, drawing] = process.argv.slice(2);
const lib = join(dir, 'node_modules', '@mlightcad', 'libredwg-web');
const { LibreDwg } = await import(pathToFileURL(join(lib, 'dist', 'libredwg-web.js')).href);
const w = (await LibreDwg.create(join(lib, 'wasm'))).wasmInstance;
w.FS.writeFile('/d.dwg', readFileSync(drawing));
const r = w.dwg_read_file('/d.dwg');
process.stdout.write(`${r ? r.error : 'no result'}\n`);
