#!/usr/bin/env python3
"""Writes the hall's navigation mesh: the floor in squares of 5 units, two
triangles each, without the squares under the crate and the lamp, so routes
lead around them.

Navigation meshes are stored like the room model (z up): a floor point
(x, 0, z) of the room is the file vertex (x, -z, 0).

    python3 make_navmesh.py [OUT]   (default ../data/rooms/hall/hallnav.obj)
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "data", "rooms", "hall", "hallnav.obj")

LOW, HIGH, STEP = -95, 95, 5
# Holes in room coordinates (x0, x1, z0, z1): the crate turns on the spot at
# (-40, 30), so its hole holds its turning circle; the lamp stands at (50, 60).
HOLES = [(-55, -25, 15, 45), (45, 55, 55, 65)]


def in_hole(x, z):
    cx, cz = x + STEP / 2, z + STEP / 2
    return any(x0 <= cx <= x1 and z0 <= cz <= z1 for x0, x1, z0, z1 in HOLES)


def main():
    n = (HIGH - LOW) // STEP
    lines = ["# The hall's navigation mesh, written by games/demo/tools/make_navmesh.py.", "o Navigation"]
    for j in range(n + 1):
        for i in range(n + 1):
            x, z = LOW + i * STEP, LOW + j * STEP
            lines.append(f"v {x} {-z} 0")
    faces = 0
    for j in range(n):
        for i in range(n):
            x, z = LOW + i * STEP, LOW + j * STEP
            if in_hole(x, z):
                continue
            a = j * (n + 1) + i + 1
            b, c, d = a + 1, a + n + 1, a + n + 2
            # Counter-clockwise seen from above the floor (file +z).
            lines.append(f"f {a} {d} {b}")
            lines.append(f"f {a} {c} {d}")
            faces += 2
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{OUT}: {faces} triangles")


if __name__ == "__main__":
    main()
