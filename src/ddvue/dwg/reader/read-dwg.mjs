// Reads one DWG drawing and writes what Tessilux needs of it as one JSON
// document on standard output: version and code page, the table entries,
// the block definitions with their entities in drawing order (model space and
// the paper layouts are blocks too), the layouts and the image definitions.
//
//   node --liftoff-only read-dwg.mjs DRAWING.dwg
//
// Exit status: 0 done; 2 wrong usage; 3 the drawing cannot be read (the
// reason on standard error); 4 this Node is too old. Anything else is a crash
// of the reader, whose message is on standard error.
//
// Geometry is passed on as the drawing stores it: angles in radians, points
// as {x, y, z}. The program turns this into DXF.

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
const { LibreDwg, Dwg_Object_Type: T, Dwg_Object_Supertype: Super } = await import('@mlightcad/libredwg-web');

function fail(status, message) {
  process.stderr.write(message + '\n');
  process.exit(status);
}

if (process.argv.length !== 3) fail(2, 'usage: node --liftoff-only read-dwg.mjs DRAWING.dwg');
const path = process.argv[2];

let bytes;
try {
  bytes = readFileSync(path);
} catch (e) {
  fail(3, `Cannot read the file: ${e.message}`);
}

const here = dirname(fileURLToPath(import.meta.url));
const lib = await LibreDwg.create(join(here, 'node_modules', '@mlightcad', 'libredwg-web', 'wasm'));

// libredwg's error bits; from CLASSESNOTFOUND on they mean the drawing could
// not be read.
const errorNames = [
  [128, 'the class section is missing'],
  [256, 'a section is missing'],
  [512, 'a page is missing'],
  [1024, 'internal error of the DWG library'],
  [2048, 'not a valid DWG drawing'],
  [4096, 'read error'],
  [8192, 'out of memory'],
];
const CRITICAL = 128;

lib.FS.writeFile('/drawing.dwg', new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength));
bytes = null;
const read = lib.dwg_read_file('/drawing.dwg');
lib.FS.unlink('/drawing.dwg');
if (!read || !read.data || read.error >= CRITICAL) {
  const why = errorNames.filter(([bit]) => read && read.error & bit).map(([, name]) => name);
  fail(3, `The DWG library cannot read this drawing${why.length ? ': ' + why.join(', ') : ''}.`);
}
const data = read.data;
const version = lib.dwg_get_version_type(data);

// From 2007 on a drawing's text is Unicode, and a \U+XXXX in it is part of
// the text as the user typed it: it stays as it is, as in the DXF that CAD
// programs write. Older drawings use \U+XXXX for what their code page lacks,
// so there the library's decoding to the character is right.
if (version && version.hdr >= 'AC1021') {
  const wasm = lib.wasmInstance;
  const keep = function (value) {
    if (value && value.bin && this.decoder) value.data = this.decoder.decode(value.bin);
    return value;
  };
  lib.dwg_dynapi_entity_value = function (obj, name) {
    return keep.call(this, wasm.dwg_dynapi_entity_value(obj, name));
  };
  lib.dwg_dynapi_subclass_value = function (obj, subclass, name) {
    return keep.call(this, wasm.dwg_dynapi_subclass_value(obj, subclass, name));
  };
}

const db = lib.convert(data);

// libredwg's code page numbers as DXF names them.
const codePages = {
  1: 'ASCII', 2: 'ISO8859-1', 3: 'ISO8859-2', 4: 'ISO8859-3', 5: 'ISO8859-4', 6: 'ISO8859-5',
  7: 'ISO8859-6', 8: 'ISO8859-7', 9: 'ISO8859-8', 10: 'ISO8859-9', 11: 'DOS437', 12: 'DOS850',
  13: 'DOS852', 14: 'DOS855', 15: 'DOS857', 16: 'DOS860', 17: 'DOS861', 18: 'DOS863', 19: 'DOS864',
  20: 'DOS865', 21: 'DOS869', 22: 'DOS932', 23: 'MACINTOSH', 24: 'BIG5', 25: 'KSC5601', 26: 'JOHAB',
  27: 'DOS866', 28: 'ANSI_1250', 29: 'ANSI_1251', 30: 'ANSI_1252', 31: 'GB2312', 32: 'ANSI_1253',
  33: 'ANSI_1254', 34: 'ANSI_1255', 35: 'ANSI_1256', 36: 'ANSI_1257', 37: 'ANSI_874', 38: 'ANSI_932',
  39: 'ANSI_936', 40: 'ANSI_949', 41: 'ANSI_950', 42: 'ANSI_1361', 44: 'ANSI_1258',
};

const typeNames = {};
for (const [name, value] of Object.entries(T)) if (typeof value === 'number') typeNames[value] = name.replace(/^DWG_TYPE_/, '');

const hex = (v) => (typeof v === 'bigint' ? v : BigInt(v)).toString(16).toUpperCase();
const refHandle = (ref) => {
  if (!ref) return null;
  try {
    const h = lib.dwg_ref_get_absref(ref);
    return h ? hex(h) : null;
  } catch {
    return null;
  }
};
const field = (tio, name) => {
  try {
    return lib.dwg_dynapi_entity_data(tio, name);
  } catch {
    return undefined;
  }
};

// One pass over every object: handles, types, owners of sub-entities.
const objects = new Map();  // handle -> {obj, type}
const ownedBy = new Map();  // owner handle -> [handles of VERTEX, SEQEND, ATTRIB]
let maxHandle = 0n;
const controls = {};
const controlTypes = {
  [T.DWG_TYPE_BLOCK_CONTROL]: 'BLOCK_RECORD', [T.DWG_TYPE_LAYER_CONTROL]: 'LAYER',
  [T.DWG_TYPE_STYLE_CONTROL]: 'STYLE', [T.DWG_TYPE_LTYPE_CONTROL]: 'LTYPE', [T.DWG_TYPE_VIEW_CONTROL]: 'VIEW',
  [T.DWG_TYPE_UCS_CONTROL]: 'UCS', [T.DWG_TYPE_VPORT_CONTROL]: 'VPORT', [T.DWG_TYPE_APPID_CONTROL]: 'APPID',
  [T.DWG_TYPE_DIMSTYLE_CONTROL]: 'DIMSTYLE',
};
const subEntityTypes = new Set([T.DWG_TYPE_VERTEX_2D, T.DWG_TYPE_VERTEX_3D, T.DWG_TYPE_VERTEX_MESH,
  T.DWG_TYPE_VERTEX_PFACE, T.DWG_TYPE_VERTEX_PFACE_FACE, T.DWG_TYPE_SEQEND, T.DWG_TYPE_ATTRIB]);
const objectCount = lib.dwg_get_num_objects(data);
for (let i = 0; i < objectCount; i++) {
  const obj = lib.dwg_get_object(data, i);
  if (!obj) continue;
  let handle;
  try {
    handle = BigInt(lib.dwg_object_get_handle_object(obj).value);
  } catch {
    continue;
  }
  const type = lib.dwg_object_get_fixedtype(obj);
  if (handle > maxHandle) maxHandle = handle;
  const h = hex(handle);
  objects.set(h, { obj, type });
  if (controlTypes[type]) controls[controlTypes[type]] = h;
  if (subEntityTypes.has(type)) {
    try {
      const owner = hex(lib.dwg_object_entity_get_ownerhandle_object(lib.dwg_object_to_entity(obj)).absolute_ref);
      if (!ownedBy.has(owner)) ownedBy.set(owner, []);
      ownedBy.get(owner).push({ handle: h, type });
    } catch {
      // an entity without a readable owner keeps no children
    }
  }
}
for (const list of ownedBy.values()) list.sort((a, b) => (BigInt('0x' + a.handle) < BigInt('0x' + b.handle) ? -1 : 1));

const entityTio = (handle) => {
  const o = objects.get(handle);
  return o ? lib.dwg_object_to_entity_tio(o.obj) : 0;
};

// Noise the program does not use.
const dropped = new Set(['xdata', 'ownerDictionaryHardId', 'ownerDictionarySoftId', 'ownerBlockRecordSoftId',
  'proxyByte', 'proxyEntity', 'transparencyType', 'plotStyleHardId', 'materialObjectHardId', 'shadowMode',
  'subclassMarker', 'bmpPreview', 'mtext', 'annotationScale', 'attrTag', 'numberOfSecondaryAttrs',
  'secondaryAttrsHardId', 'columnHeights']);

// Entity types the program writes; the rest are counted as not brought across.
const written = new Set(['LINE', 'POINT', 'CIRCLE', 'ARC', 'ELLIPSE', 'LWPOLYLINE', 'POLYLINE2D', 'POLYLINE3D',
  'SPLINE', 'SOLID', 'TRACE', '3DFACE', 'TEXT', 'ATTDEF', 'MTEXT', 'INSERT', 'DIMENSION', 'HATCH', 'LEADER',
  'IMAGE', 'WIPEOUT', 'VIEWPORT', 'XLINE', 'RAY']);
const skipped = {};
const skip = (name) => {
  skipped[name] = (skipped[name] || 0) + 1;
};

// Text entities: the values the converted form lacks.
function completeText(e, tio) {
  if (!tio) return;
  const elevation = field(tio, 'elevation');
  if (typeof elevation === 'number') e.elevation = elevation;
  if (!e.styleName && !(e.text && e.text.styleName)) {
    try {
      e.styleName = lib.dwg_entity_text_get_style_name(tio);
    } catch {
      // keep the default style
    }
  }
}

function completeInsert(e, handle) {
  for (const a of e.attribs || []) {
    completeText(a, entityTio(a.handle));
    completeLinetype(a, a.handle);
    if (a.text && typeof a.text === 'object') {
      const base = a.text;
      delete a.text;
      Object.assign(a, base);
    }
  }
  const children = ownedBy.get(handle) || [];
  const seqend = children.find((c) => c.type === T.DWG_TYPE_SEQEND);
  if (seqend) e.seqend = seqend.handle;
}

// Vertices as the drawing holds them, each with its handle (the converted
// form can miss the last vertex of older drawings and carries no handles).
function completePolyline(e, handle) {
  const children = ownedBy.get(handle) || [];
  const vertices = children.filter((c) => c.type !== T.DWG_TYPE_SEQEND);
  if (vertices.length) {
    e.vertices = vertices.map((c) => {
      const tio = entityTio(c.handle);
      const p = field(tio, 'point') || { x: 0, y: 0, z: 0 };
      return {
        handle: c.handle, x: p.x, y: p.y, z: p.z ?? 0, flag: field(tio, 'flag') ?? 0,
        startWidth: field(tio, 'start_width') ?? 0, endWidth: field(tio, 'end_width') ?? 0,
        bulge: field(tio, 'bulge') ?? 0, tangentDirection: field(tio, 'tangent_dir') ?? 0,
      };
    });
  }
  const seqend = children.find((c) => c.type === T.DWG_TYPE_SEQEND);
  if (seqend) e.seqend = seqend.handle;
}

// Line types by the handle the entity holds (the converted form looks them
// up by a relative handle and so misses explicit ones).
const linetypeNames = new Map(db.tables.LTYPE.entries.map((l) => [l.handle, l.name]));
function completeLinetype(e, handle) {
  const o = objects.get(handle);
  if (!o) return;
  const tio = lib.dwg_object_to_entity_tio(o.obj);
  let flags;
  try {
    flags = lib.dwg_dynapi_common_value(tio, 'ltype_flags').data;
  } catch {
    flags = undefined;
  }
  if (flags === 0) return void (e.lineType = '');
  if (flags === 1) return void (e.lineType = 'ByBlock');
  if (flags === 2) return void (e.lineType = 'Continuous');
  try {
    const ref = lib.dwg_object_entity_get_ltype_object_ref(lib.dwg_object_to_entity(o.obj));
    const name = ref && ref.absolute_ref ? linetypeNames.get(hex(ref.absolute_ref)) : undefined;
    if (name !== undefined) e.lineType = /^bylayer$/i.test(name) ? '' : name;
  } catch {
    // keep what the converter found
  }
}

const dimensionKinds = {
  [T.DWG_TYPE_DIMENSION_LINEAR]: 'linear', [T.DWG_TYPE_DIMENSION_ALIGNED]: 'aligned',
  [T.DWG_TYPE_DIMENSION_ANG3PT]: 'angular3', [T.DWG_TYPE_DIMENSION_ANG2LN]: 'angular2',
  [T.DWG_TYPE_DIMENSION_RADIUS]: 'radius', [T.DWG_TYPE_DIMENSION_DIAMETER]: 'diameter',
  [T.DWG_TYPE_DIMENSION_ORDINATE]: 'ordinate',
};

// Entity types the converter leaves out that the program still brings across.
function convertOwn(handle, type) {
  const tio = entityTio(handle);
  if (!tio) return null;
  const entity = lib.dwg_object_to_entity(objects.get(handle).obj);
  const common = () => {
    const color = lib.dwg_object_entity_get_color_object(entity);
    const layerRef = lib.dwg_object_entity_get_layer_object_ref(entity);
    const layer = db.tables.LAYER.entries.find((l) => l.handle === hex(layerRef.handleref.value));
    return {
      handle,
      layer: layer ? layer.name : '0',
      colorIndex: color.index,
      color: color.method === 0xc2 || ((color.rgb >>> 24) & 0xff) === 0xc2 ? color.rgb & 0xffffff : undefined,
      lineweight: lib.dwg_object_entity_get_line_weight(entity),
      lineTypeScale: lib.dwg_object_entity_get_ltype_scale(entity),
      isVisible: !lib.dwg_object_entity_get_invisible(entity),
    };
  };
  if (type === T.DWG_TYPE_TRACE) {
    return {
      type: 'TRACE', ...common(), corner1: field(tio, 'corner1'), corner2: field(tio, 'corner2'),
      corner3: field(tio, 'corner3'), corner4: field(tio, 'corner4'), thickness: field(tio, 'thickness'),
      elevation: field(tio, 'elevation'), extrusionDirection: field(tio, 'extrusion'),
    };
  }
  if (type === T.DWG_TYPE_MINSERT) {
    let name = '';
    try {
      name = lib.dwg_entity_get_block_name(tio, 'block_header');
    } catch {
      return null;
    }
    const scale = field(tio, 'scale') || { x: 1, y: 1, z: 1 };
    const e = {
      type: 'INSERT', ...common(), name, insertionPoint: field(tio, 'ins_pt'), xScale: scale.x, yScale: scale.y,
      zScale: scale.z, rotation: field(tio, 'rotation'), columnCount: field(tio, 'num_cols'),
      rowCount: field(tio, 'num_rows'), columnSpacing: field(tio, 'col_spacing'),
      rowSpacing: field(tio, 'row_spacing'), extrusionDirection: field(tio, 'extrusion'), attribs: [],
    };
    return e;
  }
  return null;
}

function prepare(e, handle, type) {
  const tio = entityTio(handle);
  completeLinetype(e, handle);
  switch (e.type) {
    case 'TEXT':
    case 'ATTDEF':
      completeText(e, tio);
      if (e.text && typeof e.text === 'object') {
        const base = e.text;
        delete e.text;
        Object.assign(e, base);
      }
      if (e.type === 'ATTDEF' && tio) e.text = field(tio, 'default_value') ?? e.text ?? '';
      break;
    case 'MTEXT':
      if (tio) {
        const z = field(tio, 'ins_pt');
        if (z && typeof z.z === 'number') e.insertionPoint = z;
      }
      break;
    case 'INSERT':
      completeInsert(e, handle);
      break;
    case 'POLYLINE2D':
    case 'POLYLINE3D':
      completePolyline(e, handle);
      break;
    case 'SOLID':
      if (tio) e.elevation = field(tio, 'elevation') ?? 0;
      break;
    case 'SPLINE':
      if (tio) e.flag = field(tio, 'flag') ?? e.flag;
      break;
    case 'DIMENSION':
      e.kind = dimensionKinds[type] || 'linear';
      if (tio) {
        if (e.kind === 'linear') e.rotationAngle = field(tio, 'dim_rotation') ?? e.rotationAngle;
        if (e.kind === 'ordinate') {
          // An X-type ordinate is bit 64; 128 is text the user placed
          // (bit 1 of flag1 clear).
          const flag1 = field(tio, 'flag1') ?? 1;
          e.dimensionType = (e.dimensionType & ~(64 | 128)) | (field(tio, 'flag2') ? 64 : 0) | (flag1 & 1 ? 0 : 128);
        }
        if (e.kind === 'angular2') {
          // The two extension lines, start and end of each, and the point on
          // the dimension arc.
          e.subDefinitionPoint1 = field(tio, 'xline1start_pt') ?? e.subDefinitionPoint1;
          e.subDefinitionPoint2 = field(tio, 'xline1end_pt') ?? e.subDefinitionPoint2;
          e.centerPoint = field(tio, 'xline2start_pt') ?? e.centerPoint;
          e.arcPoint = field(tio, 'def_pt') ?? e.arcPoint;
        }
        const elevation = field(tio, 'elevation');
        if (typeof elevation === 'number') e.elevation = elevation;
      }
      break;
    default:
      break;
  }
  return e;
}

// Every block with its entities in the drawing's own order.
const converted = new Map();
for (const b of db.tables.BLOCK_RECORD.entries) for (const e of b.entities) converted.set(e.handle, e);

function ownedEntities(blockHandle, listed) {
  const header = objects.get(blockHandle);
  const order = [];
  const seen = new Set();
  if (header) {
    let next = lib.get_first_owned_entity(header.obj);
    let guard = 0;
    while (next && guard++ <= objectCount) {
      const h = hex(lib.dwg_object_get_handle_object(next).value);
      if (seen.has(h)) break;
      seen.add(h);
      order.push(h);
      next = lib.get_next_owned_entity(header.obj, next);
    }
  }
  // What the converter found beyond the chain (entities it assigned to the
  // block by their owner) follows in its order.
  for (const e of listed) if (!seen.has(e.handle)) order.push(e.handle), seen.add(e.handle);
  return order;
}

const blocks = [];
for (const b of db.tables.BLOCK_RECORD.entries) {
  const header = objects.get(b.handle);
  const htio = header ? lib.dwg_object_to_object_tio(header.obj) : 0;
  const entities = [];
  for (const h of ownedEntities(b.handle, b.entities)) {
    const o = objects.get(h);
    const type = o ? o.type : -1;
    // A damaged entity costs that entity, not the drawing.
    try {
      let e = converted.get(h);
      if (!e && o) e = convertOwn(h, type);
      if (!e) {
        if (type !== T.DWG_TYPE_ATTRIB && type !== T.DWG_TYPE_SEQEND && !subEntityTypes.has(type))
          skip(typeNames[type] || 'UNKNOWN');
        continue;
      }
      if (!written.has(e.type)) {
        skip(e.type === 'ACAD_TABLE' ? 'TABLE' : e.type);
        continue;
      }
      entities.push(prepare(e, h, type));
    } catch (error) {
      process.stderr.write(`entity ${h}: ${error && error.message}\n`);
      skip(typeNames[type] || 'UNKNOWN');
    }
  }
  blocks.push({
    handle: b.handle,
    name: b.name,
    flags: htio ? field(htio, 'flag') ?? b.flags : b.flags,
    description: b.description,
    basePoint: b.basePoint,
    xrefPath: htio ? field(htio, 'xref_pname') || '' : '',
    begin: htio ? refHandle(field(htio, 'block_entity')) : null,
    end: htio ? refHandle(field(htio, 'endblk_entity')) : null,
    layout: b.layout && b.layout !== '0' ? b.layout : null,
    insertionUnits: b.insertionUnits,
    explodability: b.explodability,
    scalability: b.scalability,
    entities,
  });
}

// Layers: the lock and colour as DXF has them.
for (const l of db.tables.LAYER.entries) {
  const o = objects.get(l.handle);
  const tio = o ? lib.dwg_object_to_object_tio(o.obj) : 0;
  const color = tio ? field(tio, 'color') : null;
  if (color) {
    l.trueColor = color.method === 0xc2 || ((color.rgb >>> 24) & 0xff) === 0xc2 ? color.rgb & 0xffffff : undefined;
    l.colorIndex = l.trueColor === undefined
      ? (color.method === 0xc3 || ((color.rgb >>> 24) & 0xff) === 0xc3 ? color.rgb & 0xff : color.index)
      : 0;
  }
  l.locked = (l.standardFlag & 4) !== 0;
  l.plot = tio ? field(tio, 'plotflag') : 1;
}
for (const s of db.tables.STYLE.entries) {
  const o = objects.get(s.handle);
  const tio = o ? lib.dwg_object_to_object_tio(o.obj) : 0;
  if (tio) s.fixedTextHeight = field(tio, 'text_size') ?? 0;
}

// The root dictionary and its groups and layouts dictionaries.
const dictionaries = db.objects.DICTIONARY;
const root = dictionaries.find((d) => d.ownerHandle === '0' && d.entries && d.entries.ACAD_LAYOUT)
  || dictionaries.find((d) => d.ownerHandle === '0');

const header = {};
for (const name of ['INSBASE', 'EXTMIN', 'EXTMAX', 'LIMMIN', 'LIMMAX', 'LTSCALE', 'TEXTSIZE', 'TEXTSTYLE', 'CLAYER',
  'CELTYPE', 'DIMSTYLE', 'DIMSCALE', 'MEASUREMENT', 'INSUNITS', 'PDMODE', 'PDSIZE', 'ATTMODE', 'LUNITS', 'LUPREC',
  'AUNITS', 'AUPREC', 'ANGBASE', 'ANGDIR', 'TILEMODE', 'PSLTSCALE', 'FILLMODE', 'MIRRTEXT', 'ORTHOMODE',
  'PLINEWID', 'TEXTQLTY', 'LWDISPLAY']) {
  const v = db.header[name];
  if (v !== undefined && v !== null && typeof v !== 'bigint') header[name] = v;
}

const out = {
  version: version && version.hdr ? version.hdr : '',
  codePage: codePages[lib.dwg_get_codepage(data)] || 'ANSI_1252',
  maxHandle: hex(maxHandle),
  header,
  controls,
  rootDictionary: root ? root.handle : null,
  groupDictionary: root && root.entries.ACAD_GROUP ? root.entries.ACAD_GROUP : null,
  layoutDictionary: root && root.entries.ACAD_LAYOUT ? root.entries.ACAD_LAYOUT : null,
  imageDictionary: root && root.entries.ACAD_IMAGE_DICT ? root.entries.ACAD_IMAGE_DICT : null,
  classes: db.classes,
  layers: db.tables.LAYER.entries,
  linetypes: db.tables.LTYPE.entries,
  styles: db.tables.STYLE.entries,
  dimstyles: db.tables.DIMSTYLE.entries.map((d) => ({
    handle: d.handle, name: d.name, DIMSCALE: d.DIMSCALE, DIMASZ: d.DIMASZ, DIMTXT: d.DIMTXT, DIMEXO: d.DIMEXO,
    DIMEXE: d.DIMEXE, DIMGAP: d.DIMGAP, DIMDEC: d.DIMDEC, DIMCLRD: d.DIMCLRD, DIMCLRE: d.DIMCLRE,
    DIMCLRT: d.DIMCLRT, DIMTAD: d.DIMTAD, DIMTIH: d.DIMTIH, DIMTOH: d.DIMTOH, DIMLFAC: d.DIMLFAC,
  })),
  appids: [...objects.entries()].filter(([, o]) => o.type === T.DWG_TYPE_APPID).map(([handle, o]) => {
    const tio = lib.dwg_object_to_object_tio(o.obj);
    return { handle, name: field(tio, 'name'), flags: field(tio, 'flag') || 0 };
  }).filter((a) => a.name),
  vports: db.tables.VPORT.entries,
  blocks,
  layouts: db.objects.LAYOUT,
  imageDefinitions: db.objects.IMAGEDEF,
  skipped,
};
lib.dwg_free(data);

const text = JSON.stringify(out, (key, value) => {
  if (dropped.has(key)) return undefined;
  if (typeof value === 'bigint') return value.toString();
  if (typeof value === 'number' && !Number.isFinite(value)) return 0;
  return value;
});
process.stdout.write(text, () => process.exit(0));
