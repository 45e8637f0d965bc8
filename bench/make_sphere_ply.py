#!/usr/bin/python3
"""Writes a finely cut sphere as a binary PLY: RINGS x SEGMENTS quads, two
triangles each (the poles' quads are slivers, as a UV sphere's are).
    make_sphere_ply.py OUT.ply [RINGS SEGMENTS]   (default 500 x 1000: 1,000,000 triangles)"""
import math
import struct
import sys


def main(path, rings=500, segments=1000):
    columns = segments + 1
    vertices = bytearray()
    for r in range(rings + 1):
        phi = math.pi * r / rings
        for s in range(columns):
            theta = 2.0 * math.pi * s / segments
            vertices += struct.pack("<3f", math.sin(phi) * math.cos(theta), math.cos(phi), math.sin(phi) * math.sin(theta))
    faces = bytearray()
    tri = struct.Struct("<B3i")
    for r in range(rings):
        for s in range(segments):
            a, b = r * columns + s, (r + 1) * columns + s
            faces += tri.pack(3, a, b, a + 1)
            faces += tri.pack(3, a + 1, b, b + 1)
    header = ("ply\nformat binary_little_endian 1.0\n"
              f"element vertex {(rings + 1) * columns}\nproperty float x\nproperty float y\nproperty float z\n"
              f"element face {2 * rings * segments}\nproperty list uchar int vertex_indices\nend_header\n")
    with open(path, "wb") as f:
        f.write(header.encode("ascii") + vertices + faces)


if __name__ == "__main__":
    main(sys.argv[1], *map(int, sys.argv[2:4]))
