#!/usr/bin/env python3
"""Writes the importer's test sources with nothing but the standard library,
independently of the importer and of the libraries it reads with:

  animated.gltf   a node tree (a moving base, a textured box below it with a
                  cubic-spline rotation and a stepped scale, a smooth gem), a
                  moving camera and a point light; buffers and a PNG image
                  embedded as data URIs
  expected.json   for marked vertices (the corners of the box and the tips of
                  the gem) and three frames: where the player's fixed view
                  must show them, computed here from the glTF's own TRS
                  animation and the player's projection (45 x 34 degrees)
  grid.gltf       one flat mesh of more points than one object can hold
  quad.obj, quad.mtl, quad.png
                  a textured quad whose texture coordinates follow a planar
                  projection, and a second, coloured face
  big.gltf        a box 400 units across (a model in millimetres) and its own
                  camera 1500 units in front of it: beyond the player's view
  logo.png        64 x 32: its left half pure magenta, its right half green

Usage: make_sources.py FOLDER
"""

import base64
import json
import math
import os
import struct
import sys
import zlib

FPS = 30.3
FRAMES = [0, 17, 45]


# ------------------------------------------------------------------ PNG

def png(width, height, pixel):
    rows = b""
    for y in range(height):
        rows += b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width))

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def checker(x, y):
    return (230, 40, 40) if (x // 8 + y // 8) % 2 else (240, 240, 240)


# ------------------------------------------------------------------ math

def quat_axis(axis, degrees):
    n = math.sqrt(sum(a * a for a in axis))
    s = math.sin(math.radians(degrees) / 2)
    return [axis[0] / n * s, axis[1] / n * s, axis[2] / n * s, math.cos(math.radians(degrees) / 2)]


def quat_matrix(q):
    x, y, z, w = q
    n = math.sqrt(x * x + y * y + z * z + w * w)
    x, y, z, w = x / n, y / n, z / n, w / n
    return [[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
            [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
            [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]]


def slerp(a, b, t):
    d = sum(p * q for p, q in zip(a, b))
    if d < 0:
        b, d = [-c for c in b], -d
    if d > 0.9995:
        r = [p + t * (q - p) for p, q in zip(a, b)]
    else:
        th = math.acos(d)
        r = [(math.sin((1 - t) * th) * p + math.sin(t * th) * q) / math.sin(th) for p, q in zip(a, b)]
    n = math.sqrt(sum(c * c for c in r))
    return [c / n for c in r]


def trs_matrix(t, r, s):
    m = quat_matrix(r)
    return [[m[i][0] * s[0], m[i][1] * s[1], m[i][2] * s[2], t[i]] for i in range(3)] + [[0, 0, 0, 1]]


def mat_mul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(4)) for j in range(4)] for i in range(4)]


def apply(m, p):
    return [m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3] for i in range(3)]


def sample(channel, t):
    """glTF's own rules: clamp outside the keys; LINEAR lerp (slerp for
    rotations), STEP, CUBICSPLINE Hermite with tangents scaled by the span."""
    times, values, mode = channel["times"], channel["values"], channel["interpolation"]
    width = len(values[0]) if mode != "CUBICSPLINE" else len(values[0][1])
    rot = width == 4

    def val(k, part=1):
        return values[k][part] if mode == "CUBICSPLINE" else values[k]

    if t <= times[0]:
        return list(val(0))
    if t >= times[-1]:
        return list(val(len(times) - 1))
    k = max(i for i in range(len(times)) if times[i] <= t)
    t0, t1 = times[k], times[k + 1]
    dt = t1 - t0
    s = (t - t0) / dt
    if mode == "STEP":
        return list(val(k))
    if mode == "CUBICSPLINE":
        p0, m0, p1, m1 = values[k][1], values[k][2], values[k + 1][1], values[k + 1][0]
        h00, h10 = 2 * s ** 3 - 3 * s ** 2 + 1, s ** 3 - 2 * s ** 2 + s
        h01, h11 = -2 * s ** 3 + 3 * s ** 2, s ** 3 - s ** 2
        r = [h00 * a + h10 * dt * b + h01 * c + h11 * dt * d for a, b, c, d in zip(p0, m0, p1, m1)]
        if rot:
            n = math.sqrt(sum(c * c for c in r))
            r = [c / n for c in r]
        return r
    if rot:
        return slerp(val(k), val(k + 1), s)
    return [a + s * (b - a) for a, b in zip(val(k), val(k + 1))]


# ------------------------------------------------------------------ glTF building

class Gltf:
    def __init__(self):
        self.data = bytearray()
        self.doc = {"asset": {"version": "2.0", "generator": "zor test sources (make_sources.py)"},
                    "buffers": [], "bufferViews": [], "accessors": [], "meshes": [], "nodes": [],
                    "scenes": [{"nodes": []}], "scene": 0}

    def accessor(self, values, kind, component=5126):
        fmt = {5126: "f", 5125: "I", 5123: "H"}[component]
        width = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4}[kind]
        flat = []
        for v in values:
            flat.extend(v if isinstance(v, (list, tuple)) else [v])
        while len(self.data) % 4:
            self.data.append(0)
        offset = len(self.data)
        self.data += struct.pack("<%d%s" % (len(flat), fmt), *flat)
        self.doc["bufferViews"].append({"buffer": 0, "byteOffset": offset, "byteLength": len(self.data) - offset})
        acc = {"bufferView": len(self.doc["bufferViews"]) - 1, "componentType": component,
               "count": len(flat) // width, "type": kind}
        if kind == "VEC3" and component == 5126:
            acc["min"] = [min(flat[i::3]) for i in range(3)]
            acc["max"] = [max(flat[i::3]) for i in range(3)]
        self.doc["accessors"].append(acc)
        return len(self.doc["accessors"]) - 1

    def finish(self, path):
        self.doc["buffers"] = [{"byteLength": len(self.data),
                                "uri": "data:application/octet-stream;base64," +
                                       base64.b64encode(bytes(self.data)).decode()}]
        with open(path, "w") as f:
            json.dump(self.doc, f)


def box(size):
    """24 vertices (flat faces), uvs 0..1 per face: no planar projection
    gives them, so the box travels as a binary mesh."""
    h = size / 2
    faces = [((1, 0, 0), [(h, -h, h), (h, -h, -h), (h, h, -h), (h, h, h)]),
             ((-1, 0, 0), [(-h, -h, -h), (-h, -h, h), (-h, h, h), (-h, h, -h)]),
             ((0, 1, 0), [(-h, h, h), (h, h, h), (h, h, -h), (-h, h, -h)]),
             ((0, -1, 0), [(-h, -h, -h), (h, -h, -h), (h, -h, h), (-h, -h, h)]),
             ((0, 0, 1), [(-h, -h, h), (h, -h, h), (h, h, h), (-h, h, h)]),
             ((0, 0, -1), [(h, -h, -h), (-h, -h, -h), (-h, h, -h), (h, h, -h)])]
    pos, nor, uv, idx = [], [], [], []
    for n, quad in faces:
        base = len(pos)
        for k, p in enumerate(quad):
            pos.append(p)
            nor.append(n)
            uv.append([(0, 1), (1, 1), (1, 0), (0, 0)][k])
        idx += [base, base + 1, base + 2, base, base + 2, base + 3]  # counter-clockwise from outside
    return pos, nor, uv, idx


def gem(radius):
    """An octahedron with smooth (radial) normals."""
    pos = [(radius, 0, 0), (-radius, 0, 0), (0, radius, 0), (0, -radius, 0), (0, 0, radius), (0, 0, -radius)]
    nor = [tuple(c / radius for c in p) for p in pos]
    tris = [(0, 2, 4), (4, 2, 1), (1, 2, 5), (5, 2, 0), (4, 3, 0), (1, 3, 4), (5, 3, 1), (0, 3, 5)]
    return pos, nor, [i for t in tris for i in t]


def animated(folder):
    g = Gltf()
    image = png(32, 32, checker)
    g.doc["images"] = [{"uri": "data:image/png;base64," + base64.b64encode(image).decode(), "name": "checker"}]
    g.doc["textures"] = [{"source": 0}]
    g.doc["materials"] = [
        {"name": "Checker", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}},
        {"name": "Ruby", "pbrMetallicRoughness": {"baseColorFactor": [0.8, 0.05, 0.1, 1.0]}},
    ]
    pos, nor, uv, idx = box(1.0)
    g.doc["meshes"].append({"name": "Box", "primitives": [{
        "attributes": {"POSITION": g.accessor(pos, "VEC3"), "NORMAL": g.accessor(nor, "VEC3"),
                       "TEXCOORD_0": g.accessor(uv, "VEC2")},
        "indices": g.accessor(idx, "SCALAR", 5123), "material": 0}]})
    gpos, gnor, gidx = gem(0.6)
    g.doc["meshes"].append({"name": "Gem", "primitives": [{
        "attributes": {"POSITION": g.accessor(gpos, "VEC3"), "NORMAL": g.accessor(gnor, "VEC3")},
        "indices": g.accessor(gidx, "SCALAR", 5123), "material": 1}]})
    g.doc["cameras"] = [{"type": "perspective", "perspective": {"yfov": math.radians(34), "znear": 0.1,
                                                                 "aspectRatio": 4 / 3}}]
    g.doc["extensionsUsed"] = ["KHR_lights_punctual"]
    g.doc["extensions"] = {"KHR_lights_punctual": {"lights": [
        {"type": "point", "color": [1, 0.9, 0.8], "intensity": 40, "name": "Lamp"}]}}

    rest = {
        "Base": {"translation": [0, 0, 0], "rotation": [0, 0, 0, 1], "scale": [1, 1, 1]},
        "Arm": {"translation": [2, 0, 0], "rotation": [0, 0, 0, 1], "scale": [1, 1, 1]},
        "Gem": {"translation": [-2, 1, 0], "rotation": quat_axis((0, 0, 1), 25), "scale": [0.5, 0.5, 0.5]},
        "Camera": {"translation": [0, 2, 12], "rotation": quat_axis((1, 0, 0), -8), "scale": [1, 1, 1]},
        "Lamp": {"translation": [3, 4, 5], "rotation": [0, 0, 0, 1], "scale": [1, 1, 1]},
    }
    nodes = [("Base", None, {"children": [1, 2]}), ("Arm", 0, {"mesh": 0}), ("Gem", 0, {"mesh": 1}),
             ("Camera", None, {"camera": 0}), ("Lamp", None, {"extensions": {"KHR_lights_punctual": {"light": 0}}})]
    for name, parent, extra in nodes:
        node = {"name": name}
        node.update(rest[name])
        node.update(extra)
        g.doc["nodes"].append(node)
    g.doc["scenes"][0]["nodes"] = [0, 3, 4]

    channels = {
        ("Base", "translation"): {"interpolation": "LINEAR", "times": [0, 1, 2],
                                  "values": [[0, 0, 0], [1, 0.5, -2], [-1, 0, -1]]},
        ("Base", "rotation"): {"interpolation": "LINEAR", "times": [0, 1, 2],
                               "values": [quat_axis((0, 1, 0), 0), quat_axis((0, 1, 0), 90),
                                          quat_axis((0, 1, 0), 200)]},
        ("Arm", "rotation"): {"interpolation": "CUBICSPLINE", "times": [0, 1, 2],
                              "values": [[[0, 0, 0, 0], quat_axis((1, 1, 0), 0), [0.2, 0.2, 0, 0]],
                                         [[0, 0, 0, 0], quat_axis((1, 1, 0), 60), [0, 0, 0, 0]],
                                         [[-0.1, -0.1, 0, 0], quat_axis((1, 1, 0), -30), [0, 0, 0, 0]]]},
        ("Arm", "scale"): {"interpolation": "STEP", "times": [0, 1],
                           "values": [[1, 1, 1], [1.5, 1.5, 1.5]]},
        ("Camera", "translation"): {"interpolation": "LINEAR", "times": [0, 2],
                                    "values": [[0, 2, 12], [1, 2, 11]]},
    }
    index = {name: i for i, (name, _, _) in enumerate(nodes)}
    anim = {"name": "Action", "channels": [], "samplers": []}
    for (name, path), ch in channels.items():
        flat = [v for key in ch["values"] for v in (key if ch["interpolation"] == "CUBICSPLINE" else [key])]
        kind = "VEC4" if path == "rotation" else "VEC3"
        anim["samplers"].append({"input": g.accessor(ch["times"], "SCALAR"), "output": g.accessor(flat, kind),
                                 "interpolation": ch["interpolation"]})
        anim["channels"].append({"sampler": len(anim["samplers"]) - 1, "target": {"node": index[name], "path": path}})
    g.doc["animations"] = [anim]
    g.finish(os.path.join(folder, "animated.gltf"))

    # The reference: world matrices from the TRS animation, the camera's
    # inverse, and the player's projection (the camera looks along -z in
    # glTF, along +z in the player; x right and y up in both).
    def local(name, t):
        trs = dict(rest[name])
        for path in ("translation", "rotation", "scale"):
            if (name, path) in channels:
                trs[path] = sample(channels[(name, path)], t)
        return trs_matrix(trs["translation"], trs["rotation"], trs["scale"])

    def world(name, t):
        m = local(name, t)
        parent = dict((n, p) for n, p, _ in nodes)[name]
        while parent is not None:
            pname = nodes[parent][0]
            m = mat_mul(local(pname, t), m)
            parent = dict((n, p) for n, p, _ in nodes)[pname]
        return m

    tan_x, tan_y = math.tan(math.radians(22.5)), math.tan(math.radians(17))
    marked = {"Box": sorted(set(pos)), "Gem": gpos}
    owner = {"Box": "Arm", "Gem": "Gem"}
    expected = {"frames": FRAMES, "marks": []}
    for mesh, points in marked.items():
        for p in points:
            mark = {"object": owner[mesh], "local": list(p), "screen": []}
            for f in FRAMES:
                t = f / FPS
                wp = apply(world(owner[mesh], t), p)
                cam = world("Camera", t)
                # Inverse of a rotation-and-translation matrix.
                r = [[cam[j][i] for j in range(3)] for i in range(3)]
                d = [wp[i] - cam[i][3] for i in range(3)]
                v = [sum(r[i][k] * d[k] for k in range(3)) for i in range(3)]
                x, y, z = v[0], v[1], -v[2]
                mark["screen"].append([x / (z * tan_x), y / (z * tan_y)])
            expected["marks"].append(mark)
    with open(os.path.join(folder, "expected.json"), "w") as f:
        json.dump(expected, f, indent=1)


def grid(folder, n=260):
    """n x n vertices: more than the 65535 points one object holds."""
    g = Gltf()
    pos = [(x * 0.1, 0.0, y * 0.1) for y in range(n) for x in range(n)]
    nor = [(0, 1, 0)] * len(pos)
    idx = []
    for y in range(n - 1):
        for x in range(n - 1):
            a = y * n + x
            idx += [a, a + n, a + 1, a + 1, a + n, a + n + 1]
    g.doc["meshes"].append({"name": "Grid", "primitives": [{
        "attributes": {"POSITION": g.accessor(pos, "VEC3"), "NORMAL": g.accessor(nor, "VEC3")},
        "indices": g.accessor(idx, "SCALAR", 5125)}]})
    g.doc["nodes"].append({"name": "A grid with a rather long name", "mesh": 0})
    g.doc["scenes"][0]["nodes"] = [0]
    g.finish(os.path.join(folder, "grid.gltf"))


def quad(folder):
    with open(os.path.join(folder, "quad.png"), "wb") as f:
        f.write(png(16, 16, checker))
    with open(os.path.join(folder, "quad.mtl"), "w") as f:
        f.write("newmtl Tiles\nKd 1 1 1\nmap_Kd quad.png\n\nnewmtl Paint\nKd 0.2 0.4 0.8\n")
    # A 4 x 2 quad in the z = 0 plane mapped once across (u from x, v from
    # y), and a coloured triangle behind it.
    with open(os.path.join(folder, "quad.obj"), "w") as f:
        f.write("mtllib quad.mtl\no Quad\n"
                "v -2 -1 0\nv 2 -1 0\nv 2 1 0\nv -2 1 0\nv 0 0 -1\nv 1 0 -1\nv 0 1 -1\n"
                "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                "usemtl Tiles\nf 1/1 2/2 3/3 4/4\n"
                "usemtl Paint\nf 5 6 7\n")


def big(folder):
    g = Gltf()
    pos, nor, uv, idx = box(400.0)
    g.doc["meshes"].append({"name": "Block", "primitives": [{
        "attributes": {"POSITION": g.accessor(pos, "VEC3"), "NORMAL": g.accessor(nor, "VEC3")},
        "indices": g.accessor(idx, "SCALAR", 5123)}]})
    g.doc["cameras"] = [{"type": "perspective", "perspective": {"yfov": math.radians(34), "znear": 10}}]
    g.doc["nodes"] = [{"name": "Block", "mesh": 0},
                      {"name": "View", "camera": 0, "translation": [0, 0, 1500]}]
    g.doc["scenes"][0]["nodes"] = [0, 1]
    g.finish(os.path.join(folder, "big.gltf"))


def logo(folder):
    with open(os.path.join(folder, "logo.png"), "wb") as f:
        f.write(png(64, 32, lambda x, y: (255, 0, 255) if x < 32 else (30, 200, 60)))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    animated(folder)
    grid(folder)
    quad(folder)
    big(folder)
    logo(folder)


if __name__ == "__main__":
    main()
