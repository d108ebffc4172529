// Reads one DWG drawing and writes what Tessilux needs of it on standard
// output as JSON texts, one a line, each as soon as it is read, so that the
// program takes it in while the rest is read: first the block definitions
// (model space and the paper layouts are blocks too), each as arrays of at
// most a few hundred of its entities in drawing order and then an object
// with the block's own properties; then, on the last line, the rest of the
// drawing: version and code page, the table entries, the layouts, the image
// definitions, and what the DWG library could not read.
//
//   node --liftoff-only read-dwg.mjs DRAWING.dwg
//   node --liftoff-only read-dwg.mjs - < DRAWING.dwg
//
// With "-" the drawing is read from standard input, which must be the file
// itself: the program hands over the open file, whatever its name.
//
// Exit status: 0 done; 2 wrong usage; 3 the drawing cannot be read, or was
// read only in part (the reason on standard error); 4 this Node is too old.
// Anything else is a crash of the reader, whose message is on standard error.
//
// The values come straight from the library's objects in its memory: the
// offset of each field is asked of the library once per object type, and
// the field is then read where it lies. With TESSILUX_DWG_VERIFY=1 every such
// read is checked against the library's own accessor, and a difference ends
// the reader with status 5.
//
// Geometry is passed on as the drawing stores it: angles in radians, points
// as {x, y, z}. The program turns this into DXF.
//
// The reader is kept in this one file, longer than the program's other
// files, on purpose: it is started afresh for every drawing, and each module
// more is one more file for Node to find, read and compile before the
// drawing can be read. Its sections (memory reads, objects, names, entities,
// tables, objects, completeness) are marked below.

const major = Number(String(process.versions.node).split('.')[0]);
if (!(major >= 20)) {
  process.stderr.write(`Node ${process.versions.node} is too old: the DWG reader needs Node 20 or later.\n`);
  process.exit(4);
}

// The library reports progress and warnings on the console; standard output
// carries nothing but the JSON document.
console.log = console.info = console.warn = console.debug = (...args) => {
  process.stderr.write(args.map(String).join(' ') + '\n');
};

const { readFileSync } = await import('node:fs');
const { fileURLToPath } = await import('node:url');
const { dirname, join } = await import('node:path');
const { LibreDwg, Dwg_Object_Type: T, decodeUnicodeEscapes, dwgCodePageToEncoding } =
  await import('@mlightcad/libredwg-web');

function fail(status, message) {
  process.stderr.write(message + '\n');
  process.exit(status);
}

if (process.argv.length !== 3) fail(2, 'usage: node --liftoff-only read-dwg.mjs DRAWING.dwg');
const path = process.argv[2];
const verify = process.env.TESSILUX_DWG_VERIFY === '1';

let bytes;
try {
  bytes = readFileSync(path === '-' ? 0 : path);
} catch (e) {
  fail(3, `Cannot read the file: ${e.message}`);
}
const fileSize = bytes.byteLength;

const here = dirname(fileURLToPath(import.meta.url));
const lib = await LibreDwg.create(join(here, 'node_modules', '@mlightcad', 'libredwg-web', 'wasm'));
// The module itself: calls through the library's wrapper object cost a
// lookup each.
const w = lib.wasmInstance;

// libredwg's error bits. From CLASSESNOTFOUND (128) on the drawing could not
// be read; below that the library skipped or repaired something.
const CRITICAL = 128;
const errorNames = [
  [1, 'a checksum does not match'],
  [2, 'some parts are not supported yet'],
  [4, 'some object classes are not supported'],
  [8, 'some objects have an invalid type'],
  [16, 'some handles are invalid'],
  [32, 'some extended data is invalid'],
  [64, 'some values are out of range'],
  [128, 'the class section is missing'],
  [256, 'a section is missing'],
  [512, 'a page is missing'],
  [1024, 'internal error of the DWG library'],
  [2048, 'not a valid DWG drawing'],
  [4096, 'read error'],
  [8192, 'out of memory'],
];
const namesOf = (error, from, to) =>
  errorNames.filter(([bit]) => bit >= from && bit < to && error & bit).map(([, name]) => name);

w.FS.writeFile('/drawing.dwg', new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength));
// The file's own bytes stay for what the library does not keep (a layer's
// stored colour number, below), in the drawings whose sections are read
// here: those from 2004 on, but 2007.
const fileBytes = /^AC10(18|2[4-9]|3\d)$/.test(bytes.toString('latin1', 0, 6)) ? bytes : null;
bytes = null;
const read = w.dwg_read_file('/drawing.dwg');
w.FS.unlink('/drawing.dwg');
const libraryError = read ? read.error | 0 : CRITICAL;
if (!read || !read.data || libraryError >= CRITICAL) {
  const why = namesOf(libraryError, CRITICAL, 1 << 30);
  fail(3, `The DWG library cannot read this drawing${why.length ? ': ' + why.join(', ') : ''}.`);
}
const data = read.data;
const damaged = (what) => {
  const noted = namesOf(libraryError, 1, CRITICAL);
  fail(3, `The drawing is damaged and was read only in part: ${what}` +
    `${noted.length ? ` (the DWG library reports: ${noted.join(', ')})` : ''}. It is not opened, so that nothing is lost.`);
};

const version = lib.dwg_get_version_type(data);
const versionName = version && version.hdr ? version.hdr : '';
// From 2007 on strings are UTF-16 and a \U+XXXX in them is part of the text
// as the user typed it: it stays, as in the DXF that CAD programs write.
// Older drawings use their code page and \U+XXXX for what it lacks, which is
// decoded to the character.
const unicode = versionName >= 'AC1021';
const codePageNumber = w.dwg_get_codepage(data);
const decoder = new TextDecoder(dwgCodePageToEncoding(codePageNumber) || 'windows-1252');

// ------------------------------------------------------------ memory reads

let view = null;
let u8 = null;
let u16 = null;
// The views are made anew when the library's memory has grown (which
// leaves the old ones empty).
const mem = () => {
  if (!u8 || u8.length === 0) {
    view = new DataView(w.HEAPU8.buffer);
    u8 = w.HEAPU8;
    u16 = w.HEAPU16;
  }
  return view;
};

// Whether a number that JSON cannot carry (NaN, infinity) was read from
// memory: only then must the piece being read be made safe for JSON value
// by value.
let nonFinite = false;
const num = (x) => {
  if (x - x !== 0) nonFinite = true;
  return x;
};

function text(ptr) {
  if (!ptr) return '';
  mem();
  if (unicode) {
    let end = ptr >> 1;
    while (u16[end]) end++;
    let s = '';
    for (let i = ptr >> 1; i < end; i += 4096) s += String.fromCharCode.apply(null, u16.subarray(i, Math.min(end, i + 4096)));
    return s;
  }
  const end = u8.indexOf(0, ptr);
  return decodeUnicodeEscapes(decoder.decode(u8.subarray(ptr, end < 0 ? ptr : end)));
}

// Field offsets by object type and field name, asked once.
const offsets = [];
function offset(type, tio, name) {
  const byName = (offsets[type] ??= new Map());
  let o = byName.get(name);
  if (o === undefined) {
    o = w.dwg_dynapi_entity_field_offset(tio, name);
    byName.set(name, o);
  }
  return o;
}

// The library's own accessor: for the fields read seldom, and to check.
function dyn(tio, name) {
  try {
    const v = w.dwg_dynapi_entity_value(tio, name);
    if (!v || !v.success) return undefined;
    if (typeof v.data === 'string') {
      if (v.bin && !unicode) return decodeUnicodeEscapes(decoder.decode(v.bin));
      return v.data;
    }
    return v.data;
  } catch {
    return undefined;
  }
}

// A typed read of one field of an object of `type` whose fields start at `tio`.
function get(type, tio, name, kind) {
  const o = offset(type, tio, name);
  if (o < 0) return undefined;
  const v = valueAt(mem(), tio + o, kind);
  if (verify) check(type, tio, name, kind, v);
  return v;
}

function valueAt(m, a, kind) {
  switch (kind) {
    case 'D': return num(m.getFloat64(a, true));
    case 'P2': return { x: num(m.getFloat64(a, true)), y: num(m.getFloat64(a + 8, true)) };
    case 'P3': return { x: num(m.getFloat64(a, true)), y: num(m.getFloat64(a + 8, true)), z: num(m.getFloat64(a + 16, true)) };
    case 'RC': return m.getUint8(a);
    case 'BS': return m.getUint16(a, true);
    case 'BL': return m.getUint32(a, true);
    case 'PTR': return m.getUint32(a, true);
    case 'T': return text(m.getUint32(a, true));
    default: throw new Error(`unknown field kind ${kind}`);
  }
}

function check(type, tio, name, kind, v) {
  const d = dyn(tio, name);
  const same = (x, y) => x === y || (Number.isNaN(x) && Number.isNaN(y));
  let ok;
  if (kind === 'P2' || kind === 'P3') ok = d && same(d.x, v.x) && same(d.y, v.y) && (kind === 'P2' || same(d.z, v.z));
  else if (kind === 'T') ok = (d ?? '') === v;
  else ok = same(d, v);
  // The accessor gives nothing for some field types (thicknesses): then
  // there is nothing to compare.
  if (d === undefined) ok = true;
  if (!ok) fail(5, `${typeNames[type]}.${name} (${kind}) reads ${JSON.stringify(v)}, the library says ${JSON.stringify(d)}`);
}

// Arrays the library keeps behind a pointer.
function doubles(ptr, n) {
  const m = mem();
  const out = new Array(n);
  for (let i = 0; i < n; i++) out[i] = num(m.getFloat64(ptr + 8 * i, true));
  return out;
}
function points(ptr, n, dims, stride = dims * 8) {
  const m = mem();
  const out = new Array(n);
  for (let i = 0; i < n; i++) {
    const a = ptr + stride * i;
    out[i] = dims === 2 ? { x: num(m.getFloat64(a, true)), y: num(m.getFloat64(a + 8, true)) }
      : { x: num(m.getFloat64(a, true)), y: num(m.getFloat64(a + 8, true)), z: num(m.getFloat64(a + 16, true)) };
  }
  return out;
}
function refArray(ptr, n) {
  const m = mem();
  const out = [];
  for (let i = 0; i < n; i++) out.push(m.getUint32(ptr + 4 * i, true));
  return out;
}

const hex = (v) => (typeof v === 'number' || typeof v === 'bigint' ? v : BigInt(v)).toString(16).toUpperCase();

// What every object and entity has (type, handle, common properties) lies
// at fixed places in the library's structures: the offsets below are those
// of the library's build this reader installs. Each kind of such read is
// compared with the library's accessor on its first uses (on all of them
// with TESSILUX_DWG_VERIFY=1), and the accessor's value is the one taken
// then; when one differs, the accessor serves that kind from then on (with
// verification, the reader ends with status 5).
const at = {
  objectType: 16, objectSupertype: 28, objectTio: 32, objectHandle: 48, entityTio: 4, refHandle: 32,
  colorIndex: 48, colorRgb: 56, colorMethod: 60, ltypeScale: 88, ltypeFlags: 96, invisible: 104, lineweight: 106,
};
const checkedUses = 64;
const checked = (kind) => ({ kind, left: verify ? Infinity : checkedUses, memory: true });
const show = (v) => (Array.isArray(v) ? `[${v.map(show).join(', ')}]` : String(v));
// Whether memory and accessor agree on one use of `c`; gives the accessor's value.
function settle(c, fromMemory, fromLibrary, same) {
  c.left--;
  if (!same(fromMemory, fromLibrary)) {
    if (verify) fail(5, `${c.kind} reads ${show(fromMemory)} in memory, the library says ${show(fromLibrary)}`);
    c.memory = false;
  }
  return fromLibrary;
}
const sameHandle = (a, b) => BigInt(a ?? 0) === BigInt(b ?? 0);
const sameValues = (a, b) => a.every((x, i) => x === b[i] || (Number.isNaN(x) && Number.isNaN(b[i])));

// A 64-bit handle in memory: a number while it is exact, else a BigInt.
function handleAt(a) {
  const m = mem();
  const lo = m.getUint32(a, true);
  const hi = m.getUint32(a + 4, true);
  return hi < 0x200000 ? hi * 4294967296 + lo : (BigInt(hi) << 32n) | BigInt(lo);
}

// The handle an object reference points to, or null.
const refReads = checked('reference handle');
function refHandle(ref) {
  if (!ref) return null;
  let h;
  if (refReads.memory && refReads.left <= 0) {
    h = handleAt(ref + at.refHandle);
  } else {
    try {
      h = w.dwg_ref_get_absref(ref);
    } catch {
      return null;
    }
    if (refReads.memory) h = settle(refReads, handleAt(ref + at.refHandle), h, sameHandle);
  }
  return h ? hex(h) : null;
}

const typeNames = {};
for (const [name, value] of Object.entries(T)) if (typeof value === 'number') typeNames[value] = name.replace(/^DWG_TYPE_/, '');

// ------------------------------------------------------------ objects

// One pass over every object: handles, types, owners of sub-entities.
const objectCount = w.dwg_get_num_objects(data);
if (!objectCount) damaged('the library found none of its objects');
const objects = new Map(); // handle -> {obj, type, tio}
const ownedBy = new Map(); // owner handle -> [{handle, type}] of VERTEX, SEQEND, ATTRIB
const byType = new Map(); // type -> [handle]
let maxHandle = 0n;
let unsupported = 0; // objects of classes the library cannot decode
const controls = {};
const controlTypes = {
  [T.DWG_TYPE_BLOCK_CONTROL]: 'BLOCK_RECORD', [T.DWG_TYPE_LAYER_CONTROL]: 'LAYER',
  [T.DWG_TYPE_STYLE_CONTROL]: 'STYLE', [T.DWG_TYPE_LTYPE_CONTROL]: 'LTYPE', [T.DWG_TYPE_VIEW_CONTROL]: 'VIEW',
  [T.DWG_TYPE_UCS_CONTROL]: 'UCS', [T.DWG_TYPE_VPORT_CONTROL]: 'VPORT', [T.DWG_TYPE_APPID_CONTROL]: 'APPID',
  [T.DWG_TYPE_DIMSTYLE_CONTROL]: 'DIMSTYLE',
};
const subEntityTypes = new Set([T.DWG_TYPE_VERTEX_2D, T.DWG_TYPE_VERTEX_3D, T.DWG_TYPE_VERTEX_MESH,
  T.DWG_TYPE_VERTEX_PFACE, T.DWG_TYPE_VERTEX_PFACE_FACE, T.DWG_TYPE_SEQEND, T.DWG_TYPE_ATTRIB]);
const wanted = new Set([T.DWG_TYPE_LAYER, T.DWG_TYPE_LTYPE, T.DWG_TYPE_STYLE, T.DWG_TYPE_DIMSTYLE, T.DWG_TYPE_VPORT,
  T.DWG_TYPE_APPID, T.DWG_TYPE_BLOCK_HEADER, T.DWG_TYPE_DICTIONARY, T.DWG_TYPE_LAYOUT, T.DWG_TYPE_IMAGEDEF]);
const objectReads = checked('object address, type, kind and handle');
const subEntities = []; // their owners are read once all objects are known
const objectList = new Array(objectCount); // by the library's index
// The library keeps its objects in one array.
const firstObject = w.dwg_get_object(data, 0);
const objectSize = objectCount > 1 ? w.dwg_get_object(data, 1) - firstObject : 0;
for (let i = 0; i < objectCount; i++) {
  let obj = firstObject + i * objectSize;
  if (!objectReads.memory || objectReads.left > 0) {
    const fromLibrary = w.dwg_get_object(data, i);
    if (objectReads.memory && fromLibrary !== obj) settle(objectReads, obj, fromLibrary, (a, b) => a === b);
    obj = fromLibrary;
  }
  if (!obj) continue;
  let h, type, supertype;
  if (objectReads.memory) {
    const m = mem();
    h = handleAt(obj + at.objectHandle);
    type = m.getUint32(obj + at.objectType, true);
    supertype = m.getUint32(obj + at.objectSupertype, true);
  }
  if (!objectReads.memory || objectReads.left > 0) {
    const fromLibrary = [w.dwg_obj_get_handle_value(obj), w.dwg_object_get_fixedtype(obj), w.dwg_object_get_supertype(obj)];
    if (objectReads.memory)
      settle(objectReads, [h, type, supertype], fromLibrary, (a, b) => sameHandle(a[0], b[0]) && a[1] === b[1] && a[2] === b[2]);
    [h, type, supertype] = fromLibrary;
  }
  if (!h) continue;
  if (h > maxHandle) maxHandle = h;
  const handle = hex(h);
  const o = { obj, type, supertype, h, handle };
  objects.set(handle, o);
  objectList[i] = o;
  if (type === T.DWG_TYPE_UNKNOWN_ENT || type === T.DWG_TYPE_UNKNOWN_OBJ) unsupported++;
  if (controlTypes[type]) controls[controlTypes[type]] = handle;
  if (wanted.has(type)) {
    if (!byType.has(type)) byType.set(type, []);
    byType.get(type).push(handle);
  }
  if (subEntityTypes.has(type)) subEntities.push(o);
}
const handlesOf = (type) => byType.get(type) || [];
// The handle of an object the library hands over: that of the object at its
// place in the library's array (the same string, whose hash is known), else
// asked.
const handleOfPointer = (obj) => {
  const i = objectSize ? (obj - firstObject) / objectSize : -1;
  const o = objectReads.memory && objectReads.left <= 0 && i >= 0 && i < objectCount ? objectList[i] : undefined;
  return o && o.obj === obj ? o.handle : hex(objectHandle(obj));
};
// The handle of an object the library hands over.
const objectHandle = (obj) =>
  (objectReads.memory && objectReads.left <= 0 ? handleAt(obj + at.objectHandle) : w.dwg_obj_get_handle_value(obj));

const objectTio = (o) => (o.tio ??= w.dwg_object_to_object_tio(o.obj));
// An entity's common part, and its type's own fields.
const entityReads = checked('entity pointers');
function entityParts(o) {
  let ent, tio;
  if (entityReads.memory) {
    const m = mem();
    ent = m.getUint32(o.obj + at.objectTio, true);
    tio = ent ? m.getUint32(ent + at.entityTio, true) : 0;
  }
  if (!entityReads.memory || entityReads.left > 0) {
    const fromLibrary = [w.dwg_object_to_entity(o.obj), w.dwg_object_to_entity_tio(o.obj)];
    if (entityReads.memory) settle(entityReads, [ent, tio], fromLibrary, sameValues);
    [ent, tio] = fromLibrary;
  }
  o.ent = ent;
  o.tio = tio;
}
const entityTio = (o) => {
  if (o.tio === undefined) entityParts(o);
  return o.tio;
};
const entityOf = (o) => {
  if (o.ent === undefined) entityParts(o);
  return o.ent;
};

// The handle of the object that owns an entity ('0' for none): its
// reference lies in the entity's common part, found like the layer's below.
let ownerRefOffset = null;
const ownerReads = checked('entity owner');
function entityOwner(o) {
  if (ownerRefOffset === null) ownerRefOffset = findRefOffset('ownerhandle');
  const fromMemory = ownerRefOffset >= 0 ? refHandle(mem().getUint32(entityOf(o) + ownerRefOffset, true)) ?? '0' : null;
  if (fromMemory !== null && ownerReads.memory && ownerReads.left <= 0) return fromMemory;
  let owner;
  try {
    owner = hex(w.dwg_object_entity_get_ownerhandle_object(entityOf(o)).absolute_ref);
  } catch {
    owner = null;
  }
  if (fromMemory !== null && ownerReads.memory) settle(ownerReads, fromMemory, owner, (a, b) => a === b);
  return owner;
}

// Attributes, vertices and sequence ends by the entity that owns them, in
// the order of their handles.
for (const o of subEntities) {
  const owner = entityOwner(o);
  if (owner === null) continue; // an entity without a readable owner keeps no children
  if (!ownedBy.has(owner)) ownedBy.set(owner, []);
  ownedBy.get(owner).push({ handle: o.handle, type: o.type });
}
for (const list of ownedBy.values()) list.sort((a, b) => (objects.get(a.handle).h < objects.get(b.handle).h ? -1 : 1));

// What the drawing's own maps promise: every entry of the tables, every
// entity a block lists, every item of a dictionary. A table or block entry
// that the library could not read means the drawing was read only in part.
let missingEntries = 0;
let missingItems = 0;
let promised = 0;
for (const handle of Object.values(controls)) {
  const o = objects.get(handle);
  const tio = objectTio(o);
  const n = get(o.type, tio, 'num_entries', 'BS') || 0;
  const entries = get(o.type, tio, 'entries', 'PTR');
  if (!entries) continue;
  for (const ref of refArray(entries, n)) {
    const h = refHandle(ref);
    if (!h) continue;
    promised++;
    if (!objects.has(h)) missingEntries++;
  }
}
// The entities each block lists: all of them from 2004 on, the first and
// the last before.
for (const h of handlesOf(T.DWG_TYPE_BLOCK_HEADER)) {
  const o = objects.get(h);
  const tio = objectTio(o);
  const count = get(o.type, tio, 'num_owned', 'BL') || 0;
  const list = count ? get(o.type, tio, 'entities', 'PTR') : 0;
  const refs = list ? refArray(list, count) : [get(o.type, tio, 'first_entity', 'PTR'), get(o.type, tio, 'last_entity', 'PTR')];
  for (const ref of refs) {
    const eh = refHandle(ref);
    if (!eh) continue;
    promised++;
    if (!objects.has(eh)) missingEntries++;
  }
}
const noControl = ['BLOCK_RECORD', 'LAYER'].filter((t) => !controls[t]);
if (noControl.length) damaged(`its ${noControl.map((t) => (t === 'LAYER' ? 'layer' : 'block')).join(' and ')} table could not be read`);

// ------------------------------------------------------------ names

const nameOf = (o) => {
  const tio = objectTio(o);
  return get(o.type, tio, 'name', 'T');
};
const layerNames = new Map(); // layer object -> name
const layerByHandle = new Map();
for (const h of handlesOf(T.DWG_TYPE_LAYER)) {
  const o = objects.get(h);
  const name = nameOf(o);
  layerNames.set(o.obj, name);
  layerByHandle.set(h, name);
}
const linetypeNames = new Map(handlesOf(T.DWG_TYPE_LTYPE).map((h) => [h, nameOf(objects.get(h))]));
const styleNames = new Map(handlesOf(T.DWG_TYPE_STYLE).map((h) => [h, nameOf(objects.get(h))]));
const dimstyleNames = new Map(handlesOf(T.DWG_TYPE_DIMSTYLE).map((h) => [h, nameOf(objects.get(h))]));
// A block's full name is its BLOCK entity's ("*D30", where the header may
// hold only "*D").
const blockNames = new Map();
for (const h of handlesOf(T.DWG_TYPE_BLOCK_HEADER)) {
  const o = objects.get(h);
  const tio = objectTio(o);
  const begin = objects.get(refHandle(get(o.type, tio, 'block_entity', 'PTR')));
  const full = begin ? get(begin.type, entityTio(begin), 'name', 'T') : '';
  blockNames.set(h, full || nameOf(o));
}
const nameByRef = (names, ref) => {
  const h = refHandle(ref);
  return h ? names.get(h) : undefined;
};

// ------------------------------------------------------------ entities

// Entity types the program writes; the rest are counted as not brought across.
const skipped = {};
const skip = (name) => {
  skipped[name] = (skipped[name] || 0) + 1;
};

// An entity's layer and line type: its references to them lie at places in
// the entity's common part, which the library does not name. Each is found
// on the first entities by the reference the library gives for them, and
// used when it holds for all of those.
function findRefOffset(field) {
  const candidates = [];
  for (const o of objects.values()) {
    if (candidates.length >= 8) break;
    if (o.supertype !== 0) continue;
    const ref = w.dwg_dynapi_common_value(entityTio(o), field);
    if (ref && ref.success && ref.data) candidates.push([entityOf(o), ref.data]);
  }
  if (!candidates.length) return -1;
  const m = mem();
  for (let off = 0; off < 512; off += 4) {
    if (candidates.every(([entity, ref]) => m.getUint32(entity + off, true) === ref)) return off;
  }
  return -1;
}
let layerRefOffset = null;
function layerOf(entity) {
  if (layerRefOffset === null) layerRefOffset = findRefOffset('layer');
  let name;
  if (layerRefOffset >= 0) {
    const m = mem();
    const ref = m.getUint32(entity + layerRefOffset, true);
    const obj = ref ? m.getUint32(ref, true) : 0; // the reference's resolved object comes first
    name = obj ? layerNames.get(obj) : undefined;
  }
  if (name === undefined || verify) {
    const ref = w.dwg_object_entity_get_layer_object_ref(entity);
    const byRef = ref && ref.absolute_ref ? layerByHandle.get(hex(ref.absolute_ref)) : undefined;
    if (verify && name !== undefined && name !== byRef) fail(5, `entity layer reads ${name}, the library says ${byRef}`);
    name = byRef;
  }
  return name ?? '0';
}
let linetypeRefOffset = null;
function linetypeOf(entity) {
  if (linetypeRefOffset === null) linetypeRefOffset = findRefOffset('ltype');
  if (linetypeRefOffset >= 0 && !verify) {
    const h = refHandle(mem().getUint32(entity + linetypeRefOffset, true));
    return h ? linetypeNames.get(h) : undefined;
  }
  let name;
  try {
    const ref = w.dwg_object_entity_get_ltype_object_ref(entity);
    name = ref && ref.absolute_ref ? linetypeNames.get(hex(ref.absolute_ref)) : undefined;
  } catch {
    name = undefined;
  }
  if (linetypeRefOffset >= 0) {
    const h = refHandle(mem().getUint32(entity + linetypeRefOffset, true));
    const fromMemory = h ? linetypeNames.get(h) : undefined;
    if (fromMemory !== name) fail(5, `entity line type reads ${fromMemory}, the library says ${name}`);
  }
  return name;
}

// The properties every entity has: layer, line type, colour, line weight.
// `type` leads the keys when given.
const commonReads = checked('entity colour, line type and line weight');
function common(o, handle, type) {
  const entity = entityOf(o);
  const e = type === undefined ? { handle } : { type, handle };
  e.layer = layerOf(entity);
  let flags, index, rgb, method, lineweight, scale, invisible;
  if (commonReads.memory) {
    const m = mem();
    flags = m.getUint8(entity + at.ltypeFlags);
    index = m.getInt16(entity + at.colorIndex, true);
    rgb = m.getUint32(entity + at.colorRgb, true);
    method = m.getUint32(entity + at.colorMethod, true);
    lineweight = m.getUint8(entity + at.lineweight);
    scale = m.getFloat64(entity + at.ltypeScale, true);
    invisible = m.getUint16(entity + at.invisible, true);
  }
  if (!commonReads.memory || commonReads.left > 0) {
    const color = w.dwg_object_entity_get_color_object(entity);
    const fromLibrary = [w.dwg_object_entity_get_ltype_flags(entity), color.index, color.rgb >>> 0, color.method,
      w.dwg_object_entity_get_line_weight(entity), w.dwg_object_entity_get_ltype_scale(entity),
      w.dwg_object_entity_get_invisible(entity)];
    if (commonReads.memory)
      settle(commonReads, [flags, index, rgb, method, lineweight, scale, invisible], fromLibrary, sameValues);
    [flags, index, rgb, method, lineweight, scale, invisible] = fromLibrary;
  }
  if (flags === 1) e.lineType = 'ByBlock';
  else if (flags === 2) e.lineType = 'Continuous';
  else if (flags === 3) {
    const name = linetypeOf(entity);
    if (name !== undefined && !/^bylayer$/i.test(name)) e.lineType = name;
  }
  if (index !== 256) e.colorIndex = index;
  if (method === 0xc2 || ((rgb >>> 24) & 0xff) === 0xc2) e.color = rgb & 0xffffff;
  if (lineweight !== 29) e.lineweight = lineweight;
  if (scale !== 1) e.lineTypeScale = num(scale);
  if (invisible) e.isVisible = false;
  return e;
}

const isUnitZ = (p) => p && p.x === 0 && p.y === 0 && p.z === 1;

// Reads the fields named in `fields` ({key: [field, kind]}) into `e`,
// leaving out zero thicknesses and the default extrusion.
function fill(e, type, tio, fields) {
  const m = mem();
  for (const f of planOf(type, tio, fields)) {
    const v = valueAt(m, tio + f.at, f.kind);
    if (verify) check(type, tio, f.name, f.kind, v);
    if (f.unlessUnitZ ? isUnitZ(v) : f.unlessZero && v === 0) continue;
    e[f.key] = v;
  }
  return e;
}

// The fields of a table such as `lineFields` that objects of a type have,
// with their offsets: made once per table and type.
const plans = new WeakMap();
function planOf(type, tio, fields) {
  let byType = plans.get(fields);
  if (!byType) plans.set(fields, (byType = []));
  let plan = byType[type];
  if (!plan) {
    plan = [];
    for (const key in fields) {
      const [name, kind] = fields[key];
      const at = offset(type, tio, name);
      if (at >= 0) plan.push({ key, name, kind, at, unlessUnitZ: key === 'extrusionDirection', unlessZero: key === 'thickness' });
    }
    byType[type] = plan;
  }
  return plan;
}

const textFields = {
  thickness: ['thickness', 'D'], startPoint: ['ins_pt', 'P2'], endPoint: ['alignment_pt', 'P2'],
  textHeight: ['height', 'D'], rotation: ['rotation', 'D'], xScale: ['width_factor', 'D'],
  obliqueAngle: ['oblique_angle', 'D'], generationFlag: ['generation', 'BS'], halign: ['horiz_alignment', 'BS'],
  valign: ['vert_alignment', 'BS'], extrusionDirection: ['extrusion', 'P3'], elevation: ['elevation', 'D'],
};
function textBase(e, type, tio) {
  fill(e, type, tio, textFields);
  const style = nameByRef(styleNames, get(type, tio, 'style', 'PTR'));
  if (style) e.styleName = style;
  return e;
}

function attribute(handle) {
  const o = objects.get(handle);
  if (!o || o.type !== T.DWG_TYPE_ATTRIB) return null;
  const tio = entityTio(o);
  const e = textBase(common(o, handle), o.type, tio);
  e.text = get(o.type, tio, 'text_value', 'T');
  e.tag = get(o.type, tio, 'tag', 'T');
  e.flags = get(o.type, tio, 'flags', 'RC');
  e.fieldLength = get(o.type, tio, 'field_length', 'BS');
  return e;
}

function insert(e, o, handle, tio) {
  fill(e, o.type, tio, insertFields);
  const scale = get(o.type, tio, 'scale', 'P3');
  e.name = nameByRef(blockNames, get(o.type, tio, 'block_header', 'PTR')) ?? '';
  e.xScale = scale.x;
  e.yScale = scale.y;
  e.zScale = scale.z;
  if (o.type === T.DWG_TYPE_MINSERT) {
    fill(e, o.type, tio, minsertFields);
  }
  // The attributes the insert lists, in its order; else those that name it
  // as their owner.
  const children = ownedBy.get(handle) || [];
  let attribs = [];
  const count = get(o.type, tio, 'num_owned', 'BL');
  const list = count ? get(o.type, tio, 'attribs', 'PTR') : 0;
  if (list) attribs = refArray(list, count).map(refHandle).filter((h) => h);
  else attribs = children.filter((c) => c.type === T.DWG_TYPE_ATTRIB).map((c) => c.handle);
  e.attribs = attribs.map(attribute).filter((a) => a);
  const seqend = children.find((c) => c.type === T.DWG_TYPE_SEQEND);
  if (seqend) e.seqend = seqend.handle;
  return e;
}

// Vertices as the drawing holds them, each with its handle.
function polyline(e, o, handle, tio) {
  fill(e, o.type, tio, polylineFields);
  if (o.type === T.DWG_TYPE_POLYLINE_2D) {
    fill(e, o.type, tio, polyline2dFields);
  }
  const children = ownedBy.get(handle) || [];
  e.vertices = children.filter((c) => c.type !== T.DWG_TYPE_SEQEND).map((c) => {
    const v = objects.get(c.handle);
    const vt = entityTio(v);
    const p = get(v.type, vt, 'point', 'P3') || { x: 0, y: 0, z: 0 };
    const out = { handle: c.handle, x: p.x, y: p.y, z: p.z, flag: get(v.type, vt, 'flag', 'RC') ?? 0 };
    if (v.type === T.DWG_TYPE_VERTEX_2D) {
      fill(out, v.type, vt, vertex2dFields);
    }
    return out;
  });
  const seqend = children.find((c) => c.type === T.DWG_TYPE_SEQEND);
  if (seqend) e.seqend = seqend.handle;
  return e;
}

function lwpolyline(e, o, tio) {
  fill(e, o.type, tio, lwpolylineFields);
  const n = get(o.type, tio, 'num_points', 'BL');
  const pts = n ? points(get(o.type, tio, 'points', 'PTR'), n, 2) : [];
  const nb = get(o.type, tio, 'num_bulges', 'BL');
  const bulges = nb ? doubles(get(o.type, tio, 'bulges', 'PTR'), nb) : [];
  const nw = get(o.type, tio, 'num_widths', 'BL');
  const widths = nw ? doubles(get(o.type, tio, 'widths', 'PTR'), 2 * nw) : [];
  e.vertices = pts.map((p, i) => {
    const v = { x: p.x, y: p.y };
    if (bulges[i]) v.bulge = bulges[i];
    if (i < nw) {
      v.startWidth = widths[2 * i];
      v.endWidth = widths[2 * i + 1];
    }
    return v;
  });
  return e;
}

let controlPoint = null;
function spline(e, o, tio) {
  fill(e, o.type, tio, splineFields);
  const nk = get(o.type, tio, 'num_knots', 'BL');
  e.knots = nk ? doubles(get(o.type, tio, 'knots', 'PTR'), nk) : [];
  const nc = get(o.type, tio, 'num_ctrl_pts', 'BL');
  const ctrl = nc ? get(o.type, tio, 'ctrl_pts', 'PTR') : 0;
  // Each control point is a record of its own: its coordinates and weight
  // where the library says.
  if (ctrl && !controlPoint) {
    const at = (f) => w.dwg_dynapi_subclass_field_offset('SPLINE_control_point', f);
    controlPoint = { size: w.dwg_dynapi_subclass_size('SPLINE_control_point'), x: at('x'), w: at('w') };
  }
  e.controlPoints = ctrl ? points(ctrl + controlPoint.x, nc, 3, controlPoint.size) : [];
  if (ctrl && get(o.type, tio, 'weighted', 'RC')) {
    const m = mem();
    e.weights = [];
    for (let i = 0; i < nc; i++) e.weights.push(num(m.getFloat64(ctrl + controlPoint.size * i + controlPoint.w, true)));
  }
  const nf = get(o.type, tio, 'num_fit_pts', 'BS');
  e.fitPoints = nf ? points(get(o.type, tio, 'fit_pts', 'PTR'), nf, 3) : [];
  return e;
}

const dimensionKinds = {
  [T.DWG_TYPE_DIMENSION_LINEAR]: 'linear', [T.DWG_TYPE_DIMENSION_ALIGNED]: 'aligned',
  [T.DWG_TYPE_DIMENSION_ANG3PT]: 'angular3', [T.DWG_TYPE_DIMENSION_ANG2LN]: 'angular2',
  [T.DWG_TYPE_DIMENSION_RADIUS]: 'radius', [T.DWG_TYPE_DIMENSION_DIAMETER]: 'diameter',
  [T.DWG_TYPE_DIMENSION_ORDINATE]: 'ordinate',
};

function dimension(e, o, tio) {
  const type = o.type;
  e.type = 'DIMENSION';
  e.kind = dimensionKinds[type];
  fill(e, type, tio, dimensionFields);
  if (!e.textLineSpacingFactor) e.textLineSpacingFactor = 1;
  e.name = nameByRef(blockNames, get(type, tio, 'block', 'PTR')) ?? '';
  e.styleName = nameByRef(dimstyleNames, get(type, tio, 'dimstyle', 'PTR')) ?? '';
  const p = (name) => get(type, tio, name, 'P3');
  switch (e.kind) {
    case 'linear':
    case 'aligned':
      e.subDefinitionPoint1 = p('xline1_pt');
      e.subDefinitionPoint2 = p('xline2_pt');
      e.obliqueAngle = get(type, tio, 'oblique_angle', 'D');
      if (e.kind === 'linear') e.rotationAngle = get(type, tio, 'dim_rotation', 'D');
      break;
    case 'angular3':
      e.subDefinitionPoint1 = p('xline1_pt');
      e.subDefinitionPoint2 = p('xline2_pt');
      e.centerPoint = p('center_pt');
      break;
    case 'angular2':
      // Group 10 is the point on the dimension arc; 13 to 16 the two
      // extension lines, start and end of each.
      e.definitionPoint = get(type, tio, 'xline2end_pt', 'P3');
      e.subDefinitionPoint1 = get(type, tio, 'xline1start_pt', 'P3');
      e.subDefinitionPoint2 = get(type, tio, 'xline1end_pt', 'P3');
      e.centerPoint = get(type, tio, 'xline2start_pt', 'P3');
      e.arcPoint = get(type, tio, 'def_pt', 'P3');
      break;
    case 'radius':
    case 'diameter':
      e.centerPoint = p('first_arc_pt');
      e.leaderLength = get(type, tio, 'leader_len', 'D');
      break;
    case 'ordinate': {
      e.subDefinitionPoint1 = p('feature_location_pt');
      e.subDefinitionPoint2 = p('leader_endpt');
      // An X-type ordinate is bit 64; 128 is text the user placed (bit 1 of
      // flag1 clear).
      const flag1 = get(type, tio, 'flag1', 'RC') ?? 1;
      e.dimensionType = ((e.dimensionType ?? 0) & ~(64 | 128)) | (get(type, tio, 'flag2', 'RC') ? 64 : 0) |
        (flag1 & 1 ? 0 : 128);
      break;
    }
    default:
      break;
  }
  return e;
}

// Entity types read seldom enough that the library's accessor serves.
function hatch(e, tio) {
  const n = dyn(tio, 'num_paths') || 0;
  const paths = n ? (w.dwg_ptr_to_hatch_path_array(dyn(tio, 'paths'), n) || []) : [];
  const ext = dyn(tio, 'extrusion');
  if (ext && !isUnitZ(ext)) e.extrusionDirection = ext;
  Object.assign(e, {
    patternName: dyn(tio, 'name'), solidFill: dyn(tio, 'is_solid_fill') ? 1 : 0, hatchStyle: dyn(tio, 'style'),
    patternType: dyn(tio, 'pattern_type'), patternAngle: dyn(tio, 'angle'), patternScale: dyn(tio, 'scale_spacing'),
    elevation: dyn(tio, 'elevation'),
  });
  e.boundaryPaths = paths.filter((p) => p.num_segs_or_paths > 0).map((p) => {
    if (p.flag & 2) {
      return {
        boundaryPathTypeFlag: p.flag, isClosed: !!p.closed,
        vertices: p.polyline_paths.map((v) => ({ x: v.point.x, y: v.point.y, bulge: v.bulge })),
      };
    }
    return {
      boundaryPathTypeFlag: p.flag,
      edges: p.segs.map((s) => {
        switch (s.curve_type) {
          case 1: return { type: 1, start: s.first_endpoint, end: s.second_endpoint };
          case 2: return { type: 2, center: s.center, radius: s.radius, startAngle: s.start_angle, endAngle: s.end_angle, isCCW: !!s.is_ccw };
          case 3: return { type: 3, center: s.center, end: s.endpoint, lengthOfMinorAxis: s.minor_major_ratio, startAngle: s.start_angle, endAngle: s.end_angle, isCCW: !!s.is_ccw };
          default: return { type: 4, degree: s.degree, isRational: !!s.is_rational, isPeriodic: !!s.is_periodic,
            knots: s.knots, controlPoints: s.control_points, fitDatum: s.fitpts, startTangent: s.start_tangent, endTangent: s.end_tangent };
        }
      }),
    };
  });
  const nd = dyn(tio, 'num_deflines') || 0;
  const lines = nd ? (w.dwg_ptr_to_hatch_defline_array(dyn(tio, 'deflines'), nd) || []) : [];
  e.definitionLines = lines.map((l) => ({ angle: l.angle, base: l.pt0, offset: l.offset, dashLengths: l.dashes }));
  const ns = dyn(tio, 'num_seeds') || 0;
  e.seedPoints = ns ? (w.dwg_ptr_to_point2d_array(dyn(tio, 'seeds'), ns) || []) : [];
  return jsonSafe(e);
}

function leader(e, tio) {
  const n = dyn(tio, 'num_points') || 0;
  Object.assign(e, {
    styleName: nameByRef(dimstyleNames, dyn(tio, 'dimstyle')) ?? '', isArrowheadEnabled: dyn(tio, 'arrowhead_type') > 0,
    isSpline: dyn(tio, 'path_type') > 0, isHooklineSameDirection: dyn(tio, 'hookline_dir') > 0,
    isHooklineExists: dyn(tio, 'hookline_on') > 0, textHeight: dyn(tio, 'box_height'), textWidth: dyn(tio, 'box_width'),
    vertices: n ? (w.dwg_ptr_to_point3d_array(dyn(tio, 'points'), n) || []) : [], normal: dyn(tio, 'extrusion'),
    horizontalDirection: dyn(tio, 'x_direction'), offsetFromBlock: dyn(tio, 'inspt_offset'),
    offsetFromAnnotation: dyn(tio, 'endptproj'),
  });
  return jsonSafe(e);
}

function image(e, tio, wipeout) {
  const n = dyn(tio, 'num_clip_verts') || 0;
  const clip = dyn(tio, 'clip_verts');
  Object.assign(e, {
    position: dyn(tio, 'pt0'), uPixel: dyn(tio, 'uvec'), vPixel: dyn(tio, 'vvec'), imageSize: dyn(tio, 'image_size'),
    imageDefHandle: refHandle(dyn(tio, 'imagedef')) ?? '', flags: dyn(tio, 'display_props'), clipping: dyn(tio, 'clipping'),
    brightness: dyn(tio, 'brightness'), contrast: dyn(tio, 'contrast'), fade: dyn(tio, 'fade'),
    clippingBoundaryType: dyn(tio, 'clip_boundary_type'),
    clippingBoundaryPath: n && clip ? (wipeout ? w.dwg_ptr_to_point2d_array(clip, n) : w.dwg_ptr_to_point3d_array(clip, n)) || [] : [],
  });
  return jsonSafe(e);
}

function viewport(e, tio) {
  const v = (name) => dyn(tio, name);
  Object.assign(e, {
    viewportCenter: v('center'), width: v('width'), height: v('height'), status: v('on_off'), displayCenter: v('VIEWCTR'),
    snapBase: v('SNAPBASE'), snapSpacing: v('SNAPUNIT'), gridSpacing: v('GRIDUNIT'), viewDirection: v('VIEWDIR'),
    targetPoint: v('view_target'), perspectiveLensLength: v('lens_length'), frontClipZ: v('front_clip_z'),
    backClipZ: v('back_clip_z'), viewHeight: v('VIEWSIZE'), snapAngle: v('SNAPANG'), viewTwistAngle: v('twist_angle'),
    circleZoomPercent: v('circle_zoom'), statusBitFlags: v('status_flag'), renderMode: v('render_mode'),
    ucsPerViewport: v('UCSVP'), ucsOrigin: v('ucsorg'), ucsXAxis: v('ucsxdir'), ucsYAxis: v('ucsydir'),
    orthographicType: v('UCSORTHOVIEW'), elevation: v('ucs_elevation'),
  });
  for (const key of Object.keys(e)) if (e[key] === undefined) delete e[key];
  return jsonSafe(e);
}

function mtext(e, o, tio) {
  fill(e, o.type, tio, mtextFields);
  const style = nameByRef(styleNames, get(o.type, tio, 'style', 'PTR'));
  if (style) e.styleName = style;
  return e;
}

// The fields of each entity type, by the key the program reads.
const insertFields = { insertionPoint: ['ins_pt', 'P3'], rotation: ['rotation', 'D'],
  extrusionDirection: ['extrusion', 'P3'] };
const minsertFields = { columnCount: ['num_cols', 'BS'], rowCount: ['num_rows', 'BS'],
  columnSpacing: ['col_spacing', 'D'], rowSpacing: ['row_spacing', 'D'] };
const polylineFields = { flag: ['flag', 'BS'], thickness: ['thickness', 'D'],
  extrusionDirection: ['extrusion', 'P3'] };
const polyline2dFields = { smoothType: ['curve_type', 'BS'], startWidth: ['start_width', 'D'],
  endWidth: ['end_width', 'D'], elevation: ['elevation', 'D'] };
const vertex2dFields = { startWidth: ['start_width', 'D'], endWidth: ['end_width', 'D'], bulge: ['bulge', 'D'],
  tangentDirection: ['tangent_dir', 'D'] };
const splineFields = { flag: ['flag', 'BS'], degree: ['degree', 'BL'], knotTolerance: ['knot_tol', 'D'],
  controlTolerance: ['ctrl_tol', 'D'], fitTolerance: ['fit_tol', 'D'], startTangent: ['beg_tan_vec', 'P3'],
  endTangent: ['end_tan_vec', 'P3'] };
const dimensionFields = { definitionPoint: ['def_pt', 'P3'], textPoint: ['text_midpt', 'P2'],
  elevation: ['elevation', 'D'], dimensionType: ['flag', 'RC'], textLineSpacingStyle: ['lspace_style', 'BS'],
  textLineSpacingFactor: ['lspace_factor', 'D'], measurement: ['act_measurement', 'D'], text: ['user_text', 'T'],
  textRotation: ['text_rotation', 'D'], extrusionDirection: ['extrusion', 'P3'] };
const mtextFields = { insertionPoint: ['ins_pt', 'P3'], textHeight: ['text_height', 'D'],
  rectWidth: ['rect_width', 'D'], rectHeight: ['rect_height', 'D'], attachmentPoint: ['attachment', 'BS'],
  drawingDirection: ['flow_dir', 'BS'], text: ['text', 'T'], extrusionDirection: ['extrusion', 'P3'],
  direction: ['x_axis_dir', 'P3'], lineSpacingStyle: ['linespace_style', 'BS'],
  lineSpacing: ['linespace_factor', 'D'] };
const pointFields = { thickness: ['thickness', 'D'], extrusionDirection: ['extrusion', 'P3'], angle: ['x_ang', 'D'] };
const solidFields = { corner1: ['corner1', 'P2'], corner2: ['corner2', 'P2'], corner3: ['corner3', 'P2'],
  corner4: ['corner4', 'P2'], elevation: ['elevation', 'D'], thickness: ['thickness', 'D'],
  extrusionDirection: ['extrusion', 'P3'] };
const faceFields = { corner1: ['corner1', 'P3'], corner2: ['corner2', 'P3'], corner3: ['corner3', 'P3'],
  corner4: ['corner4', 'P3'], flag: ['invis_flags', 'BS'] };
const xlineFields = { firstPoint: ['point', 'P3'], unitDirection: ['vector', 'P3'] };
const lineFields = { startPoint: ['start', 'P3'], endPoint: ['end', 'P3'], thickness: ['thickness', 'D'],
  extrusionDirection: ['extrusion', 'P3'] };
const circleFields = { center: ['center', 'P3'], radius: ['radius', 'D'], thickness: ['thickness', 'D'],
  extrusionDirection: ['extrusion', 'P3'] };
const arcFields = { startAngle: ['start_angle', 'D'], endAngle: ['end_angle', 'D'] };
const ellipseFields = { center: ['center', 'P3'], majorAxisEndPoint: ['sm_axis', 'P3'], extrusionDirection: ['extrusion', 'P3'],
  axisRatio: ['axis_ratio', 'D'], startAngle: ['start_angle', 'D'], endAngle: ['end_angle', 'D'] };
const lwpolylineFields = { flag: ['flag', 'BS'], constantWidth: ['const_width', 'D'], elevation: ['elevation', 'D'],
  thickness: ['thickness', 'D'], extrusionDirection: ['extrusion', 'P3'] };

// One entity in the form the program writes, or null when its type does
// not come across.
function entity(handle) {
  const o = objects.get(handle);
  if (!o) return null;
  const type = o.type;
  const tio = entityTio(o);
  if (!tio) return null;
  const e = common(o, handle, typeNames[type]);
  const f = (fields) => fill(e, type, tio, fields);
  switch (type) {
    case T.DWG_TYPE_LINE:
      return f(lineFields);
    case T.DWG_TYPE_CIRCLE:
    case T.DWG_TYPE_ARC:
      f(circleFields);
      if (type === T.DWG_TYPE_ARC) f(arcFields);
      return e;
    case T.DWG_TYPE_POINT:
      e.position = { x: get(type, tio, 'x', 'D'), y: get(type, tio, 'y', 'D'), z: get(type, tio, 'z', 'D') };
      return f(pointFields);
    case T.DWG_TYPE_ELLIPSE:
      return f(ellipseFields);
    case T.DWG_TYPE_LWPOLYLINE:
      return lwpolyline(e, o, tio);
    case T.DWG_TYPE_POLYLINE_2D:
      e.type = 'POLYLINE2D';
      return polyline(e, o, handle, tio);
    case T.DWG_TYPE_POLYLINE_3D:
      e.type = 'POLYLINE3D';
      return polyline(e, o, handle, tio);
    case T.DWG_TYPE_SPLINE:
      return spline(e, o, tio);
    case T.DWG_TYPE_SOLID:
    case T.DWG_TYPE_TRACE:
      return f(solidFields);
    case T.DWG_TYPE_3DFACE:
      e.type = '3DFACE';
      return f(faceFields);
    case T.DWG_TYPE_XLINE:
    case T.DWG_TYPE_RAY:
      return f(xlineFields);
    case T.DWG_TYPE_TEXT:
      textBase(e, type, tio);
      e.text = get(type, tio, 'text_value', 'T');
      return e;
    case T.DWG_TYPE_ATTDEF:
      textBase(e, type, tio);
      e.text = get(type, tio, 'default_value', 'T');
      e.prompt = get(type, tio, 'prompt', 'T');
      e.tag = get(type, tio, 'tag', 'T');
      e.flags = get(type, tio, 'flags', 'RC');
      e.fieldLength = get(type, tio, 'field_length', 'BS');
      return e;
    case T.DWG_TYPE_MTEXT:
      return mtext(e, o, tio);
    case T.DWG_TYPE_INSERT:
    case T.DWG_TYPE_MINSERT:
      e.type = 'INSERT';
      return insert(e, o, handle, tio);
    case T.DWG_TYPE_HATCH:
      return hatch(e, tio);
    case T.DWG_TYPE_LEADER:
      return leader(e, tio);
    case T.DWG_TYPE_IMAGE:
      return image(e, tio, false);
    case T.DWG_TYPE_WIPEOUT:
      return image(e, tio, true);
    case T.DWG_TYPE_VIEWPORT:
      e.viewportId = viewportIds.get(handle);
      return viewport(e, tio);
    default:
      if (dimensionKinds[type]) return dimension(e, o, tio);
      return null;
  }
}

// Every block with its entities in the drawing's own order: the chain the
// block keeps, then the entities that name it as their owner without being
// on it.
const reached = new Set();
const chains = new Map();
for (const h of handlesOf(T.DWG_TYPE_BLOCK_HEADER)) {
  const header = objects.get(h);
  const order = [];
  let next = w.get_first_owned_entity(header.obj);
  let guard = 0;
  while (next && guard++ <= objectCount) {
    const eh = handleOfPointer(next);
    if (reached.has(eh)) break;
    reached.add(eh);
    order.push(eh);
    next = w.get_next_owned_entity(header.obj, next);
  }
  chains.set(h, order);
}
const modelSpace = (() => {
  const obj = w.dwg_model_space_object(data);
  return obj ? hex(w.dwg_obj_get_handle_value(obj)) : null;
})();
if (!modelSpace || !chains.has(modelSpace)) damaged('its model space could not be read');
const blockTypes = new Set([T.DWG_TYPE_BLOCK, T.DWG_TYPE_ENDBLK]);
for (const [h, o] of objects) {
  if (reached.has(h) || subEntityTypes.has(o.type) || blockTypes.has(o.type)) continue;
  if (o.supertype !== 0) continue;
  let owner = entityOwner(o);
  // An entity whose owner is gone belongs to model space, as CAD programs
  // read it.
  if (!chains.has(owner)) owner = modelSpace;
  chains.get(owner).push(h);
  reached.add(h);
}

const written = new Set(['LINE', 'POINT', 'CIRCLE', 'ARC', 'ELLIPSE', 'LWPOLYLINE', 'POLYLINE2D', 'POLYLINE3D',
  'SPLINE', 'SOLID', 'TRACE', '3DFACE', 'TEXT', 'ATTDEF', 'MTEXT', 'INSERT', 'DIMENSION', 'HATCH', 'LEADER',
  'IMAGE', 'WIPEOUT', 'VIEWPORT', 'XLINE', 'RAY']);

// Viewports are numbered in the order of their handles.
const viewportIds = new Map();
[...objects].filter(([, o]) => o.type === T.DWG_TYPE_VIEWPORT).map(([h]) => h)
  .sort((a, b) => (objects.get(a).h < objects.get(b).h ? -1 : 1)).forEach((h, i) => viewportIds.set(h, i + 1));

// One piece of the answer, made safe for JSON only when a number read for
// it needs it. A line written to a pipe is written whole before the reader
// goes on.
const writeLine = (piece) => {
  process.stdout.write(JSON.stringify(nonFinite ? jsonSafe(piece) : piece) + '\n');
  nonFinite = false;
};
const entitiesPerLine = 256;

nonFinite = false;
for (const h of handlesOf(T.DWG_TYPE_BLOCK_HEADER)) {
  const header = objects.get(h);
  const htio = objectTio(header);
  let entities = [];
  for (const eh of chains.get(h)) {
    if (entities.length === entitiesPerLine) {
      writeLine(entities);
      entities = [];
    }
    const o = objects.get(eh);
    const type = o ? o.type : -1;
    // A damaged entity costs that entity, not the drawing.
    try {
      const e = o ? entity(eh) : null;
      if (!e || !written.has(e.type)) {
        if (type !== T.DWG_TYPE_ATTRIB && type !== T.DWG_TYPE_SEQEND && !subEntityTypes.has(type) && !blockTypes.has(type))
          skip(typeNames[type] || 'UNKNOWN');
        continue;
      }
      entities.push(e);
    } catch (error) {
      process.stderr.write(`entity ${eh}: ${error && error.message}\n`);
      skip(typeNames[type] || 'UNKNOWN');
    }
  }
  if (entities.length) writeLine(entities);
  const get1 = (name, kind) => get(header.type, htio, name, kind);
  const layout = refHandle(get1('layout', 'PTR'));
  const block = {
    handle: h,
    name: blockNames.get(h),
    flags: get1('flag', 'RC'),
    description: get1('description', 'T'),
    basePoint: get1('base_pt', 'P3'),
    xrefPath: get1('xref_pname', 'T'),
    begin: refHandle(get1('block_entity', 'PTR')),
    end: refHandle(get1('endblk_entity', 'PTR')),
    layout: layout && layout !== '0' ? layout : null,
    insertionUnits: get1('insert_units', 'BS'),
    explodability: get1('explodable', 'RC'),
    scalability: get1('block_scaling', 'RC'),
  };
  writeLine(block);
}

// ------------------------------------------------------------ stored colour numbers

// A colour in a drawing from 2004 on is a colour number, an RGB value whose
// top byte says how it is meant (0xC2 a true colour, 0xC3 a colour number),
// and a flag byte for the names of a colour book. The library passes the
// RGB value on but puts its own look-up of it in the palette where the
// stored number was. A layer with a true colour keeps, in the DXF that CAD
// programs write, the number stored with it when there is one, else the
// palette's nearest: so the stored numbers of the layers with a true colour
// are read here from the file itself. Only what the library also read is
// taken: a layer whose RGB value read here differs from the library's gets
// no number from here (with TESSILUX_DWG_VERIFY=1 the reader then ends with
// status 5).

// The drawing's sections, as the file header of the 2004 form lists them:
// name -> {size, pageSize, compressed, pages: [{address, start}]}.
function fileSections(file) {
  const head = Buffer.from(file.subarray(0x80, 0x80 + 0x6c));
  let seed = 1;
  for (let i = 0; i < head.length; i++) {
    seed = (Math.imul(seed, 0x343fd) + 0x269ec3) >>> 0;
    head[i] ^= (seed >>> 16) & 0xff;
  }
  if (head.toString('latin1', 0, 11) !== 'AcFssFcAJMB') throw new Error('no section header');
  const pageMap = systemPage(file, Number(head.readBigUInt64LE(0x54)) + 0x100);
  const pageAt = new Map();
  for (let p = 0, address = 0x100; p + 8 <= pageMap.length;) {
    const number = pageMap.readInt32LE(p);
    pageAt.set(number, address);
    address += pageMap.readUInt32LE(p + 4);
    p += number < 0 ? 24 : 8;
  }
  const mapAddress = pageAt.get(head.readUInt32LE(0x5c));
  if (mapAddress === undefined) throw new Error('no section map');
  const map = systemPage(file, mapAddress);
  const sections = new Map();
  for (let k = 0, n = map.readUInt32LE(0), p = 20; k < n; k++) {
    const size = Number(map.readBigUInt64LE(p));
    const count = map.readUInt32LE(p + 8);
    const pageSize = map.readUInt32LE(p + 12);
    const compressed = map.readUInt32LE(p + 20) === 2;
    const end = map.indexOf(0, p + 32);
    const name = map.toString('latin1', p + 32, end < 0 || end > p + 96 ? p + 96 : end);
    p += 96;
    const pages = [];
    for (let j = 0; j < count; j++, p += 16) {
      const address = pageAt.get(map.readInt32LE(p));
      if (address !== undefined) pages.push({ address, start: Number(map.readBigUInt64LE(p + 8)) });
    }
    sections.set(name, { size, pageSize, compressed, pages });
  }
  return sections;
}

// A page of the file's own maps: its header, then its compressed bytes.
function systemPage(file, at) {
  const size = file.readUInt32LE(at + 4);
  return decompress(file, at + 20, file.readUInt32LE(at + 8), size);
}

// The bytes of a section, its pages unpacked as they are first asked for.
function sectionBytes(file, section) {
  const out = Buffer.alloc(section.size);
  const done = new Set();
  return (from, to) => {
    for (const page of section.pages) {
      if (done.has(page) || page.start >= Math.min(to, section.size) || page.start + section.pageSize <= from) continue;
      done.add(page);
      // Each page has a header of eight numbers, each masked with its address.
      const mask = (0x4164536b ^ page.address) >>> 0;
      const length = (file.readUInt32LE(page.address + 8) ^ mask) >>> 0;
      const data = section.compressed ? decompress(file, page.address + 32, length, section.pageSize)
        : file.subarray(page.address + 32, page.address + 32 + length);
      const room = Math.max(0, Math.min(data.length, out.length - page.start));
      out.set(data.subarray(0, room), page.start);
    }
    return out;
  };
}

// The sections' compression: runs of bytes copied from the input, and
// copies of earlier output.
function decompress(src, at, length, size) {
  const out = Buffer.alloc(size);
  const end = Math.min(src.length, at + length);
  let p = at;
  let q = 0;
  const byte = () => {
    if (p >= end) throw new Error('compressed data end early');
    return src[p++];
  };
  // A run's length, or 0 when the byte is an instruction (then kept in `next`).
  let next = 0;
  const runLength = () => {
    let b = byte();
    if (b >= 0x01 && b <= 0x0f) return b + 3;
    if (b === 0) {
      let total = 0x0f;
      while ((b = byte()) === 0) total += 0xff;
      return total + b + 3;
    }
    next = b;
    return 0;
  };
  const longCount = () => {
    let b = byte();
    let total = 0;
    if (b === 0) {
      total = 0xff;
      while ((b = byte()) === 0) total += 0xff;
    }
    return total + b;
  };
  const copyRun = (n) => {
    if (n > size - q || p + n > end) throw new Error('compressed run out of range');
    src.copy(out, q, p, p + n);
    p += n;
    q += n;
  };
  copyRun(runLength());
  next = 0;
  while (p < end && q < size) {
    let op = next || byte();
    next = 0;
    let count;
    let offset;
    let run;
    const twoBytes = () => {
      const a = byte();
      const b = byte();
      run = a & 3;
      return (a >> 2) | (b << 6);
    };
    if (op >= 0x40) {
      count = (op >> 4) - 1;
      offset = (byte() << 2) | ((op & 0x0c) >> 2);
      run = op & 3;
    } else if (op >= 0x21) {
      count = op - 0x1e;
      offset = twoBytes();
    } else if (op === 0x20) {
      count = longCount() + 0x21;
      offset = twoBytes();
    } else if (op >= 0x12) {
      count = (op & 0x0f) + 2;
      offset = twoBytes() + 0x3fff;
    } else if (op === 0x10) {
      count = longCount() + 9;
      offset = twoBytes() + 0x3fff;
    } else if (op === 0x11) {
      break;
    } else {
      throw new Error(`compressed data has instruction ${op}`);
    }
    if (run === 0) run = runLength();
    const from = q - offset - 1;
    if (from < 0 || count > size - q) throw new Error('compressed copy out of range');
    for (let i = 0; i < count; i++) out[q++] = out[from + i];
    copyRun(run);
  }
  return out;
}

// Reads the fields of an object bit by bit, as the file holds them.
class Bits {
  constructor(bytes, at) {
    this.b = bytes;
    this.bit = at * 8;
  }
  B() {
    const i = this.bit++;
    if (i >> 3 >= this.b.length) throw new Error('object ends early');
    return (this.b[i >> 3] >> (7 - (i & 7))) & 1;
  }
  n(count) {
    let v = 0;
    for (let i = 0; i < count; i++) v = v * 2 + this.B();
    return v;
  }
  RC() { return this.n(8); }
  RS() { return this.RC() | (this.RC() << 8); }
  RL() { return (this.RS() | (this.RS() << 16)) >>> 0; }
  BS() { return [() => this.RS(), () => this.RC(), () => 0, () => 256][this.n(2)](); }
  BL() { return [() => this.RL(), () => this.RC(), () => 0, () => 0][this.n(2)](); }
  H() {
    this.n(4);
    let v = 0n;
    for (let i = this.n(4); i > 0; i--) v = (v << 8n) | BigInt(this.RC());
    return v;
  }
}

// A modular number: seven bits a byte, the last byte's 0x40 its sign when signed.
function modular(bytes, at, signed) {
  let v = 0;
  let scale = 1;
  for (;;) {
    const b = bytes[at++];
    if (b === undefined) throw new Error('modular number ends early');
    if (b & 0x80) {
      v += (b & 0x7f) * scale;
      scale *= 128;
      continue;
    }
    if (signed && b & 0x40) return [-(v + (b & 0x3f) * scale), at];
    return [v + b * scale, at];
  }
}

// The offset of every object in the object section, by handle: runs of at
// most 2 KB, each counting its handles and offsets afresh from 0.
function objectOffsets(map) {
  const at = new Map();
  for (let p = 0; p + 2 <= map.length;) {
    const size = map.readUInt16BE(p);
    if (size <= 2) break;
    let handle = 0;
    let offset = 0;
    for (let q = p + 2; q < p + size;) {
      let d;
      [d, q] = modular(map, q, false);
      handle += d;
      [d, q] = modular(map, q, true);
      offset += d;
      at.set(handle, offset);
    }
    p += size + 2;
  }
  return at;
}

// The colour a LAYER object stores: {handle, index, rgb}.
function layerColorAt(bytes, at) {
  let size = 0;
  let scale = 1;
  for (;;) {
    const v = bytes.readUInt16LE(at);
    at += 2;
    size += (v & 0x7fff) * scale;
    scale *= 0x8000;
    if (!(v & 0x8000)) break;
  }
  const late = versionName >= 'AC1024';
  if (late) at = modular(bytes, at, false)[1];
  const r = new Bits(bytes.subarray(0, at + size), at);
  if (late) {
    const kind = r.n(2);
    if (kind === 0) r.RC();
    else if (kind === 1) r.RC();
    else r.RS();
  } else {
    r.BS();
    r.RL();
  }
  const handle = r.H();
  for (let n = r.BS(); n; n = r.BS()) {
    r.H();
    r.bit += 8 * n;
  }
  r.BL(); // reactors
  r.B(); // no extension dictionary
  if (versionName >= 'AC1027') r.B(); // binary data follow
  // The name; from 2007 on it is with the object's strings.
  if (!late) {
    const length = r.BS();
    r.bit += 8 * length;
  }
  r.B();
  if (!late) r.BS();
  r.B();
  r.BS(); // the layer's flags
  return { handle, index: r.BS(), rgb: r.BL() };
}

// The stored colour numbers of the given layers ({handle, obj, rgb}), by
// handle; empty when the file cannot be read so.
function storedColorNumbers(wantedLayers) {
  const found = new Map();
  if (!fileBytes || !wantedLayers.length) return found;
  try {
    const sections = fileSections(fileBytes);
    const handles = sections.get('AcDb:Handles');
    const objectSection = sections.get('AcDb:AcDbObjects');
    if (!handles || !objectSection) return found;
    const offsets = objectOffsets(sectionBytes(fileBytes, handles)(0, handles.size));
    const bytesOf = sectionBytes(fileBytes, objectSection);
    for (const layer of wantedLayers) {
      const at = offsets.get(Number(layer.h));
      if (at === undefined) continue;
      // A layer's record is small: its start and a few kilobytes more are enough.
      const color = layerColorAt(bytesOf(at, at + 0x2000), at);
      const same = color.handle === BigInt(layer.h) && color.rgb === layer.rgb;
      if (verify && !same) fail(5, `layer ${layer.handle} stores colour ${color.rgb.toString(16)}, the library says ${layer.rgb.toString(16)}`);
      if (same) found.set(layer.handle, color.index);
    }
  } catch (error) {
    if (verify) fail(5, `the colour numbers the layers store cannot be read: ${error.message}`);
  }
  return found;
}

// ------------------------------------------------------------ tables

const layerColors = new Map(handlesOf(T.DWG_TYPE_LAYER).map((h) => [h, dyn(objectTio(objects.get(h)), 'color')]));
const isTrueColor = (color) => color.method === 0xc2 || ((color.rgb >>> 24) & 0xff) === 0xc2;
// Checked, every layer's colour is read from the file too.
const storedNumbers = storedColorNumbers([...layerColors].filter(([, c]) => c && (verify || isTrueColor(c)))
  .map(([h, c]) => ({ handle: h, h: objects.get(h).h, rgb: c.rgb >>> 0 })));
const layers = handlesOf(T.DWG_TYPE_LAYER).map((h) => {
  const o = objects.get(h);
  const tio = objectTio(o);
  const flag = get(o.type, tio, 'flag', 'BS');
  const color = layerColors.get(h) || { index: 7, rgb: 0, method: 0 };
  const l = { handle: h, name: layerByHandle.get(h), standardFlag: flag };
  // A true colour keeps the colour number stored with it, else the one the
  // library found for it in the palette.
  if (isTrueColor(color)) {
    l.trueColor = color.rgb & 0xffffff;
    const stored = storedNumbers.get(h);
    if (stored >= 1 && stored <= 255) l.colorIndex = stored;
    else if (color.index >= 1 && color.index <= 255) l.colorIndex = color.index;
  } else {
    l.colorIndex = color.method === 0xc3 || ((color.rgb >>> 24) & 0xff) === 0xc3 ? color.rgb & 0xff : Math.abs(color.index);
  }
  l.off = (get(o.type, tio, 'off', 'RC') || 0) !== 0 || color.index < 0;
  l.lineType = nameByRef(linetypeNames, get(o.type, tio, 'ltype', 'PTR')) ?? 'Continuous';
  l.plot = get(o.type, tio, 'plotflag', 'RC');
  l.lineweight = get(o.type, tio, 'linewt', 'RC');
  return l;
});

const linetypes = handlesOf(T.DWG_TYPE_LTYPE).map((h) => {
  const o = objects.get(h);
  const tio = objectTio(o);
  const n = dyn(tio, 'numdashes') || 0;
  const dashes = n ? (w.dwg_ptr_to_ltype_dash_array(dyn(tio, 'dashes'), n) || []) : [];
  return {
    handle: h, name: linetypeNames.get(h), standardFlag: dyn(tio, 'flag'), description: dyn(tio, 'description'),
    totalPatternLength: dyn(tio, 'pattern_len'), pattern: dashes.map((d) => ({ elementLength: d.length || 0 })),
  };
});

const styles = handlesOf(T.DWG_TYPE_STYLE).map((h) => {
  const o = objects.get(h);
  const tio = objectTio(o);
  return {
    handle: h, name: styleNames.get(h), standardFlag: dyn(tio, 'flag'), fixedTextHeight: dyn(tio, 'text_size') ?? 0,
    widthFactor: dyn(tio, 'width_factor'), obliqueAngle: dyn(tio, 'oblique_angle'), textGenerationFlag: dyn(tio, 'generation'),
    lastHeight: dyn(tio, 'last_height'), font: dyn(tio, 'font_file'), bigFont: dyn(tio, 'bigfont_file'),
  };
});

const dimstyles = handlesOf(T.DWG_TYPE_DIMSTYLE).map((h) => {
  const tio = objectTio(objects.get(h));
  const d = { handle: h, name: dimstyleNames.get(h) };
  for (const v of ['DIMSCALE', 'DIMASZ', 'DIMTXT', 'DIMEXO', 'DIMEXE', 'DIMGAP', 'DIMDEC', 'DIMTAD', 'DIMTIH', 'DIMTOH', 'DIMLFAC'])
    d[v] = dyn(tio, v);
  return d;
});

const vports = handlesOf(T.DWG_TYPE_VPORT).map((h) => {
  const o = objects.get(h);
  const tio = objectTio(o);
  return {
    handle: h, name: nameOf(o), center: dyn(tio, 'VIEWCTR'), snapBasePoint: dyn(tio, 'SNAPBASE'),
    snapSpacing: dyn(tio, 'SNAPUNIT'), gridSpacing: dyn(tio, 'GRIDUNIT'), viewDirectionFromTarget: dyn(tio, 'VIEWDIR'),
    viewTarget: dyn(tio, 'view_target'), viewHeight: dyn(tio, 'VIEWSIZE'), aspectRatio: dyn(tio, 'aspect_ratio'),
    lensLength: dyn(tio, 'lens_length'),
  };
});

const appids = handlesOf(T.DWG_TYPE_APPID).map((h) => {
  const o = objects.get(h);
  return { handle: h, name: nameOf(o), flags: dyn(objectTio(o), 'flag') || 0 };
}).filter((a) => a.name);

// ------------------------------------------------------------ objects

const ownerOf = (o) => {
  try {
    return hex(w.dwg_object_object_get_ownerhandle_object(w.dwg_object_get_tio(o.obj)).absolute_ref);
  } catch {
    return null;
  }
};

// Every dictionary's items must be there; the root dictionary, owned by
// nothing, holds the layouts.
let root = null;
for (const h of handlesOf(T.DWG_TYPE_DICTIONARY)) {
  const o = objects.get(h);
  const tio = objectTio(o);
  const n = dyn(tio, 'numitems') || 0;
  const items = n ? refArray(dyn(tio, 'itemhandles'), n).map(refHandle) : [];
  for (const h2 of items) {
    promised++;
    if (h2 && !objects.has(h2)) missingItems++;
  }
  if (ownerOf(o) !== '0') continue;
  const names = n ? w.dwg_object_dictionary_get_texts(o.obj).data || [] : [];
  const entries = {};
  names.forEach((name, i) => {
    if (items[i]) entries[name] = items[i];
  });
  const candidate = { handle: h, entries };
  if (!root || (entries.ACAD_LAYOUT && !root.entries.ACAD_LAYOUT)) root = candidate;
}

const layouts = handlesOf(T.DWG_TYPE_LAYOUT).map((h) => {
  const tio = objectTio(objects.get(h));
  const v = (name) => dyn(tio, name);
  return {
    handle: h, layoutName: v('layout_name'), controlFlag: v('layout_flags'), tabOrder: v('tab_order'),
    minLimit: v('LIMMIN'), maxLimit: v('LIMMAX'), insertionPoint: v('INSBASE'), minExtent: v('EXTMIN'),
    maxExtent: v('EXTMAX'), elevation: v('ucs_elevation'), ucsOrigin: v('UCSORG'), ucsXAxis: v('UCSXDIR'),
    ucsYAxis: v('UCSYDIR'), orthographicType: v('UCSORTHOVIEW'), paperSpaceTableId: refHandle(v('block_header')) ?? '',
  };
});

const imageDefinitions = handlesOf(T.DWG_TYPE_IMAGEDEF).map((h) => {
  const tio = objectTio(objects.get(h));
  return {
    handle: h, fileName: dyn(tio, 'file_path'), size: dyn(tio, 'image_size'), sizeOfOnePixel: dyn(tio, 'pixel_size'),
    isLoaded: dyn(tio, 'is_loaded'), resolutionUnits: dyn(tio, 'resunits'),
  };
});

// The header variables the program writes.
const header = {};
for (const name of ['INSBASE', 'EXTMIN', 'EXTMAX', 'LIMMIN', 'LIMMAX', 'LTSCALE', 'TEXTSIZE', 'MEASUREMENT', 'INSUNITS',
  'PDMODE', 'PDSIZE', 'ATTMODE', 'LUNITS', 'LUPREC', 'AUNITS', 'AUPREC', 'ANGBASE', 'ANGDIR', 'TILEMODE', 'PSLTSCALE',
  'FILLMODE', 'MIRRTEXT', 'ORTHOMODE', 'PLINEWID', 'TEXTQLTY', 'LWDISPLAY', 'DIMSCALE']) {
  try {
    const v = w.dwg_dynapi_header_value(data, name);
    if (v && v.success && v.data !== undefined && v.data !== null && typeof v.data !== 'bigint') header[name] = v.data;
  } catch {
    // not in this version
  }
}
for (const [name, names] of [['CLAYER', layerByHandle], ['TEXTSTYLE', styleNames], ['CELTYPE', linetypeNames],
  ['DIMSTYLE', dimstyleNames]]) {
  try {
    const v = w.dwg_dynapi_header_value(data, name);
    const found = v && v.success ? nameByRef(names, v.data) : undefined;
    if (found !== undefined) header[name] = found;
  } catch {
    // not in this version
  }
}

// ------------------------------------------------------------ completeness

// A table entry the library could not read: the drawing came only in part.
if (missingEntries > 0) damaged(`${missingEntries} of the ${promised} objects its tables and blocks list could not be read`);

// What the library skipped or could not decode; the drawing opens, and the
// user is told.
// Values out of range the library notes on nearly every drawing, without
// leaving anything out: that alone is not worth a word.
const problems = namesOf(libraryError & ~64, 1, CRITICAL);
if (problems.length && libraryError & 64) problems.push(namesOf(64, 1, CRITICAL)[0]);
const notes = [];
if (unsupported) notes.push(`${unsupported} object(s) of classes the DWG library does not support`);
if (missingItems) notes.push(`${missingItems} object(s) that the drawing's dictionaries list could not be read`);

const out = {
  version: versionName,
  codePage: {
    1: 'ASCII', 2: 'ISO8859-1', 3: 'ISO8859-2', 4: 'ISO8859-3', 5: 'ISO8859-4', 6: 'ISO8859-5', 7: 'ISO8859-6',
    8: 'ISO8859-7', 9: 'ISO8859-8', 10: 'ISO8859-9', 11: 'DOS437', 12: 'DOS850', 13: 'DOS852', 14: 'DOS855',
    15: 'DOS857', 16: 'DOS860', 17: 'DOS861', 18: 'DOS863', 19: 'DOS864', 20: 'DOS865', 21: 'DOS869', 22: 'DOS932',
    23: 'MACINTOSH', 24: 'BIG5', 25: 'KSC5601', 26: 'JOHAB', 27: 'DOS866', 28: 'ANSI_1250', 29: 'ANSI_1251',
    30: 'ANSI_1252', 31: 'GB2312', 32: 'ANSI_1253', 33: 'ANSI_1254', 34: 'ANSI_1255', 35: 'ANSI_1256', 36: 'ANSI_1257',
    37: 'ANSI_874', 38: 'ANSI_932', 39: 'ANSI_936', 40: 'ANSI_949', 41: 'ANSI_950', 42: 'ANSI_1361', 44: 'ANSI_1258',
  }[codePageNumber] || 'ANSI_1252',
  maxHandle: hex(maxHandle),
  header,
  controls,
  rootDictionary: root ? root.handle : null,
  groupDictionary: root && root.entries.ACAD_GROUP ? root.entries.ACAD_GROUP : null,
  layoutDictionary: root && root.entries.ACAD_LAYOUT ? root.entries.ACAD_LAYOUT : null,
  imageDictionary: root && root.entries.ACAD_IMAGE_DICT ? root.entries.ACAD_IMAGE_DICT : null,
  layers,
  linetypes,
  styles,
  dimstyles,
  appids,
  vports,
  layouts,
  imageDefinitions,
  skipped,
  libraryErrors: libraryError,
  readProblems: problems,
  readNotes: notes,
  fileSize,
};

// JSON has no BigInt, NaN or infinity: a BigInt is written as its decimal
// digits, a number that is not finite as 0. Replaced in place before
// stringifying, which is much faster than a replacer function called for
// every value.
function jsonSafe(v) {
  if (typeof v === 'number') return Number.isFinite(v) ? v : 0;
  if (typeof v === 'bigint') return v.toString();
  if (typeof v !== 'object' || v === null) return v;
  if (Array.isArray(v)) {
    for (let i = 0; i < v.length; i++) {
      const x = v[i];
      if (typeof x === 'object' ? x !== null : typeof x === 'number' || typeof x === 'bigint') v[i] = jsonSafe(x);
    }
  } else {
    for (const k in v) {
      const x = v[k];
      if (typeof x === 'object' ? x !== null : typeof x === 'number' || typeof x === 'bigint') v[k] = jsonSafe(x);
    }
  }
  return v;
}
for (const key in out) out[key] = jsonSafe(out[key]);
process.stdout.write(JSON.stringify(out) + '\n', () => process.exit(0));
