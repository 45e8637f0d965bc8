#!/usr/bin/python3
"""Writes the geometry tests' models into a folder, in the formats the host
reads, each written here byte by byte (no model library):

  plane     a 2 x 2 square in z = 0 whose UVs are (x + 1) / 2, (y + 1) / 2,
            with normals +z: .obj, .gltf (+ .bin), .glb, .ply, .stl, .fbx
  cube      a 2 x 2 x 2 cube, the whole UV square on each face, no normals
  sphere    a UV sphere of radius 1 with normals and two UV sets (one in OBJ)
  nouv      one triangle with no UVs
            (these three as .obj, .gltf and .glb)
  nodes     the plane under a node hierarchy (translated, scaled, turned)
            and again under a second node, with a camera: .gltf, .glb
  udims     two UV islands, in UDIM tiles 1001 and 1002, well inside each
            so that padding surrounds them: .obj

and, in hostile/, files that must give a one-line error:

  truncated.glb   the plane's .glb cut in half
  nan.obj, inf.obj, nan.gltf   a position that is not a number, or infinite
  badindex.obj, badindex.gltf  a triangle naming a vertex that is not there
  huge.stl        a binary STL whose header claims 2^31 triangles
  huge.ply        a PLY whose header claims 2^31 faces
  bomb.fbx        an FBX whose vertex array inflates from 1.6 MB to 1.5 GiB

  make_test_models.py FOLDER
"""
import json
import math
import os
import struct
import sys
import zlib

# ---- Meshes -----------------------------------------------------------------

PLANE = {
    "positions": [(-1, -1, 0), (1, -1, 0), (1, 1, 0), (-1, 1, 0)],
    "normals": [(0, 0, 1)] * 4,
    "uvs": [[(0, 0), (1, 0), (1, 1), (0, 1)]],
    "indices": [0, 1, 2, 0, 2, 3],
}


def sphere(segments=16, rings=8):
    pos, nrm, uv0, uv1, idx = [], [], [], [], []
    for r in range(rings + 1):
        theta = math.pi * r / rings
        for s in range(segments + 1):
            phi = 2 * math.pi * s / segments
            p = (math.sin(theta) * math.cos(phi), math.cos(theta), math.sin(theta) * math.sin(phi))
            pos.append(p)
            nrm.append(p)
            uv0.append((s / segments, 1 - r / rings))
            uv1.append((2 * s / segments, 2 - 2 * r / rings))
    row = segments + 1
    for r in range(rings):
        for s in range(segments):
            a, b = r * row + s, r * row + s + 1
            c, d = a + row, b + row
            idx += [a, b, d, a, d, c]
    return {"positions": pos, "normals": nrm, "uvs": [uv0, uv1], "indices": idx}


# ---- glTF -------------------------------------------------------------------


def gltf_document(mesh, name="plane", nodes=None, scenes_nodes=None, cameras=None, positions_bytes=None,
                  index_bytes=None):
    """A glTF document and its one buffer's bytes."""
    blob = bytearray()
    views, accessors = [], []

    def add(data, count, ctype, atype, target, extra=None):
        while len(blob) % 4:
            blob.append(0)
        views.append({"buffer": 0, "byteOffset": len(blob), "byteLength": len(data), "target": target})
        blob.extend(data)
        acc = {"bufferView": len(views) - 1, "componentType": ctype, "count": count, "type": atype}
        acc.update(extra or {})
        accessors.append(acc)
        return len(accessors) - 1

    n = len(mesh["positions"])
    pos = positions_bytes or b"".join(struct.pack("<3f", *p) for p in mesh["positions"])
    lo = [min(p[k] for p in mesh["positions"]) for k in range(3)]
    hi = [max(p[k] for p in mesh["positions"]) for k in range(3)]
    attributes = {"POSITION": add(pos, n, 5126, "VEC3", 34962, {"min": lo, "max": hi})}
    if mesh.get("normals"):
        attributes["NORMAL"] = add(b"".join(struct.pack("<3f", *v) for v in mesh["normals"]), n, 5126, "VEC3", 34962)
    for k, uv in enumerate(mesh.get("uvs", [])):
        # glTF's v runs down the picture; the importer turns it back.
        data = b"".join(struct.pack("<2f", u, 1 - v) for u, v in uv)
        attributes["TEXCOORD_%d" % k] = add(data, n, 5126, "VEC2", 34962)
    idx = index_bytes or b"".join(struct.pack("<I", i) for i in mesh["indices"])
    indices = add(idx, len(mesh["indices"]), 5125, "SCALAR", 34963)
    doc = {
        "asset": {"version": "2.0", "generator": "make_test_models.py"},
        "buffers": [{"byteLength": len(blob)}],
        "bufferViews": views,
        "accessors": accessors,
        "meshes": [{"name": name.capitalize(), "primitives": [{"attributes": attributes, "indices": indices}]}],
        "nodes": nodes or [{"name": "Node", "mesh": 0}],
        "scenes": [{"nodes": scenes_nodes or [0]}],
        "scene": 0,
    }
    if cameras:
        doc["cameras"] = cameras
    return doc, bytes(blob)


def write_gltf(folder, name, doc, blob):
    doc = json.loads(json.dumps(doc))
    doc["buffers"][0]["uri"] = name + ".bin"
    with open(os.path.join(folder, name + ".bin"), "wb") as f:
        f.write(blob)
    with open(os.path.join(folder, name + ".gltf"), "w") as f:
        json.dump(doc, f, indent=1)


def glb_bytes(doc, blob):
    text = json.dumps(doc).encode()
    text += b" " * (-len(text) % 4)
    blob += b"\0" * (-len(blob) % 4)
    chunks = struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(blob), b"BIN\0") + blob
    return struct.pack("<4sII", b"glTF", 2, 12 + len(chunks)) + chunks


# ---- OBJ, PLY, STL ----------------------------------------------------------


def obj_text(mesh, position_text=None):
    """OBJ of a mesh: its first UV set only, which is all OBJ has."""
    lines = ["# made by make_test_models.py"]
    for k, p in enumerate(mesh["positions"]):
        lines.append("v " + (position_text(k) if position_text else " ".join("%.9g" % c for c in p)))
    uvs = mesh.get("uvs") or []
    for u, v in uvs[0] if uvs else []:
        lines.append("vt %.9g %.9g" % (u, v))
    for n in mesh.get("normals") or []:
        lines.append("vn %.9g %.9g %.9g" % n)
    for i in range(0, len(mesh["indices"]), 3):
        refs = []
        for k in mesh["indices"][i:i + 3]:
            ref = str(k + 1)
            if uvs or mesh.get("normals"):
                ref += "/" + (str(k + 1) if uvs else "")
            if mesh.get("normals"):
                ref += "/" + str(k + 1)
            refs.append(ref)
        lines.append("f " + " ".join(refs))
    return "\n".join(lines) + "\n"


def cube():
    """A 2 x 2 x 2 cube, each face its own four vertices and a whole UV square."""
    pos, uv, idx = [], [], []
    for axis in range(3):
        for side in (-1, 1):
            a, b = (axis + 1) % 3, (axis + 2) % 3
            corners = [(-1, -1), (1, -1), (1, 1), (-1, 1)]
            if side < 0:
                corners = corners[::-1]
            base = len(pos)
            for ua, vb in corners:
                p = [0, 0, 0]
                p[axis], p[a], p[b] = side, ua, vb
                pos.append(tuple(p))
                uv.append(((ua + 1) / 2, (vb + 1) / 2))
            idx += [base, base + 1, base + 2, base, base + 2, base + 3]
    return {"positions": pos, "uvs": [uv], "indices": idx}


def ply_text(mesh):
    n, t = len(mesh["positions"]), len(mesh["indices"]) // 3
    head = ["ply", "format ascii 1.0", "element vertex %d" % n, "property float x", "property float y",
            "property float z", "property float nx", "property float ny", "property float nz", "property float s",
            "property float t", "element face %d" % t, "property list uchar int vertex_indices", "end_header"]
    body = ["%g %g %g %g %g %g %g %g" % (p + nn + uv) for p, nn, uv in zip(mesh["positions"], mesh["normals"], mesh["uvs"][0])]
    body += ["3 %d %d %d" % tuple(mesh["indices"][i:i + 3]) for i in range(0, len(mesh["indices"]), 3)]
    return "\n".join(head + body) + "\n"


def stl_bytes(mesh, claimed=None):
    tris = [mesh["indices"][i:i + 3] for i in range(0, len(mesh["indices"]), 3)]
    out = bytearray(b"made by make_test_models.py".ljust(80, b" "))
    out += struct.pack("<I", claimed if claimed is not None else len(tris))
    for t in tris:
        out += struct.pack("<3f", 0, 0, 1)
        for i in t:
            out += struct.pack("<3f", *mesh["positions"][i])
        out += b"\0\0"
    return bytes(out)


# ---- FBX (binary, version 7400) ---------------------------------------------


def fbx_prop(value):
    kind, v = value
    if kind == "I":
        return b"I" + struct.pack("<i", v)
    if kind == "L":
        return b"L" + struct.pack("<q", v)
    if kind == "D":
        return b"D" + struct.pack("<d", v)
    if kind == "S":
        return b"S" + struct.pack("<I", len(v)) + v
    if kind in "di":
        data = b"".join(struct.pack("<" + kind, x) for x in v)
        return kind.encode() + struct.pack("<III", len(v), 0, len(data)) + data
    if kind == "raw":  # an array given whole: type, count, encoding, bytes
        t, count, encoding, data = v
        return t + struct.pack("<III", count, encoding, len(data)) + data
    raise ValueError(kind)


def fbx_node(name, props=(), children=(), at=0):
    body = b"".join(fbx_prop(p) for p in props)
    head_len = 13 + len(name)
    kids = b""
    for c in children:
        kids += c(at + head_len + len(body) + len(kids))
    if children:
        kids += b"\0" * 13
    end = at + head_len + len(body) + len(kids)
    return struct.pack("<IIIB", end, len(props), len(body), len(name)) + name + body + kids


def node(name, props=(), children=()):
    return lambda at: fbx_node(name, props, children, at)


def fbx_bytes(mesh, vertices_prop=None):
    verts = [c for p in mesh["positions"] for c in p]
    # Polygon vertex indices: the last of each polygon is -(index + 1).
    pvi = []
    for i in range(0, len(mesh["indices"]), 3):
        a, b, c = mesh["indices"][i:i + 3]
        pvi += [a, b, -(c + 1)]
    uv = [c for p in mesh["uvs"][0] for c in p]
    geometry = node(b"Geometry", [("L", 100), ("S", b"Plane\x00\x01Geometry"), ("S", b"Mesh")], [
        node(b"Vertices", [vertices_prop or ("d", verts)]),
        node(b"PolygonVertexIndex", [("i", pvi)]),
        node(b"LayerElementUV", [("I", 0)], [
            node(b"Version", [("I", 101)]),
            node(b"Name", [("S", b"UVMap")]),
            node(b"MappingInformationType", [("S", b"ByPolygonVertex")]),
            node(b"ReferenceInformationType", [("S", b"IndexToDirect")]),
            node(b"UV", [("d", uv)]),
            node(b"UVIndex", [("i", [a if a >= 0 else -a - 1 for a in pvi])]),
        ]),
        node(b"Layer", [("I", 0)], [
            node(b"Version", [("I", 100)]),
            node(b"LayerElement", [], [node(b"Type", [("S", b"LayerElementUV")]), node(b"TypedIndex", [("I", 0)])]),
        ]),
    ])
    model = node(b"Model", [("L", 200), ("S", b"Plane\x00\x01Model"), ("S", b"Mesh")], [node(b"Version", [("I", 232)])])
    top = [
        node(b"FBXHeaderExtension", [], [node(b"FBXHeaderVersion", [("I", 1003)]), node(b"FBXVersion", [("I", 7400)])]),
        node(b"Objects", [], [geometry, model]),
        node(b"Connections", [], [node(b"C", [("S", b"OO"), ("L", 100), ("L", 200)]),
                                  node(b"C", [("S", b"OO"), ("L", 200), ("L", 0)])]),
    ]
    out = b"Kaydara FBX Binary  \x00\x1a\x00" + struct.pack("<I", 7400)
    for t in top:
        out += t(len(out))
    return out + b"\0" * 13


def deflated_zeros(total):
    """A zlib stream of `total` zero bytes, made without holding them: after a
    full flush a block of zeros compresses to the same bytes every time."""
    chunk = 1 << 20
    assert total % chunk == 0 and total >= 3 * chunk
    c = zlib.compressobj(9)
    first = c.compress(b"\0" * chunk) + c.flush(zlib.Z_FULL_FLUSH)
    again = c.compress(b"\0" * chunk) + c.flush(zlib.Z_FULL_FLUSH)
    last = c.compress(b"\0" * chunk) + c.flush(zlib.Z_FINISH)
    # Adler-32 of zeros: a stays 1, b grows by 1 a byte.
    adler = ((total % 65521) << 16) | 1
    return first + again * (total // chunk - 2) + last[:-4] + struct.pack(">I", adler)


# ---- The folder -------------------------------------------------------------


UDIMS_OBJ = """v -1 -1 0
v 1 -1 0
v 1 1 0
v -1 1 0
v 2 -1 0
v 4 -1 0
v 3 1 0
vt 0.15 0.2
vt 0.8 0.25
vt 0.7 0.85
vt 0.2 0.75
vt 1.3 0.3
vt 1.9 0.4
vt 1.5 0.9
f 1/1 2/2 3/3
f 1/1 3/3 4/4
f 5/5 6/6 7/7
"""


def main(folder):
    hostile = os.path.join(folder, "hostile")
    os.makedirs(hostile, exist_ok=True)

    def write(path, data):
        with open(path, "wb" if isinstance(data, bytes) else "w") as f:
            f.write(data)

    nouv = {"positions": [(0, 0, 0), (1, 0, 0), (0, 1, 0)], "indices": [0, 1, 2]}
    for name, mesh in (("plane", PLANE), ("cube", cube()), ("sphere", sphere()), ("nouv", nouv)):
        write(os.path.join(folder, name + ".obj"), obj_text(mesh))
        doc, blob = gltf_document(mesh, name=name)
        write_gltf(folder, name, doc, blob)
        write(os.path.join(folder, name + ".glb"), glb_bytes(doc, blob))
    doc, blob = gltf_document(PLANE)
    plane_glb = glb_bytes(doc, blob)
    write(os.path.join(folder, "plane.ply"), ply_text(PLANE))
    write(os.path.join(folder, "plane.stl"), stl_bytes(PLANE))
    write(os.path.join(folder, "plane.fbx"), fbx_bytes(PLANE))
    # The plane under Parent (translated by 10 in x, scaled by 2) and Child
    # (turned a quarter about z), and again under Again (up 5 in y); a
    # camera at (0, 0, 10) looking down -z.
    quarter = [0, 0, math.sin(math.pi / 4), math.cos(math.pi / 4)]
    nodes = [
        {"name": "Parent", "translation": [10, 0, 0], "scale": [2, 2, 2], "children": [1]},
        {"name": "Child", "rotation": quarter, "mesh": 0},
        {"name": "Again", "translation": [0, 5, 0], "mesh": 0},
        {"name": "Eye", "translation": [0, 0, 10], "camera": 0},
    ]
    cameras = [{"type": "perspective", "perspective": {"yfov": 0.5, "aspectRatio": 1.5, "znear": 0.1}}]
    doc, blob = gltf_document(PLANE, nodes=nodes, scenes_nodes=[0, 2, 3], cameras=cameras)
    write_gltf(folder, "nodes", doc, blob)
    write(os.path.join(folder, "nodes.glb"), glb_bytes(doc, blob))

    write(os.path.join(folder, "udims.obj"), UDIMS_OBJ)

    write(os.path.join(hostile, "truncated.glb"), plane_glb[:len(plane_glb) // 2])
    write(os.path.join(hostile, "nan.obj"), obj_text(PLANE, lambda k: "nan 0 0" if k == 2 else "%g %g %g" % PLANE["positions"][k]))
    write(os.path.join(hostile, "inf.obj"), obj_text(PLANE, lambda k: "1 inf 0" if k == 1 else "%g %g %g" % PLANE["positions"][k]))
    bad = struct.pack("<3f", float("nan"), 0, 0)
    doc, blob = gltf_document(PLANE, positions_bytes=bad + b"".join(struct.pack("<3f", *p) for p in PLANE["positions"][1:]))
    write_gltf(hostile, "nan", doc, blob)
    write(os.path.join(hostile, "badindex.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n")
    doc, blob = gltf_document(PLANE, index_bytes=struct.pack("<6I", 0, 1, 2, 0, 2, 7))
    write_gltf(hostile, "badindex", doc, blob)
    write(os.path.join(hostile, "huge.stl"), stl_bytes(PLANE, claimed=1 << 31))
    head = ("ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
            "property float z\nelement face 2147483648\nproperty list uchar int vertex_indices\nend_header\n")
    write(os.path.join(hostile, "huge.ply"), head.encode() + struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0) +
          struct.pack("<B3i", 3, 0, 1, 2))
    # 3 x 2^26 doubles (the importer wants whole points): 1.5 GiB.
    zeros = deflated_zeros(3 << 29)
    write(os.path.join(hostile, "bomb.fbx"), fbx_bytes(PLANE, ("raw", (b"d", 3 << 26, 1, zeros))))


if __name__ == "__main__":
    main(sys.argv[1])
