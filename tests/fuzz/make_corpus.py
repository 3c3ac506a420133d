#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets for models, pictures, sound
samples, project files and scripted input: small valid files of every kind
each reader takes, each reaching another part of it. One folder per target:

  3ds/            3D Studio models (objects, faces, face groups, UVs, materials)
  obj/            OBJ text, then "%%mtl" and the MTL text (see fuzz_obj.cpp)
  picture/        first byte: 0 png, 1 jpg, 2 bmp, 3 gif, 4 tga, 5 pcx; then the picture
  projectfile/    .kavogame texts
  smd/            SMD models, then "%%anim" and an SMD animation (see fuzz_smd.cpp)
  md2/            MD2 models, then "%%anim" and another MD2 (see fuzz_md2.cpp)
  scriptedinput/  --input files
  sound/          WAV (PCM of several widths, float, a-law, mu-law, ADPCM,
                  extensible), AIFF and VOC samples; Ogg and FLAC seeds are
                  made by make_sound_seeds.c where the encoders are installed

usage: make_corpus.py OUT_DIR
"""
import os
import struct
import sys
import zlib


# ---------------------------------------------------------------- 3DS

def chunk(cid, body):
    return struct.pack("<HI", cid, len(body) + 6) + body


def cstr(s):
    return s.encode() + b"\0"


def floats(*v):
    return struct.pack("<%df" % len(v), *v)


def mesh_3ds(name, verts, faces, groups=(), uvs=None, axes=True):
    body = chunk(0x4110, struct.pack("<H", len(verts)) + b"".join(floats(*p) for p in verts))
    if uvs is not None:
        body += chunk(0x4140, struct.pack("<H", len(uvs)) + b"".join(floats(*t) for t in uvs))
    face_body = struct.pack("<H", len(faces)) + b"".join(struct.pack("<4H", a, b, c, 7) for a, b, c in faces)
    for material, members in groups:
        face_body += chunk(0x4130, cstr(material) + struct.pack("<H", len(members)) +
                           b"".join(struct.pack("<H", f) for f in members))
    body += chunk(0x4120, face_body)
    if axes:
        body += chunk(0x4160, floats(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0))
    return chunk(0x4000, cstr(name) + chunk(0x4100, body))


def material_3ds(name, texture=None, float_percent=False):
    body = chunk(0xA000, cstr(name))
    body += chunk(0xA010, chunk(0x0011, bytes([10, 20, 30])) + chunk(0x0012, bytes([11, 21, 31])))
    body += chunk(0xA020, chunk(0x0010, floats(0.8, 0.1, 0.1)) + chunk(0x0013, floats(0.7, 0.1, 0.1)))
    body += chunk(0xA030, chunk(0x0011, bytes([255, 255, 255])))
    percent = chunk(0x0031, floats(25.0)) if float_percent else chunk(0x0030, struct.pack("<H", 25))
    body += chunk(0xA050, percent)
    if texture:
        body += chunk(0xA200, chunk(0x0030, struct.pack("<H", 100)) + chunk(0xA300, cstr(texture)))
    return chunk(0xAFFF, body)


def model_3ds(editor_body, tail=b""):
    editor = chunk(0x3D3D, chunk(0x3D3E, struct.pack("<I", 3)) + editor_body)
    return chunk(0x4D4D, chunk(0x0002, struct.pack("<I", 3)) + editor + chunk(0xB000, b"")) + tail


def seeds_3ds():
    quad = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)]
    cube = [(x, y, z) for x in (0, 1) for y in (0, 1) for z in (0, 1)]
    cube_faces = [(0, 1, 3), (0, 3, 2), (4, 6, 7), (4, 7, 5), (0, 4, 5), (0, 5, 1),
                  (2, 3, 7), (2, 7, 6), (0, 2, 6), (0, 6, 4), (1, 5, 7), (1, 7, 3)]
    yield "quad.3ds", model_3ds(
        material_3ds("Red", "wood.png") +
        mesh_3ds("Quad", quad, [(0, 1, 2), (0, 2, 3)], [("Red", [1])], uvs=[(0, 0), (1, 0), (1, 1), (0, 1)]))
    yield "two.3ds", model_3ds(
        material_3ds("Red") + material_3ds("Glass", "glass.tga", float_percent=True) +
        mesh_3ds("Box", cube, cube_faces, [("Red", list(range(6))), ("Glass", [6, 7, 8, 9, 10, 11, 0])]) +
        mesh_3ds("Floor", quad, [(0, 1, 2), (2, 3, 0)], uvs=[(0, 0), (1, 0), (1, 1)], axes=False))
    # Padding at the ends of chunks, as a few exporters write it.
    yield "padded.3ds", model_3ds(mesh_3ds("Tri", quad[:3], [(0, 1, 2)], [("", [0])]) + b"\0\0\0", tail=b"\0\0")


# ---------------------------------------------------------------- OBJ

MARKER = "%%mtl\n"

OBJ_CUBE = """# a cube in two groups, corners with texture coordinates and normals
mtllib cube.mtl
o Cube
v -1 -1 -1
v 1 -1 -1
v 1 1 -1
v -1 1 -1
v -1 -1 1
v 1 -1 1
v 1 1 1
v -1 1 1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vn 0 0 -1
vn 0 0 1
vn 1 0 0
usemtl Wood
f 1/1/1 2/2/1 3/3/1 4/4/1
f 5/1/2 8/4/2 7/3/2 6/2/2
g Sides
usemtl Metal
f -7/1/3 -3/2/3 -2/3/3 -6/4/3
f 1//1 5//1 8//1
f 1/2 8/3 4/4
s off
l 1 2
p 3
"""

MTL_CUBE = """# two materials
newmtl Wood
Ka 0.2 0.2 0.2
Kd 0.8 0.6 0.4
Ks 0 0 0
d 1
map_Kd -s 1 1 1 -o 0 0 0 tex/wood grain.png

newmtl Metal
Kd 0.5 0.5 0.6
Tr 0.25
map_Kd metal.tga
"""

OBJ_CONCAVE = """# an L-shaped face, a star, a face that crosses itself and a flat one
mtllib shapes.mtl
g L
usemtl Paint
v 0 0 0
v 2 0 0
v 2 1 0
v 1 1 0
v 1 2 0
v 0 2 0
f 1 2 3 4 5 6
g Star
v 0 3 0
v 0.3 0.9 0
v 1 1 0
v 0.45 -0.35 0
v 0.6 -1.2 0
v 0 -0.6 0
v -0.6 -1.2 0
v -0.45 -0.35 0
v -1 1 0
v -0.3 0.9 0
f -10 -9 -8 -7 -6 -5 -4 -3 -2 -1
g Bowtie
v 0 0 5
v 1 1 5
v 1 0 5
v 0 1 5
f -4 -3 -2 -1
g Line
v 0 0 9
v 1 0 9
v 2 0 9
v 3 0 9
f -4 -3 -2 -1
"""

MTL_SHAPES = """newmtl Paint
Kd 1 0 0
d 0.5
"""

OBJ_FORMS = ("# number forms, blanks and line ends\r\n"
             "mtllib lib one.mtl\r\n"
             "mtllib lib one.mtl two.mtl\r\n"
             "v\t+1.5e0  -2E-1 3.\r\n"
             "v 1e-3 .5 -0\r\n"
             "v 4 5 6 1\r\n"
             "vt 0.5\r\n"
             "vt 0.25 0.75 0\r\n"
             "vn 0 1 0\r\n"
             "o\r\n"
             "usemtl\r\n"
             "f 1/1/1 2/2/1 3/1/1\r\n"
             "f 3/2 2/1 1/2\r\n"
             "o named object\r\n"
             "usemtl Missing\r\n"
             "f -1 -2 -3\r\n")

MTL_FORMS = """newmtl Plain
Kd 0.5
newmtl Clear
d 2
map_Kd -blendu off -clamp on  plain.png
"""


def seeds_obj():
    yield "cube.obj", OBJ_CUBE + MARKER + MTL_CUBE
    yield "concave.obj", OBJ_CONCAVE + MARKER + MTL_SHAPES
    yield "forms.obj", OBJ_FORMS + MARKER + MTL_FORMS
    yield "nolibrary.obj", "mtllib gone.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl X\nf 1 2 3\n"


# ---------------------------------------------------------------- pictures

PNG, JPG, BMP, GIF, TGA, PCX = range(6)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(w, h, colour, depth, row_bytes, extra=b"", interlace=False, filters=(0,)):
    """A PNG of the given rows; `row_bytes(x0, y, n)` gives the raw bytes of n
    pixels of row y (every row of the image or of an interlace pass)."""
    raw = b""
    if interlace:
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
        for x0, y0, dx, dy in passes:
            cols = (w - x0 + dx - 1) // dx if w > x0 else 0
            rows = (h - y0 + dy - 1) // dy if h > y0 else 0
            if cols and rows:
                for r in range(rows):
                    raw += bytes([filters[r % len(filters)]]) + row_bytes(x0, y0 + r * dy, cols)
    else:
        for y in range(h):
            raw += bytes([filters[y % len(filters)]]) + row_bytes(0, y, w)
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, 1 if interlace else 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + extra +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def jpeg(w, h, components, progressive=False, restart=0, extras=b""):
    """A JPEG whose every block is flat grey: each Huffman table holds one
    one-bit code (DC difference 0, end of block), so every block of a scan
    costs a single zero bit per table used."""
    def seg(marker, body):
        return b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body

    def scan_bytes(bits):
        nbits = bits
        out = bytearray(b"\0" * (nbits // 8))
        if nbits % 8:
            out.append((1 << (8 - nbits % 8)) - 1)  # padded with one bits
        return bytes(out)

    sampling = [(2, 2), (1, 1), (1, 1)][:components] if components == 3 else [(1, 1)]
    hmax = max(s[0] for s in sampling)
    vmax = max(s[1] for s in sampling)
    mcux = (w + 8 * hmax - 1) // (8 * hmax)
    mcuy = (h + 8 * vmax - 1) // (8 * vmax)
    blocks_per_mcu = sum(a * b for a, b in sampling)
    out = b"\xff\xd8" + extras
    out += seg(0xDB, b"\x00" + bytes([1] * 64))
    sof = struct.pack(">BHHB", 8, h, w, components)
    for i, (hs, vs) in enumerate(sampling):
        sof += bytes([i + 1, (hs << 4) | vs, 0])
    out += seg(0xC2 if progressive else 0xC0, sof)
    one_code = bytes([1] + [0] * 15)
    out += seg(0xC4, b"\x00" + one_code + b"\x00" + b"\x10" + one_code + b"\x00")
    if restart:
        out += seg(0xDD, struct.pack(">H", restart))
    ids = range(1, components + 1)
    if not progressive:
        sos = bytes([components]) + b"".join(bytes([i, 0x00]) for i in ids) + b"\x00\x3f\x00"
        out += seg(0xDA, sos)
        mcus = mcux * mcuy
        if restart:
            data = b""
            for k in range(0, mcus, restart):
                n = min(restart, mcus - k)
                data += scan_bytes(2 * blocks_per_mcu * n)
                if k + restart < mcus:
                    data += b"\xff" + bytes([0xD0 + (k // restart) % 8])
            out += data
        else:
            out += scan_bytes(2 * blocks_per_mcu * mcus)
    else:
        # DC of every component in one interleaved scan, then each
        # component's AC coefficients in a scan of its own.
        sos = bytes([components]) + b"".join(bytes([i, 0x00]) for i in ids) + b"\x00\x00\x00"
        out += seg(0xDA, sos) + scan_bytes(blocks_per_mcu * mcux * mcuy)
        for i, (hs, vs) in zip(ids, sampling):
            cw = (w * hs + 8 * hmax - 1) // (8 * hmax)
            ch = (h * vs + 8 * vmax - 1) // (8 * vmax)
            out += seg(0xDA, bytes([1, i, 0x00, 1, 63, 0])) + scan_bytes(cw * ch)
    return out + b"\xff\xd9"


def bmp(w, h, bpp, rows, palette=b"", compression=0, topdown=False, info=40, masks=b"", data=None):
    """A BMP; `rows` are the pixel rows top first (padded here), or `data`
    the stored pixel data as is (run-length coded)."""
    if data is None:
        stride = (w * bpp + 31) // 32 * 4
        ordered = rows if topdown else rows[::-1]
        data = b"".join(r + b"\0" * (stride - len(r)) for r in ordered)
    if info == 12:
        header = struct.pack("<IHHHH", 12, w, h, 1, bpp)
    else:
        header = struct.pack("<IiiHHIIiiII", info, w, -h if topdown else h, 1, bpp, compression, len(data),
                             2835, 2835, len(palette) // 4, 0)
        if info > 40:
            header += masks + b"\0" * (info - 40 - len(masks))
        else:
            header += masks
    offset = 14 + len(header) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + header + palette + data


def lzw_stored(indices, bits):
    """GIF image data without compression: a clear code often enough that the
    code size never grows."""
    mcs = max(2, bits)
    clear, eoi = 1 << mcs, (1 << mcs) + 1
    size = mcs + 1
    per_clear = max(1, clear - 3)
    codes = []
    for k in range(0, len(indices), per_clear):
        codes.append(clear)
        codes.extend(indices[k:k + per_clear])
    codes.append(eoi)
    acc = nacc = 0
    out = bytearray()
    for c in codes:
        acc |= c << nacc
        nacc += size
        while nacc >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nacc -= 8
    if nacc:
        out.append(acc & 0xFF)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + bytes(out[i:i + 255]) for i in range(0, len(out), 255))
    return bytes([mcs]) + blocks + b"\0"


def gif_image(x, y, w, h, indices, bits, local=b"", interlace=False):
    packed = (0x40 if interlace else 0)
    if local:
        packed |= 0x80 | (bits - 1)
    return b"\x2c" + struct.pack("<HHHHB", x, y, w, h, packed) + local + lzw_stored(indices, bits)


def gif(w, h, body, palette_bits=2, version=b"GIF89a"):
    colours = 1 << palette_bits
    table = b"".join(bytes([(i * 85) & 0xFF, (i * 51) & 0xFF, (255 - i * 40) & 0xFF]) for i in range(colours))
    screen = struct.pack("<HHBBB", w, h, 0x80 | 0x70 | (palette_bits - 1), 0, 0)
    return version + screen + table + body + b"\x3b"


def tga(w, h, kind, bpp, data, descriptor=0, cmap=b"", cmap_len=0, cmap_bits=0, ident=b""):
    header = struct.pack("<BBBHHBHHHHBB", len(ident), 1 if cmap_len else 0, kind, 0, cmap_len, cmap_bits,
                         0, 0, w, h, bpp, descriptor)
    return header + ident + cmap + data


def pcx_rle(line):
    out = bytearray()
    i = 0
    while i < len(line):
        run = 1
        while i + run < len(line) and line[i + run] == line[i] and run < 63:
            run += 1
        if run > 1 or line[i] >= 0xC0:
            out += bytes([0xC0 | run, line[i]])
        else:
            out.append(line[i])
        i += run
    return bytes(out)


def pcx(w, h, bpp, planes, lines, palette16=b"", palette256=b""):
    """`lines[y][p]` is plane p of row y, already bytesPerLine long."""
    bpl = len(lines[0][0])
    header = struct.pack("<BBBBHHHHHH", 0x0A, 5, 1, bpp, 0, 0, w - 1, h - 1, 72, 72)
    header += palette16.ljust(48, b"\0") + struct.pack("<BBHHHH", 0, planes, bpl, 1, 0, 0)
    header = header.ljust(128, b"\0")
    data = b"".join(pcx_rle(b"".join(planes_)) for planes_ in lines)
    return header + data + (b"\x0c" + palette256 if palette256 else b"")


def seeds_picture():
    def rgba(x0, y, n):
        return b"".join(bytes([(x0 + i) * 60 & 255, y * 90 & 255, 128, 255 - i * 40 & 255]) for i in range(n))

    def rgb(x0, y, n):
        return b"".join(bytes([(x0 + i) * 70 & 255, y * 50 & 255, 200]) for i in range(n))

    def grey16(x0, y, n):
        return b"".join(struct.pack(">H", (x0 + i) * 9000 + y) for i in range(n))

    def grey_alpha(x0, y, n):
        return b"".join(bytes([(x0 + i) * 30 & 255, 200]) for i in range(n))

    def nibbles(x0, y, n):  # 4-bit palette indices, two a byte
        idx = [(x0 + i + y) % 4 for i in range(n)]
        idx += [0] * (len(idx) % 2)
        return bytes((idx[i] << 4) | idx[i + 1] for i in range(0, len(idx), 2))

    yield "rgba.png", bytes([PNG]) + png(3, 2, 6, 8, rgba, filters=(1, 4))
    yield "interlaced.png", bytes([PNG]) + png(9, 9, 2, 8, rgb, interlace=True, filters=(0, 2, 3))
    yield "palette.png", bytes([PNG]) + png(
        5, 3, 3, 4, nibbles, extra=png_chunk(b"PLTE", bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9])) +
        png_chunk(b"tRNS", b"\x00\x80"))
    yield "grey16.png", bytes([PNG]) + png(2, 2, 0, 16, grey16, extra=png_chunk(b"gAMA", struct.pack(">I", 45455)))
    yield "greyalpha.png", bytes([PNG]) + png(4, 1, 4, 8, grey_alpha)

    yield "grey.jpg", bytes([JPG]) + jpeg(8, 8, 1, extras=b"\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    yield "colour.jpg", bytes([JPG]) + jpeg(17, 9, 3, extras=b"\xff\xfe\x00\x06hi!!")
    yield "progressive.jpg", bytes([JPG]) + jpeg(16, 16, 3, progressive=True)
    yield "restart.jpg", bytes([JPG]) + jpeg(32, 8, 1, restart=1)

    bgr = [bytes([0, 0, 255, 0, 255, 0, 255, 0, 0]), bytes([255, 255, 255, 0, 0, 0, 128, 128, 128])]
    pal4 = bytes([0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 40, 40, 40, 0])
    yield "rgb24.bmp", bytes([BMP]) + bmp(3, 2, 24, bgr)
    yield "topdown.bmp", bytes([BMP]) + bmp(3, 2, 24, bgr, topdown=True)
    yield "pal8.bmp", bytes([BMP]) + bmp(3, 2, 8, [b"\0\1\2", b"\3\2\1"], palette=pal4)
    yield "pal4.bmp", bytes([BMP]) + bmp(5, 2, 4, [b"\x01\x23\x00", b"\x32\x10\x30"], palette=pal4)
    yield "mono.bmp", bytes([BMP]) + bmp(9, 2, 1, [b"\xaa\x80", b"\x55\x00"], palette=pal4[:8])
    yield "rle8.bmp", bytes([BMP]) + bmp(4, 2, 8, None, palette=pal4, compression=1,
                                       data=b"\x04\x01\x00\x00\x00\x03\x00\x01\x02\x00\x00\x01")
    yield "rle4.bmp", bytes([BMP]) + bmp(4, 2, 4, None, palette=pal4, compression=2,
                                       data=b"\x04\x12\x00\x00\x00\x04\x12\x30\x00\x01")
    masks = struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    yield "argb32.bmp", bytes([BMP]) + bmp(2, 2, 32, [b"\x10\x20\x30\x80\x40\x50\x60\xff"] * 2, compression=3,
                                         info=108, masks=masks + b"BGRs")
    yield "rgb565.bmp", bytes([BMP]) + bmp(2, 1, 16, [b"\x1f\x00\xe0\x07"], compression=3,
                                         masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F))
    yield "rgb555.bmp", bytes([BMP]) + bmp(3, 1, 16, [b"\x1f\x00\xe0\x03\x00\x7c"])
    yield "os2.bmp", bytes([BMP]) + bmp(3, 2, 24, bgr, info=12)

    idx = [(x + y) % 4 for y in range(3) for x in range(4)]
    gce = b"\x21\xf9\x04\x01\x0a\x00\x02\x00"
    yield "plain.gif", bytes([GIF]) + gif(4, 3, gif_image(0, 0, 4, 3, idx, 2), version=b"GIF87a")
    yield "transparent.gif", bytes([GIF]) + gif(4, 3, gce + gif_image(0, 0, 4, 3, idx, 2))
    local = b"".join(bytes([i * 30, 255 - i * 30, i * 15]) for i in range(8))
    idx8 = [(x * 3 + y) % 8 for y in range(5) for x in range(6)]
    yield "interlaced.gif", bytes([GIF]) + gif(6, 5, gif_image(0, 0, 6, 5, idx8, 3, local=local, interlace=True))
    app = b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    comment = b"\x21\xfe\x05hello\x00"
    yield "frames.gif", bytes([GIF]) + gif(4, 3, app + comment + gce + gif_image(0, 0, 4, 3, idx, 2) +
                                           gce + gif_image(1, 1, 2, 2, [1, 2, 3, 0], 2))

    px24 = bytes([0, 0, 255, 0, 255, 0, 255, 0, 0, 9, 9, 9, 200, 100, 50, 1, 2, 3])
    yield "rgb24.tga", bytes([TGA]) + tga(3, 2, 2, 24, px24)
    yield "rgba32.tga", bytes([TGA]) + tga(2, 2, 2, 32, bytes(range(16)), descriptor=0x28, ident=b"kavo")
    rle = b"\x82\x00\x00\xff" + b"\x02\x00\xff\x00\xff\x00\x00\x01\x02\x03"  # a run of 3, then 3 raw
    yield "rle24.tga", bytes([TGA]) + tga(3, 2, 10, 24, rle)
    cmap = bytes([0, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0])
    yield "mapped.tga", bytes([TGA]) + tga(2, 2, 1, 8, b"\x00\x01\x02\x03", cmap=cmap, cmap_len=4, cmap_bits=24)
    yield "grey.tga", bytes([TGA]) + tga(2, 2, 3, 8, b"\x00\x40\x80\xff", descriptor=0x20)
    yield "rlegrey.tga", bytes([TGA]) + tga(4, 1, 11, 8, b"\x81\x10\x01\x20\x30")
    yield "rgb16.tga", bytes([TGA]) + tga(2, 1, 2, 16, b"\x1f\x00\xe0\x83", descriptor=0x01)

    palette256 = b"".join(bytes([i, 255 - i, (i * 7) & 255]) for i in range(256))
    lines8 = [[bytes([(x * 40 + y) & 255 for x in range(3)]) + b"\0"] for y in range(2)]
    yield "pal8.pcx", bytes([PCX]) + pcx(3, 2, 8, 1, lines8, palette256=palette256)
    lines24 = [[bytes([200, 200, 10, 0]), bytes([0, 250, 250, 0]), bytes([0xC5, 0xC5, 0xC5, 0])] for _ in range(2)]
    yield "rgb24.pcx", bytes([PCX]) + pcx(3, 2, 8, 3, lines24)
    ega = bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255]) + bytes(36)
    lines4 = [[b"\xa0\x00", b"\x50\x00", b"\xf0\x00", b"\x00\x00"] for _ in range(3)]
    yield "ega.pcx", bytes([PCX]) + pcx(4, 3, 1, 4, lines4, palette16=ega)
    yield "mono.pcx", bytes([PCX]) + pcx(10, 2, 1, 1, [[b"\xaa\xc0"], [b"\x55\x40"]], palette16=ega)


# ---------------------------------------------------------------- project files and scripted input

def seeds_projectfile():
    yield "thisfile.kavogame", "-- the demo game\n--   data beside this file\n<ThisFile>demo\n"
    yield "core.kavogame", "<KavoCore>\\games\\Demo\\\r\n-- a comment after the root\r\n"
    yield "mixed.kavogame", "--\r--x\r\n<thisfile>..\\<KAVOCORE>/a<KavoCore<ThisFile>>b\n"
    yield "plain.kavogame", "/srv/games/demo"
    yield "comments.kavogame", "-- nothing but comments\n--\n"


def seeds_scriptedinput():
    yield "example.txt", ("# click the door, then walk to the window\n"
                          "100 move 400 300\n200 down left 400 300\n250 up left 400 300\n"
                          "900 keydown VK_SPACE\n950 keyup VK_SPACE\n")
    yield "every.txt", ("0 move 0 0\r\n"
                        "10 down right 5 6 shift\r\n"
                        "10 up right 5 6 shift ctrl alt\r\n"
                        "\r\n"
                        "   # an indented comment\r\n"
                        "20.5 down middle -3 1000000 ctrl\r\n"
                        "21 up MIDDLE -3 1000000\r\n"
                        "30 down other 1 1 alt\r\n"
                        "31 up other 1 1\r\n"
                        "40 wheel 120\r\n"
                        "41 wheel -240 12 34\r\n"
                        "50 keydown a\r\n"
                        "51 keydown 7\r\n"
                        "52 keydown vk_lshift\r\n"
                        "53 keydown 162\r\n"
                        "54 keydown VK_MENU\r\n"
                        "55 KeyUp A\r\n"
                        "56 keyup 7\r\n"
                        "57 keyup VK_LSHIFT\r\n"
                        "58 keyup VK_LCONTROL\r\n"
                        "59 keyup 18\r\n"
                        "1e3 keydown VK_F24\r\n"
                        "1000000000 keyup VK_F24\r\n")
    yield "drag.txt", "0 down left 10 10\n5 move 20 20\n5 move 30 30\n9 up left 30 30\n"
    yield "bad.txt", "10 move 1 1\n5 move 2 2\n"



# ---------------------------------------------------------------- SMD and MD2

SMD_ARM = ("version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 0\n2 \"hand\" 1\nend\n"
           "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\n2 1 0 0 0 0 0\n"
           "time 1\n1 1 0 0 0 0 1.5707963\ntime 2\n2 1.5 0 0 0.1 0.2 0.3\nend\n"
           "triangles\nskin.png\n"
           "1 2 0 0 1 0 0 0 0\n1 2 1 0 1 0 0 0 1\n1 3 0 0 1 0 0 1 0 2 2 0.25 0 0.25\n"
           "other texture.bmp\n"
           "0 2 0 0 0 0 1 0 0 1 1 0.5\n0 0 1 0 0 0 1 0 0\n0 -1 0 0 0 0 1 0 0 5 0 1 1 1 2 1 1 1 2 1\n"
           "end\n")
SMD_WAVE = ("version 1\nnodes\n0 \"hand\" -1\n1 \"arm\" -1\n2 \"tail\" -1\nend\n"
            "skeleton\ntime 0\n1 1 0 0 0 0 3.14159\n2 5 5 5 0 0 0\ntime 1\n0 2 0 0 0 0 0\nend\n")


def seeds_smd():
    yield "arm.txt", SMD_ARM
    yield "arm_wave.txt", SMD_ARM + "%%anim\n" + SMD_WAVE
    yield "wave_only.txt", SMD_WAVE
    yield "other_section.txt", SMD_ARM.replace("triangles", "vertexanimation\ntime 0\n0 1 2 3 4 5 6\nend\ntriangles")


def md2(frames, skin=b"players/hero/skin.pcx"):
    num_xyz = 4
    st = [(0, 0), (64, 0), (0, 32), (64, 32), (32, 16)]
    tris = [(0, 1, 2, 0, 1, 2), (1, 3, 2, 4, 3, 2)]
    frame_size = 40 + 4 * num_xyz
    ofs_skins = 68
    ofs_st = ofs_skins + 64
    ofs_tris = ofs_st + 4 * len(st)
    ofs_frames = ofs_tris + 12 * len(tris)
    ofs_end = ofs_frames + frame_size * len(frames)
    out = b"IDP2" + struct.pack("<16i", 8, 64, 32, frame_size, 1, num_xyz, len(st), len(tris), 0, len(frames),
                                ofs_skins, ofs_st, ofs_tris, ofs_frames, ofs_end, ofs_end)
    out += skin.ljust(64, b"\0")
    out += b"".join(struct.pack("<2h", *t) for t in st)
    out += b"".join(struct.pack("<6H", *t) for t in tris)
    for i, name in enumerate(frames):
        out += floats(0.5, 1, 1, 1, 2, 3) + name.encode().ljust(16, b"\0")
        x = 2 * i
        for v in ((x, 0, 0), (x + 10, 0, 0), (x, 10, 0), (x + 10, 10, 0)):
            out += bytes(v) + bytes([i % 162])
    return out


def seeds_md2():
    model = md2(["stand01", "stand02", "run1", "run2", "run3", "pain01"])
    yield "hero.bin", model
    yield "hero_more.bin", model + b"%%anim\n" + md2(["jump1", "jump2"])
    yield "one_frame.bin", md2(["x"], skin=b"")

# ---------------------------------------------------------------- speech fonts

def seeds_speechfont():
    def font(count, widths):
        out = struct.pack("<iii", 14, 21, count)
        for i in range(count):
            out += struct.pack("<ffff", i / 256, 1 - i / 512, (i + 5) / 256, 0.5)
        out += struct.pack("<i", 256) + b"".join(struct.pack("<i", w) for w in widths)
        return out
    yield "default.gsf", font(256, [(i % 9 + 3) if 32 <= i <= 125 else 0 for i in range(256)])
    yield "few.gsf", font(3, [0] * 65 + [10, 11, 12] + [0] * 188)

# ---------------------------------------------------------------- sounds

def riff_chunk(kind, body):
    pad = b"\0" if len(body) % 2 else b""
    return kind + struct.pack("<I", len(body)) + body + pad


def wav(tag, channels, rate, bits, data, block=None, extra=None, chunks_before=b"", fact=None):
    block = block or channels * max(bits, 8) // 8
    fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * block, block, bits)
    if extra is not None:
        fmt += struct.pack("<H", len(extra)) + extra
    body = b"WAVE" + riff_chunk(b"fmt ", fmt) + chunks_before
    if fact is not None:
        body += riff_chunk(b"fact", struct.pack("<I", fact))
    body += riff_chunk(b"data", data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def square(frames, channels, level, fmt):
    return b"".join(struct.pack(fmt, level if (f // 8) % 2 else -level) for f in range(frames) for _ in range(channels))


def ima_adpcm(channels, blocks):
    # 505 samples per 256-byte block of a mono stream; headers then nibbles.
    per = 256 * channels
    frames = (per - 4 * channels) * 8 // (4 * channels) + 1
    extra = struct.pack("<H", frames)
    data = b""
    for _ in range(blocks):
        for _ in range(channels):
            data += struct.pack("<hBB", 0, 20, 0)
        data += bytes((i * 37) & 0xFF for i in range(per - 4 * channels))
    return wav(0x11, channels, 22050, 4, data, block=per, extra=extra, fact=frames * blocks)


def ms_adpcm(channels, blocks):
    coefs = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
    per = 256 * channels
    frames = (per - 7 * channels) * 2 // channels + 2
    extra = struct.pack("<HH", frames, len(coefs)) + b"".join(struct.pack("<hh", a, b) for a, b in coefs)
    data = b""
    for _ in range(blocks):
        data += bytes([1] * channels) + struct.pack("<%dh" % channels, *([16] * channels))
        data += struct.pack("<%dh" % (2 * channels), *([100, -100] * channels))
        data += bytes((i * 53) & 0xFF for i in range(per - 7 * channels))
    return wav(2, channels, 11025, 4, data, block=per, extra=extra, fact=frames * blocks)


def extensible(channels, bits, valid, mask, tag, data):
    guid = struct.pack("<H", tag) + b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"
    extra = struct.pack("<HI", valid, mask) + guid
    return wav(0xFFFE, channels, 22050, bits, data, extra=extra)


def aiff(channels, rate, bits, frames):
    # The sample rate is an 80-bit extended float.
    exponent, mantissa = 16383 + rate.bit_length() - 1, rate << (64 - rate.bit_length())
    comm = struct.pack(">hIh", channels, frames, bits) + struct.pack(">HQ", exponent, mantissa)
    sample = ">b" if bits == 8 else ">h"
    ssnd = struct.pack(">II", 0, 0) + square(frames, channels, 40 if bits == 8 else 3000, sample)
    body = b"AIFF" + b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
    return b"FORM" + struct.pack(">I", len(body)) + body


def voc(rate, frames):
    header = b"Creative Voice File\x1a" + struct.pack("<HHH", 26, 0x010A, 0x1129)
    samples = bytes(0x90 if (f // 8) % 2 else 0x70 for f in range(frames))
    block = struct.pack("<BB", 256 - 1000000 // rate, 0) + samples
    return header + b"\x01" + struct.pack("<I", len(block))[:3] + block + b"\x00"


def seeds_sound():
    yield "pcm16_mono.wav", wav(1, 1, 22050, 16, square(200, 1, 3000, "<h"))
    yield "pcm16_stereo.wav", wav(1, 2, 44100, 16, square(150, 2, 3000, "<h"))
    yield "pcm8_mono.wav", wav(1, 1, 11025, 8, bytes(0x90 if (f // 8) % 2 else 0x70 for f in range(300)))
    yield "pcm8_stereo.wav", wav(1, 2, 8000, 8, bytes(0xA0 if (f // 16) % 2 else 0x60 for f in range(400)))
    yield "pcm24.wav", wav(1, 2, 48000, 24, b"".join(struct.pack("<i", v)[:3] for v in [40000, -40000] * 100))
    yield "pcm32.wav", wav(1, 1, 32000, 32, square(100, 1, 1 << 24, "<i"))
    yield "float.wav", wav(3, 2, 22050, 32, square(100, 2, 0, "<f") + struct.pack("<4f", 0.5, -0.5, 0.25, -0.25),
                           fact=102)
    yield "alaw.wav", wav(6, 1, 8000, 8, bytes((i * 7) & 0xFF for i in range(256)), fact=256)
    yield "mulaw.wav", wav(7, 2, 8000, 8, bytes((i * 11) & 0xFF for i in range(256)), fact=128)
    yield "ima_adpcm.wav", ima_adpcm(1, 2)
    yield "ima_adpcm_stereo.wav", ima_adpcm(2, 1)
    yield "ms_adpcm.wav", ms_adpcm(1, 2)
    yield "ms_adpcm_stereo.wav", ms_adpcm(2, 1)
    yield "extensible.wav", extensible(2, 16, 16, 3, 1, square(100, 2, 2000, "<h"))
    # Chunks before the data one, one of them of odd size with its pad byte.
    listing = riff_chunk(b"LIST", b"INFOINAM" + struct.pack("<I", 5) + b"bell\0\0")
    yield "list_chunk.wav", wav(1, 1, 22050, 16, square(64, 1, 1000, "<h"), chunks_before=listing +
                                riff_chunk(b"junk", b"odd"))
    yield "stereo8.aiff", aiff(2, 22050, 8, 200)
    yield "mono16.aiff", aiff(1, 11025, 16, 300)
    yield "click.voc", voc(11025, 300)

# ---------------------------------------------------------------- main

def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    kinds = {
        "3ds": seeds_3ds, "obj": seeds_obj, "picture": seeds_picture,
        "projectfile": seeds_projectfile, "scriptedinput": seeds_scriptedinput,
        "smd": seeds_smd, "md2": seeds_md2, "speechfont": seeds_speechfont,
        "sound": seeds_sound,
    }
    for folder, seeds in kinds.items():
        path = os.path.join(out, folder)
        os.makedirs(path, exist_ok=True)
        for name, data in seeds():
            if isinstance(data, str):
                data = data.encode()
            with open(os.path.join(path, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
