#!/usr/bin/env python3
"""Writes a large DWG for timing the DWG import: a copy of an uncompressed
DWG of 2000 (AC1015, such as tests/corpus/sample_2000.dwg) with its drawn
entities (lines, arcs, circles, texts, multi-line texts, dimensions,
polylines and the like) appended COPIES times, each copy with handles of its
own.

    bench/make_big_dwg.py IN.dwg OUT.dwg COPIES

The copies are new objects at the end of the file with a new object map;
they are not on model space's chain of entities but name no other owner, so
a reader finds them as model space's all the same (which costs it a look-up
per entity that a drawing saved by a CAD program does not need). The check
sums of the file's header, of each new object and of the object map are
made anew; those of the sections that follow it are not, which readers note
and pass over.
"""
import struct
import sys

ENTITY_TYPES = {1, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 31, 35, 36, 44, 77}


def crc16(seed, data):
    crc = seed
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def modular(b, p, signed):
    v, shift = 0, 0
    while True:
        x = b[p]
        p += 1
        if x & 0x80:
            v |= (x & 0x7F) << shift
            shift += 7
        else:
            if signed and x & 0x40:
                return -(v | (x & 0x3F) << shift), p
            return v | x << shift, p


def to_modular(v, signed):
    out, negative, v = bytearray(), signed and v < 0, abs(v)
    limit = 0x3F if signed else 0x7F
    while v > limit:
        out.append(0x80 | (v & 0x7F))
        v >>= 7
    out.append(v | (0x40 if negative else 0))
    return bytes(out)


def to_modular_short(v):
    out = bytearray()
    while v > 0x7FFF:
        out += struct.pack("<H", 0x8000 | (v & 0x7FFF))
        v >>= 15
    return bytes(out + struct.pack("<H", v))


class Bits:
    """Reads a bit stream: bits first to last, each byte's highest first."""

    def __init__(self, data, at):
        self.data, self.at = data, at * 8

    def n(self, count):
        v = 0
        for _ in range(count):
            v = v << 1 | (self.data[self.at >> 3] >> (7 - (self.at & 7))) & 1
            self.at += 1
        return v

    def bs(self):
        kind = self.n(2)
        if kind == 0:
            return self.n(8) | self.n(8) << 8
        return self.n(8) if kind == 1 else (0 if kind == 2 else 256)

    def rl(self):
        return self.n(8) | self.n(8) << 8 | self.n(8) << 16 | self.n(8) << 24


def put(bits, value, count):
    bits.extend((value >> (count - 1 - i)) & 1 for i in range(count))


def put_bs(bits, v):
    if v == 0:
        put(bits, 2, 2)
    elif v == 256:
        put(bits, 3, 2)
    elif v < 256:
        put(bits, 1, 2)
        put(bits, v, 8)
    else:
        put(bits, 0, 2)
        put(bits, v & 0xFF, 8)
        put(bits, v >> 8, 8)


def main():
    source, target, copies = sys.argv[1], sys.argv[2], int(sys.argv[3])
    data = bytes(open(source, "rb").read())
    if data[:6] != b"AC1015":
        sys.exit("only drawings of 2000 (AC1015)")
    records = {}
    for i in range(struct.unpack_from("<I", data, 0x15)[0]):
        number, seek, size = struct.unpack_from("<BII", data, 0x19 + 9 * i)
        records[number] = (seek, size, 0x19 + 9 * i)
    # The object map: runs of (handle, offset) steps, each run from 0.
    at, p = {}, records[2][0]
    while True:
        size = data[p] << 8 | data[p + 1]
        if size <= 2:
            break
        handle = offset = 0
        q = p + 2
        while q < p + size:
            d, q = modular(data, q, False)
            handle += d
            d, q = modular(data, q, True)
            offset += d
            at[handle] = offset
        p += size + 2
    entities = []
    for handle, offset in sorted(at.items()):
        if offset + 4 > len(data):
            continue
        size, shift, q = 0, 0, offset
        while True:
            v = data[q] | data[q + 1] << 8
            q += 2
            size |= (v & 0x7FFF) << shift
            shift += 15
            if not v & 0x8000:
                break
        if Bits(data, q).bs() in ENTITY_TYPES:
            entities.append((q, size))
    out = bytearray(data)
    next_handle = max(at) + 1
    for _ in range(copies):
        for q, size in entities:
            # Type, size in bits of the data before the handles, own handle:
            # the handle replaced, the size in bits moved by what it adds.
            r = Bits(data, q)
            kind, data_bits = r.bs(), r.rl()
            start = r.at
            code = r.n(4)
            r.n(8 * r.n(4))
            own = []
            length = (next_handle.bit_length() + 7) // 8
            put(own, code, 4)
            put(own, length, 4)
            put(own, next_handle, 8 * length)
            bits = []
            put_bs(bits, kind)
            moved = data_bits + len(own) - (r.at - start)
            for i in range(4):
                put(bits, (moved >> (8 * i)) & 0xFF, 8)
            bits += own
            bits += [(data[i >> 3] >> (7 - (i & 7))) & 1 for i in range(r.at, (q + size) * 8)]
            bits += [0] * (-len(bits) % 8)
            body = bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))
            record = to_modular_short(len(body)) + body
            at[next_handle] = len(out)
            out += record + struct.pack("<H", crc16(0xC0C1, record))
            next_handle += 1
    # The new object map, in runs of at most 2 KB.
    table, run, last_handle, last_offset = bytearray(), bytearray(), 0, 0

    def close(run):
        body = struct.pack(">H", len(run) + 2) + run
        return body + struct.pack(">H", crc16(0xC0C1, body))

    for handle in sorted(at):
        step = to_modular(handle - last_handle, False) + to_modular(at[handle] - last_offset, True)
        if len(run) + len(step) > 2030:
            table += close(run)
            run, last_handle, last_offset = bytearray(), 0, 0
            step = to_modular(handle, False) + to_modular(at[handle], True)
        run += step
        last_handle, last_offset = handle, at[handle]
    table += close(run) + close(bytearray())
    struct.pack_into("<II", out, records[2][2] + 1, len(out), len(table))
    end = 0x19 + 9 * len(records)
    struct.pack_into("<H", out, end, crc16(0xC0C1, out[:end]))
    out += table
    open(target, "wb").write(out)
    print(f"{len(entities) * copies} entities added, handles up to {next_handle - 1:X}", file=sys.stderr)


if __name__ == "__main__":
    main()
