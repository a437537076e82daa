#!/usr/bin/env python3
"""Writes the font fuzzer's seeds: Roboto's first 100 glyphs (ASCII) as small faces, one kerned by a kern
table, one by GPOS pair adjustments (a pair-set and a class subtable). Usage: make_font_seeds.py ROBOTO OUTDIR"""
import struct, sys

src = open(sys.argv[1], 'rb').read()
out = sys.argv[2]
K = 100
recs = {src[12 + 16 * i:16 + 16 * i].decode(): struct.unpack('>II', src[20 + 16 * i:28 + 16 * i])
        for i in range(struct.unpack('>H', src[4:6])[0])}
table = lambda tag: src[recs[tag][0]:recs[tag][0] + recs[tag][1]]
u16 = lambda b, o: struct.unpack('>H', b[o:o + 2])[0]

loca = table('loca')
glyf = table('glyf')
offs = [struct.unpack('>I', loca[4 * g:4 * g + 4])[0] for g in range(K + 1)]
glyphs = []
for g in range(K):
    data = glyf[offs[g]:offs[g + 1]]
    if data and struct.unpack('>h', data[:2])[0] < 0:
        at, comps = 10, []
        while True:
            flags, comp = struct.unpack('>HH', data[at:at + 4])
            comps.append(comp)
            at += 4 + (4 if flags & 1 else 2) + (2 if flags & 8 else 4 if flags & 0x40 else 8 if flags & 0x80 else 0)
            if not flags & 0x20:
                break
        if max(comps) >= K:
            data = b''
    glyphs.append(data + b'\0' * (-len(data) % 4))
newglyf = b''.join(glyphs)
newloca = b''
at = 0
for gdata in glyphs:
    newloca += struct.pack('>I', at)
    at += len(gdata)
newloca += struct.pack('>I', at)

# Unicode to glyph for the kept glyphs, from the format 12 subtable.
cmap = table('cmap')
f12 = 2348
mapping = {}
for i in range(struct.unpack('>I', cmap[f12 + 12:f12 + 16])[0]):
    s, e, g = struct.unpack('>III', cmap[f12 + 16 + 12 * i:f12 + 28 + 12 * i])
    for cp in range(s, e + 1):
        if g + cp - s < K and cp <= 0xFFFF:
            mapping[cp] = g + cp - s
cps = sorted(mapping)
segs = []
for cp in cps:
    if segs and segs[-1][1] == cp - 1 and mapping[cp] - cp == mapping[segs[-1][0]] - segs[-1][0]:
        segs[-1][1] = cp
    else:
        segs.append([cp, cp])
segs.append([0xFFFF, 0xFFFF])
n = len(segs)
sr = 2 ** (n.bit_length() - 1)
f4 = struct.pack('>HHHHHHH', 4, 0, 0, 2 * n, 2 * sr, sr.bit_length() - 1, 2 * n - 2 * sr)
f4 += b''.join(struct.pack('>H', e) for s, e in segs) + b'\0\0'
f4 += b''.join(struct.pack('>H', s) for s, e in segs)
f4 += b''.join(struct.pack('>h', ((mapping[s] - s + 0x8000) % 0x10000) - 0x8000 if s in mapping else 1) for s, e in segs)
f4 += b'\0\0' * n
f4 = f4[:2] + struct.pack('>H', len(f4)) + f4[4:]
groups = [(s, e, mapping[s]) for s, e in segs if s in mapping]
f12new = struct.pack('>HHIII', 12, 0, 16 + 12 * len(groups), 0, len(groups))
f12new += b''.join(struct.pack('>III', *g) for g in groups)
newcmap = struct.pack('>HHHHIHHI', 0, 2, 3, 1, 20, 3, 10, 20 + len(f4)) + f4 + f12new

head = bytearray(table('head'))
hhea = bytearray(table('hhea'))
hhea[34:36] = struct.pack('>H', K)
maxp = bytearray(table('maxp'))
maxp[4:6] = struct.pack('>H', K)
hmtx = table('hmtx')[:4 * K]

A, T, V, W, Y, a, o = 38, 57, 59, 60, 62, 70, 84
pairs = sorted([(A, T, -100), (A, V, -80), (T, a, -120), (T, o, -110)])
kern = struct.pack('>HHHHHHHHH', 0, 1, 0, 14 + 6 * len(pairs), 1, len(pairs), 12, 2, 12)
kern += b''.join(struct.pack('>HHh', *p) for p in pairs)


def gpos():
    # Pair sets: A and T covered.
    cov1 = struct.pack('>HHHH', 1, 2, A, T)
    set_a = struct.pack('>HHhHh', 2, T, -100, V, -80)
    set_t = struct.pack('>HHhHh', 2, a, -120, o, -110)
    head1 = 14
    sub1 = struct.pack('>HHHHHHH', 1, head1 + len(set_a) + len(set_t), 4, 0, 2, head1, head1 + len(set_a))
    sub1 += set_a + set_t + cov1
    # Classes: V..Y first, a..z second.
    cov2 = struct.pack('>HHHHH', 2, 1, V, Y, 0)
    cd1 = struct.pack('>HHH', 1, V, Y - V + 1) + struct.pack('>H', 1) * (Y - V + 1)
    cd2 = struct.pack('>HHHHH', 2, 1, a, 95, 1)
    values = struct.pack('>hhhh', 0, 0, 0, -60)
    base = 16 + len(values)
    sub2 = struct.pack('>HHHHHHHH', 2, base, 4, 0, base + len(cov2), base + len(cov2) + len(cd1), 2, 2)
    sub2 += values + cov2 + cd1 + cd2
    lookup = struct.pack('>HHHHH', 2, 0, 2, 10, 10 + len(sub1)) + sub1 + sub2
    lookups = struct.pack('>HH', 1, 4) + lookup
    return struct.pack('>HHHHH', 1, 0, 10, 12, 14) + b'\0\0' + b'\0\0' + lookups


def font(tables):
    tags = sorted(tables)
    dir_ = struct.pack('>IHHHH', 0x10000, len(tags), 0, 0, 0)
    body = b''
    at = 12 + 16 * len(tags)
    for t in tags:
        data = tables[t]
        dir_ += struct.pack('>4sIII', t.encode(), 0, at + len(body), len(data))
        body += data + b'\0' * (-len(data) % 4)
    return dir_ + body


common = {'cmap': newcmap, 'head': bytes(head), 'hhea': bytes(hhea), 'maxp': bytes(maxp), 'hmtx': hmtx,
          'loca': newloca, 'glyf': newglyf, 'name': table('name'), 'OS/2': table('OS/2')}
open(out + '/roboto-ascii-kern.ttf', 'wb').write(font(dict(common, kern=kern)))
open(out + '/roboto-ascii-gpos.ttf', 'wb').write(font(dict(common, GPOS=gpos())))
