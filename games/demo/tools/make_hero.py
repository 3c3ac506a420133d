#!/usr/bin/env python3
"""Builds the demo game's hero: a low-poly box figure, its texture and its
three animations, written as SMD text files into data/actors/.

    python3 make_hero.py            # write hero.smd, hero.png, standing.smd,
                                    # walking.smd and talking.smd
    python3 make_hero.py --check    # re-read the written files and verify them
    python3 make_hero.py --out DIR  # write (or check) somewhere else

Conventions used in the files (the same ones the SMD loader expects):
  * z is up; the figure stands on z = 0, about 100 units tall, and faces -y
    (the loader pitches the model by 90 degrees, so file (x, y, z) becomes
    engine (x, z, -y) and -y turns into the actor's facing direction, +z).
    Facing -y, the figure's left side is +x and its right side is -x.
  * bone positions are relative to the parent bone, rotations are Euler
    radians applied X, then Y, then Z (R = Rz * Ry * Rx).
  * every vertex is skinned with weight 1 to a single bone.
  * triangles are counter-clockwise seen from outside; normals point out.
  * texture v runs upwards (v = 0 is the bottom row of the picture), as in
    the OBJ props.  The colour regions of hero.png are full-height columns
    and the face column is symmetric top/bottom, so the figure still looks
    right if a loader flips v.

Standard library only: the PNG is written with zlib and struct.
"""

import argparse
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.normpath(os.path.join(HERE, "..", "data", "actors"))

MATERIAL = "hero.png"
TEX_SIZE = 64

# ---------------------------------------------------------------------------
# Skeleton.  (name, parent name, position in model space at the reference
# pose).  All reference rotations are zero, so a bone's local position is
# simply its model position minus its parent's.
# ---------------------------------------------------------------------------

BONES = [
    ("root",             None,               (0.0, 0.0, 50.0)),   # hips
    ("spine",            "root",             (0.0, 0.0, 56.0)),   # waist
    ("head",             "spine",            (0.0, 0.0, 85.0)),   # neck
    ("Bip01 L UpperArm", "spine",            (11.0, 0.0, 82.0)),  # shoulder
    ("Bip01 L Hand",     "Bip01 L UpperArm", (11.0, 0.0, 50.0)),  # wrist
    ("Bip01 R UpperArm", "spine",            (-11.0, 0.0, 82.0)),
    ("Bip01 R Hand",     "Bip01 R UpperArm", (-11.0, 0.0, 50.0)),
    ("Bip01 L Thigh",    "root",             (5.0, 0.0, 48.0)),   # hip joint
    ("Bip01 L Calf",     "Bip01 L Thigh",    (5.0, 0.0, 26.0)),   # knee
    ("Bip01 R Thigh",    "root",             (-5.0, 0.0, 48.0)),
    ("Bip01 R Calf",     "Bip01 R Thigh",    (-5.0, 0.0, 26.0)),
]
BONE_NAMES = [b[0] for b in BONES]
BONE_INDEX = {name: i for i, name in enumerate(BONE_NAMES)}


def local_positions():
    """Reference-pose bone positions relative to their parents."""
    model = {name: pos for name, _, pos in BONES}
    out = []
    for name, parent, pos in BONES:
        if parent is None:
            out.append(pos)
        else:
            p = model[parent]
            out.append((pos[0] - p[0], pos[1] - p[1], pos[2] - p[2]))
    return out


# ---------------------------------------------------------------------------
# Texture: a few flat colour columns.  Pixel x ranges are [x0, x1).
# ---------------------------------------------------------------------------

SKIN = (224, 172, 132)
HAIR = (72, 46, 26)
SHOES = (38, 30, 26)
SHIRT = (52, 92, 172)
TROUSERS = (46, 46, 62)
EYES = (28, 28, 40)

REGIONS = {           # name: (x0, x1, colour)
    "skin":     (0, 16, SKIN),
    "hair":     (16, 24, HAIR),
    "shoes":    (24, 32, SHOES),
    "shirt":    (32, 48, SHIRT),
    "trousers": (48, 56, TROUSERS),
    "face":     (56, 64, SKIN),   # skin with two eyes across its middle rows
}
# The eyes: columns 57-58 and 61-62, rows 30-33 (centred on the middle of
# the picture, so flipping v leaves them where they are).
EYE_COLUMNS = (57, 58, 61, 62)
EYE_ROWS = (30, 31, 32, 33)


def texture_pixels():
    rows = []
    for y in range(TEX_SIZE):
        row = []
        for x in range(TEX_SIZE):
            colour = None
            for x0, x1, c in REGIONS.values():
                if x0 <= x < x1:
                    colour = c
                    break
            if x in EYE_COLUMNS and y in EYE_ROWS:
                colour = EYES
            row.append(colour)
        rows.append(row)
    return rows


def write_png(path, rows):
    """Writes an 8-bit RGB PNG (no filtering) from rows of (r, g, b)."""
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)                      # filter type: none
        for r, g, b in row:
            raw += bytes((r, g, b))

    def chunk(tag, data):
        body = tag + data
        return (struct.pack(">I", len(data)) + body
                + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def read_png_size(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG file")
    width, height, depth, ctype = struct.unpack(">IIBB", data[16:26])
    # Walk the chunks and make sure the picture data inflates to the size
    # an unfiltered RGB image needs.
    pos = 8
    idat = b""
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        tag = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(tag + body) & 0xFFFFFFFF != crc:
            raise ValueError("bad CRC in chunk %r" % tag)
        if tag == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    if len(raw) != height * (1 + width * 3):
        raise ValueError("picture data has the wrong size")
    return width, height, depth, ctype


def region_uv(name, fu, fv):
    """Maps a fraction (fu, fv) in [0, 1] across a colour column to (u, v),
    keeping one texel away from the column's sides and four texels away from
    the top and bottom so filtering never picks up a neighbour."""
    x0, x1, _ = REGIONS[name]
    u = (x0 + 1 + fu * (x1 - x0 - 2)) / TEX_SIZE
    v = (4 + fv * (TEX_SIZE - 8)) / TEX_SIZE
    return u, v


# ---------------------------------------------------------------------------
# Geometry: axis-aligned boxes, each skinned to one bone.
# ---------------------------------------------------------------------------

# The six faces of a box: outward normal and the four corners, as indices
# into (lo, hi) per axis, listed counter-clockwise seen from outside.
FACES = {
    "+x": ((1, 0, 0),  [(1, 0, 0), (1, 1, 0), (1, 1, 1), (1, 0, 1)]),
    "-x": ((-1, 0, 0), [(0, 1, 0), (0, 0, 0), (0, 0, 1), (0, 1, 1)]),
    "+y": ((0, 1, 0),  [(1, 1, 0), (0, 1, 0), (0, 1, 1), (1, 1, 1)]),
    "-y": ((0, -1, 0), [(0, 0, 0), (1, 0, 0), (1, 0, 1), (0, 0, 1)]),
    "+z": ((0, 0, 1),  [(0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]),
    "-z": ((0, 0, -1), [(0, 1, 0), (1, 1, 0), (1, 0, 0), (0, 0, 0)]),
}

# Each part: (bone, (xmin, ymin, zmin), (xmax, ymax, zmax), colour column,
# per-face overrides).  The front of the figure is the -y face.
FACE_EYE_Z = 94.0   # height of the eyes on the head's front face


def parts():
    p = []

    def add(bone, lo, hi, colour, overrides=None):
        p.append((bone, lo, hi, colour, overrides or {}))

    # Body.
    add("root", (-7.0, -4.0, 46.0), (7.0, 4.0, 57.0), "trousers")     # pelvis
    add("spine", (-9.0, -4.5, 56.0), (9.0, 4.5, 84.0), "shirt")       # torso
    add("head", (-2.0, -2.0, 83.0), (2.0, 2.0, 88.0), "skin")         # neck
    add("head", (-4.0, -4.0, 87.0), (4.0, 4.0, 98.5), "skin",
        {"-y": "face", "+y": "hair"})                                 # head
    add("head", (-4.4, -4.4, 97.0), (4.4, 4.4, 100.0), "hair")        # hair
    add("head", (-0.6, -5.2, 92.0), (0.6, -4.0, 93.6), "skin")        # nose
    # Arms: shirt sleeve, bare forearm (both ride on the upper arm bone, the
    # arm does not bend at the elbow) and the hand on the hand bone.
    for side, sx in (("L", 1.0), ("R", -1.0)):
        x_in, x_out = sorted((sx * 9.0, sx * 13.0))
        add("Bip01 %s UpperArm" % side, (x_in, -2.2, 65.0), (x_out, 2.2, 84.0),
            "shirt")
        fin, fout = sorted((sx * 9.4, sx * 12.6))
        add("Bip01 %s UpperArm" % side, (fin, -1.8, 50.0), (fout, 1.8, 65.0),
            "skin")
        hin, hout = sorted((sx * 9.6, sx * 12.4))
        add("Bip01 %s Hand" % side, (hin, -1.6, 42.0), (hout, 1.6, 50.0),
            "skin")
    # Legs: thigh and calf in trousers, a shoe sticking out to the front.
    for side, sx in (("L", 1.0), ("R", -1.0)):
        x_in, x_out = sorted((sx * 1.0, sx * 8.5))
        add("Bip01 %s Thigh" % side, (x_in, -3.5, 26.0), (x_out, 3.5, 48.0),
            "trousers")
        cin, cout = sorted((sx * 1.6, sx * 8.0))
        add("Bip01 %s Calf" % side, (cin, -3.0, 4.0), (cout, 3.0, 26.5),
            "trousers")
        add("Bip01 %s Calf" % side, (cin, -7.0, 0.0), (cout, 3.2, 4.0),
            "shoes")
    return p


def face_uv(face, colour, corner, lo, hi):
    """Texture coordinates of one box corner on one face."""
    x, y, z = corner
    if colour == "face":
        # The front of the head: u across x, v along z with the eye height
        # at the picture's middle row (4 texels per unit).
        fu = (x - lo[0]) / (hi[0] - lo[0])
        u = (REGIONS["face"][0] + 0.5 + fu * 7.0) / TEX_SIZE
        v = 0.5 + (z - FACE_EYE_Z) * 4.0 / TEX_SIZE
        return u, v
    # Everything else is a flat colour; spread the face over the column.
    axes = {"x": (1, 2), "y": (0, 2), "z": (0, 1)}[face[1]]
    a, b = axes
    fu = (corner[a] - lo[a]) / (hi[a] - lo[a])
    fv = (corner[b] - lo[b]) / (hi[b] - lo[b])
    return region_uv(colour, fu, fv)


def build_triangles():
    """Returns a list of triangles; each is three (bone, pos, normal, uv)."""
    tris = []
    for bone, lo, hi, colour, overrides in parts():
        bi = BONE_INDEX[bone]
        for face, (normal, corners) in FACES.items():
            col = overrides.get(face, colour)
            quad = []
            for c in corners:
                pos = tuple((lo, hi)[c[k]][k] for k in range(3))
                quad.append((bi, pos, normal, face_uv(face, col, pos, lo, hi)))
            tris.append((quad[0], quad[1], quad[2]))
            tris.append((quad[0], quad[2], quad[3]))
    return tris


# ---------------------------------------------------------------------------
# Animations.  Each returns a list of frames; a frame maps a bone name to
# (local position, (rx, ry, rz)).  Bones not named keep the reference pose.
# Every cycle has its last frame equal to its first, so looping is seamless.
# ---------------------------------------------------------------------------

D = math.pi / 180.0


def reference_frame():
    return {name: (pos, (0.0, 0.0, 0.0))
            for name, pos in zip(BONE_NAMES, local_positions())}


def offset(frame, bone, dpos=(0.0, 0.0, 0.0), rot=(0.0, 0.0, 0.0)):
    pos, _ = frame[bone]
    frame[bone] = ((pos[0] + dpos[0], pos[1] + dpos[1], pos[2] + dpos[2]),
                   tuple(r * D for r in rot))


def phases(count):
    return [2.0 * math.pi * i / (count - 1) for i in range(count)]


def standing_frames(count=8):
    frames = []
    for ph in phases(count):
        f = reference_frame()
        breath = (1.0 - math.cos(ph)) / 2.0          # 0 .. 1 .. 0
        sway = math.sin(ph)
        offset(f, "root", rot=(0.0, 0.8 * sway, 0.0))
        offset(f, "spine", dpos=(0.0, 0.0, 0.25 * breath),
               rot=(-1.5 * breath, -0.8 * sway, 0.0))
        offset(f, "head", rot=(1.0 * breath, 0.0, 1.5 * sway))
        # The arms drift a little away from the body as the chest fills
        # (negative ry opens the left arm, positive ry the right one).
        offset(f, "Bip01 L UpperArm", rot=(1.0 * sway, -2.5 * breath, 0.0))
        offset(f, "Bip01 R UpperArm", rot=(-1.0 * sway, 2.5 * breath, 0.0))
        offset(f, "Bip01 L Hand", rot=(0.0, 0.0, 3.0 * breath))
        offset(f, "Bip01 R Hand", rot=(0.0, 0.0, -3.0 * breath))
        frames.append(f)
    return frames


def walking_frames(count=16):
    """One full stride: the left leg swings forward during the first half of
    the cycle, the right one during the second.  Negative rx swings a limb
    forward (towards -y), positive rx on a calf bends the knee."""
    frames = []
    for ph in phases(count):
        f = reference_frame()
        s = math.sin(ph)

        def knee(p):
            # The knee bends most early in the swing, just after toe-off,
            # is nearly straight again by the time the legs pass each other
            # (so the first frame stays close to the rest pose) and stays
            # almost straight while the foot carries the weight.
            return 5.0 + 45.0 * max(0.0, math.cos(p + math.pi / 3.0)) ** 3

        # Hips drop a little when the legs are spread and rise when they
        # pass each other (twice per stride); they turn with the leading leg.
        offset(f, "root", dpos=(0.0, 0.0, -1.6 * s * s),
               rot=(0.0, 0.0, -4.0 * s))
        offset(f, "spine", rot=(2.0 * s * s, 0.0, 6.0 * s))
        offset(f, "head", rot=(-1.0 * s * s, 0.0, -2.0 * s))
        offset(f, "Bip01 L Thigh", rot=(-30.0 * s, 0.0, 0.0))
        offset(f, "Bip01 R Thigh", rot=(30.0 * s, 0.0, 0.0))
        offset(f, "Bip01 L Calf", rot=(knee(ph), 0.0, 0.0))
        offset(f, "Bip01 R Calf", rot=(knee(ph + math.pi), 0.0, 0.0))
        # The arms swing against the legs.
        offset(f, "Bip01 L UpperArm", rot=(20.0 * s, -3.0, 0.0))
        offset(f, "Bip01 R UpperArm", rot=(-20.0 * s, 3.0, 0.0))
        offset(f, "Bip01 L Hand", rot=(-8.0 * s, 0.0, 0.0))
        offset(f, "Bip01 R Hand", rot=(8.0 * s, 0.0, 0.0))
        frames.append(f)
    # The knees at phase 0 and 2*pi are the same value, but make the loop
    # exact regardless of rounding.
    frames[-1] = dict(frames[0])
    return frames


def talking_frames(count=8):
    """Two nods of the head while the right arm lifts forward and the hand
    turns over, as if explaining something."""
    frames = []
    for ph in phases(count):
        f = reference_frame()
        lift = (1.0 - math.cos(ph)) / 2.0            # 0 .. 1 .. 0
        nod = (1.0 - math.cos(2.0 * ph)) / 2.0       # two nods
        offset(f, "spine", rot=(-1.5 * lift, 0.0, -3.0 * math.sin(ph)))
        offset(f, "head", rot=(9.0 * nod, 0.0, 4.0 * math.sin(ph)))
        offset(f, "Bip01 R UpperArm", rot=(-40.0 * lift, 8.0 * lift, 0.0))
        offset(f, "Bip01 R Hand",
               rot=(-15.0 * lift, 0.0, -25.0 * math.sin(2.0 * ph)))
        offset(f, "Bip01 L UpperArm", rot=(0.0, -1.5 * lift, 0.0))
        frames.append(f)
    return frames


ANIMATIONS = {
    "standing": (standing_frames, 8),
    "walking": (walking_frames, 16),
    "talking": (talking_frames, 8),
}

# ---------------------------------------------------------------------------
# Writing.
# ---------------------------------------------------------------------------


def num(x):
    s = "%.6f" % x
    if s == "-0.000000":
        s = "0.000000"
    return s


def nodes_lines():
    lines = ["nodes"]
    for i, (name, parent, _) in enumerate(BONES):
        pi = -1 if parent is None else BONE_INDEX[parent]
        lines.append('%d "%s" %d' % (i, name, pi))
    lines.append("end")
    return lines


def skeleton_lines(frames):
    lines = ["skeleton"]
    for t, frame in enumerate(frames):
        lines.append("time %d" % t)
        for i, name in enumerate(BONE_NAMES):
            pos, rot = frame[name]
            lines.append("%d %s" % (i, " ".join(num(v) for v in pos + rot)))
    lines.append("end")
    return lines


def triangle_lines(tris):
    lines = ["triangles"]
    for tri in tris:
        lines.append(MATERIAL)
        for bone, pos, normal, uv in tri:
            lines.append("%d %s" % (bone, " ".join(
                num(v) for v in tuple(pos) + tuple(normal) + tuple(uv))))
    lines.append("end")
    return lines


def write_text(path, lines):
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def generate(out):
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, MATERIAL), texture_pixels())
    tris = build_triangles()
    write_text(os.path.join(out, "hero.smd"),
               ["version 1"] + nodes_lines()
               + skeleton_lines([reference_frame()]) + triangle_lines(tris))
    for name, (make, count) in ANIMATIONS.items():
        frames = make(count)
        assert len(frames) == count
        write_text(os.path.join(out, name + ".smd"),
                   ["version 1"] + nodes_lines() + skeleton_lines(frames))
    print("wrote %s: hero.smd (%d triangles), %s, %s"
          % (out, len(tris), MATERIAL,
             ", ".join("%s.smd (%d frames)" % (n, c)
                       for n, (_, c) in ANIMATIONS.items())))


# ---------------------------------------------------------------------------
# Checking: re-read the files and verify their structure.
# ---------------------------------------------------------------------------


class SmdError(Exception):
    pass


def parse_floats(fields, where):
    vals = []
    for s in fields:
        try:
            v = float(s)
        except ValueError:
            raise SmdError("%s: not a number: %r" % (where, s))
        if not math.isfinite(v):
            raise SmdError("%s: not a finite number: %r" % (where, s))
        vals.append(v)
    return vals


def parse_smd(path):
    """Reads an SMD text file into (nodes, frames, triangles).
    nodes: list of (name, parent); frames: list of {bone: (pos, rot)} with
    omitted bones carried over; triangles: list of (material, [3 vertices])
    with each vertex (bone, pos, normal, uv)."""
    with open(path, "r") as f:
        lines = [ln.rstrip("\r\n") for ln in f]
    name = os.path.basename(path)
    it = iter(enumerate(lines, 1))
    nodes, frames, tris = None, None, None

    def nxt():
        for n, ln in it:
            if ln.strip() and not ln.strip().startswith("//"):
                return n, ln.strip()
        return None, None

    n, ln = nxt()
    if ln != "version 1":
        raise SmdError("%s:%s: expected 'version 1'" % (name, n))
    while True:
        n, ln = nxt()
        if ln is None:
            break
        where = "%s:%d" % (name, n)
        if ln == "nodes":
            nodes = []
            while True:
                n, ln = nxt()
                where = "%s:%s" % (name, n)
                if ln is None:
                    raise SmdError("%s: nodes section not closed" % where)
                if ln == "end":
                    break
                first, _, rest = ln.partition(" ")
                rest = rest.strip()
                if not (rest.startswith('"') and rest.count('"') == 2):
                    raise SmdError("%s: bad node line" % where)
                q = rest.index('"', 1)
                bname = rest[1:q]
                parent = int(rest[q + 1:].strip())
                if int(first) != len(nodes):
                    raise SmdError("%s: node indices not in order" % where)
                if parent != -1 and not 0 <= parent < len(nodes):
                    raise SmdError("%s: parent must come before child" % where)
                nodes.append((bname, parent))
        elif ln == "skeleton":
            if nodes is None:
                raise SmdError("%s: skeleton before nodes" % where)
            frames = []
            current = None
            while True:
                n, ln = nxt()
                where = "%s:%s" % (name, n)
                if ln is None:
                    raise SmdError("%s: skeleton section not closed" % where)
                if ln == "end":
                    break
                parts_ = ln.split()
                if parts_[0] == "time":
                    if len(parts_) != 2 or int(parts_[1]) != len(frames):
                        raise SmdError("%s: bad time line" % where)
                    current = dict(frames[-1]) if frames else {}
                    frames.append(current)
                    continue
                if current is None or len(parts_) != 7:
                    raise SmdError("%s: bad skeleton line" % where)
                bi = int(parts_[0])
                if not 0 <= bi < len(nodes):
                    raise SmdError("%s: unknown bone %d" % (where, bi))
                v = parse_floats(parts_[1:], where)
                current[bi] = (tuple(v[:3]), tuple(v[3:]))
            for t, fr in enumerate(frames):
                if len(fr) != len(nodes):
                    raise SmdError("%s: frame %d lacks bones" % (name, t))
        elif ln == "triangles":
            if nodes is None:
                raise SmdError("%s: triangles before nodes" % where)
            tris = []
            while True:
                n, ln = nxt()
                where = "%s:%s" % (name, n)
                if ln is None:
                    raise SmdError("%s: triangles section not closed" % where)
                if ln == "end":
                    break
                material = ln
                verts = []
                for _ in range(3):
                    n, ln = nxt()
                    where = "%s:%s" % (name, n)
                    if ln is None or ln == "end":
                        raise SmdError("%s: triangle with fewer than 3 "
                                       "vertex lines" % where)
                    f_ = ln.split()
                    if len(f_) < 9:
                        raise SmdError("%s: short vertex line" % where)
                    bi = int(f_[0])
                    if not 0 <= bi < len(nodes):
                        raise SmdError("%s: unknown bone %d" % (where, bi))
                    v = parse_floats(f_[1:9], where)
                    if len(f_) > 9:
                        links = int(f_[9])
                        if len(f_) != 10 + 2 * links:
                            raise SmdError("%s: bad link list" % where)
                        for k in range(links):
                            lb = int(f_[10 + 2 * k])
                            if not 0 <= lb < len(nodes):
                                raise SmdError("%s: unknown link bone" % where)
                            parse_floats([f_[11 + 2 * k]], where)
                    verts.append((bi, tuple(v[0:3]), tuple(v[3:6]),
                                  tuple(v[6:8])))
                tris.append((material, verts))
        else:
            raise SmdError("%s: unexpected line %r" % (where, ln))
    return nodes, frames, tris


# Small 3x3 matrix helpers for walking the skeleton.

def mat_mul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)]
            for i in range(3)]


def mat_vec(m, v):
    return tuple(sum(m[i][k] * v[k] for k in range(3)) for i in range(3))


def euler_matrix(rx, ry, rz):
    cx, sx = math.cos(rx), math.sin(rx)
    cy, sy = math.cos(ry), math.sin(ry)
    cz, sz = math.cos(rz), math.sin(rz)
    mx = [[1, 0, 0], [0, cx, -sx], [0, sx, cx]]
    my = [[cy, 0, sy], [0, 1, 0], [-sy, 0, cy]]
    mz = [[cz, -sz, 0], [sz, cz, 0], [0, 0, 1]]
    return mat_mul(mz, mat_mul(my, mx))


def world_transforms(nodes, frame):
    out = []
    for i, (_, parent) in enumerate(nodes):
        pos, rot = frame[i]
        r = euler_matrix(*rot)
        if parent == -1:
            out.append((r, pos))
        else:
            pr, pp = out[parent]
            wp = mat_vec(pr, pos)
            out.append((mat_mul(pr, r),
                        (pp[0] + wp[0], pp[1] + wp[1], pp[2] + wp[2])))
    return out


def pose_vertex(ref, cur, bone, p):
    """Moves a model-space vertex from the reference pose to another pose."""
    rr, rp = ref[bone]
    # Inverse of a rotation is its transpose.
    d = (p[0] - rp[0], p[1] - rp[1], p[2] - rp[2])
    local = tuple(sum(rr[k][i] * d[k] for k in range(3)) for i in range(3))
    cr, cp = cur[bone]
    w = mat_vec(cr, local)
    return (cp[0] + w[0], cp[1] + w[1], cp[2] + w[2])


def check(out):
    problems = []

    def fail(msg):
        problems.append(msg)
        print("FAIL:", msg)

    try:
        w, h, depth, ctype = read_png_size(os.path.join(out, MATERIAL))
        if (w, h, depth, ctype) != (TEX_SIZE, TEX_SIZE, 8, 2):
            fail("%s is %dx%d depth %d type %d, expected 64x64 RGB"
                 % (MATERIAL, w, h, depth, ctype))
    except (OSError, ValueError, zlib.error) as e:
        fail("%s: %s" % (MATERIAL, e))

    try:
        nodes, ref_frames, tris = parse_smd(os.path.join(out, "hero.smd"))
    except (OSError, ValueError, SmdError) as e:
        fail("hero.smd: %s" % e)
        return 1
    names = [b for b, _ in nodes]
    for required in BONE_NAMES:
        if required not in names:
            fail("hero.smd lacks bone %r" % required)
    if not ref_frames or len(ref_frames) != 1:
        fail("hero.smd should have exactly one skeleton frame")
    if not tris:
        fail("hero.smd has no triangles")
        return 1

    lo = [1e9] * 3
    hi = [-1e9] * 3
    for k, (material, verts) in enumerate(tris):
        if material != MATERIAL:
            fail("triangle %d uses material %r" % (k, material))
        p0, p1, p2 = (v[1] for v in verts)
        e1 = [p1[i] - p0[i] for i in range(3)]
        e2 = [p2[i] - p0[i] for i in range(3)]
        cr = (e1[1] * e2[2] - e1[2] * e2[1],
              e1[2] * e2[0] - e1[0] * e2[2],
              e1[0] * e2[1] - e1[1] * e2[0])
        area2 = math.sqrt(sum(c * c for c in cr))
        if area2 < 1e-9:
            fail("triangle %d is degenerate" % k)
            continue
        for _, p, nrm, uv in verts:
            length = math.sqrt(sum(c * c for c in nrm))
            if abs(length - 1.0) > 1e-3:
                fail("triangle %d has a normal of length %.3f" % (k, length))
            if sum(cr[i] * nrm[i] for i in range(3)) <= 0.0:
                fail("triangle %d winds clockwise against its normal" % k)
            if not (0.0 <= uv[0] <= 1.0 and 0.0 <= uv[1] <= 1.0):
                fail("triangle %d has uv outside 0..1" % k)
            for i in range(3):
                lo[i] = min(lo[i], p[i])
                hi[i] = max(hi[i], p[i])

    ref = world_transforms(nodes, ref_frames[0])
    for name, (_, count) in ANIMATIONS.items():
        fname = name + ".smd"
        try:
            anodes, frames, atris = parse_smd(os.path.join(out, fname))
        except (OSError, ValueError, SmdError) as e:
            fail("%s: %s" % (fname, e))
            continue
        if anodes != nodes:
            fail("%s: nodes differ from hero.smd" % fname)
            continue
        if atris:
            fail("%s: an animation should not carry triangles" % fname)
        if not frames or len(frames) != count:
            fail("%s: %d frames, expected %d"
                 % (fname, len(frames or []), count))
            continue
        if frames[0] != frames[-1]:
            fail("%s: last frame differs from the first, loop would jump"
                 % fname)
        # Frame 0 should be near the reference pose: measure how far the
        # vertices move, and how far the feet get below the floor.
        zmin, zmax, drift0 = 1e9, -1e9, 0.0
        for t, fr in enumerate(frames):
            cur = world_transforms(nodes, fr)
            for _, verts in tris:
                for bone, p, _, _ in verts:
                    q = pose_vertex(ref, cur, bone, p)
                    zmin = min(zmin, q[2])
                    zmax = max(zmax, q[2])
                    if t == 0:
                        drift0 = max(drift0, math.dist(p, q))
        print("  %-13s %2d frames, z range %.1f .. %.1f, frame 0 moves "
              "vertices at most %.1f units from the reference pose"
              % (fname, len(frames), zmin, zmax, drift0))
        if zmin < -6.0:
            fail("%s: the figure sinks %.1f units into the floor"
                 % (fname, -zmin))

    print("  hero.smd      %d bones, %d triangles, size x %.1f..%.1f "
          "y %.1f..%.1f z %.1f..%.1f"
          % (len(nodes), len(tris), lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]))
    if problems:
        print("check: %d problem(s)" % len(problems))
        return 1
    print("check: all files OK")
    return 0


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default=DEFAULT_OUT,
                    help="output folder (default: %(default)s)")
    ap.add_argument("--check", action="store_true",
                    help="verify the files already written instead of "
                         "writing them")
    args = ap.parse_args(argv)
    if args.check:
        return check(args.out)
    generate(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
