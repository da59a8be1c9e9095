#!/usr/bin/env python3
"""Writes turntable.gltf, the worked example of zor-import: laid out as
Blender's glTF exporter lays out a scene (node names, a camera and a sun
light as nodes of their own, one action per animated object), with the
buffers and the image embedded so the file stands alone.

  Turntable   a flat cylinder (smooth sides, flat caps), turning once in
              8 seconds (linear keys)
  Crate       a textured box standing on it (child of Turntable), bobbing
              up and down with cubic-spline keys
  Camera      looking down at the turntable, dollying in (linear keys)
  Sun         a directional light (KHR_lights_punctual)
  Room        a large box seen from inside: the player never clears the
              picture, so a scene must cover the whole view

Usage: make_turntable.py [OUTPUT.gltf]
"""

import base64
import json
import math
import struct
import sys
import zlib


def png(width, height, pixel):
    rows = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def crate_pixel(x, y):
    # Planks with a dark frame and a diagonal brace.
    edge = min(x, y, 63 - x, 63 - y) < 6
    brace = abs(x - y) < 5
    grain = 12 * math.sin(y * 0.9 + math.sin(x * 0.3) * 2)
    base = (150, 105, 60) if edge or brace else (200, 150, 90)
    return tuple(max(0, min(255, int(c + grain))) for c in base)


def quat(axis, degrees):
    n = math.sqrt(sum(a * a for a in axis))
    s = math.sin(math.radians(degrees) / 2)
    return [axis[0] / n * s, axis[1] / n * s, axis[2] / n * s, math.cos(math.radians(degrees) / 2)]


class Builder:
    def __init__(self):
        self.data = bytearray()
        self.views, self.accessors = [], []

    def add(self, values, kind, component=5126):
        fmt = {5126: "f", 5123: "H"}[component]
        flat = [c for v in values for c in (v if isinstance(v, (list, tuple)) else [v])]
        while len(self.data) % 4:
            self.data.append(0)
        offset = len(self.data)
        self.data += struct.pack("<%d%s" % (len(flat), fmt), *flat)
        self.views.append({"buffer": 0, "byteOffset": offset, "byteLength": len(self.data) - offset})
        width = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4}[kind]
        acc = {"bufferView": len(self.views) - 1, "componentType": component, "count": len(flat) // width,
               "type": kind}
        if kind == "VEC3":
            acc["min"] = [min(flat[i::3]) for i in range(3)]
            acc["max"] = [max(flat[i::3]) for i in range(3)]
        self.accessors.append(acc)
        return len(self.accessors) - 1


def cylinder(radius, height, sides):
    pos, nor, idx = [], [], []
    for k in range(sides):  # smooth sides
        a = 2 * math.pi * k / sides
        c, s = math.cos(a), math.sin(a)
        pos += [(radius * c, 0, radius * s), (radius * c, height, radius * s)]
        nor += [(c, 0, s), (c, 0, s)]
    for k in range(sides):
        a, b = 2 * k, 2 * ((k + 1) % sides)
        idx += [a, a + 1, b + 1, a, b + 1, b]
    top = len(pos)
    pos.append((0, height, 0))
    nor.append((0, 1, 0))
    for k in range(sides):  # flat top cap
        a = 2 * math.pi * k / sides
        pos.append((radius * math.cos(a), height, radius * math.sin(a)))
        nor.append((0, 1, 0))
    for k in range(sides):
        idx += [top, top + 1 + (k + 1) % sides, top + 1 + k]
    return pos, nor, idx


def box(size):
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
        idx += [base, base + 1, base + 2, base, base + 2, base + 3]
    return pos, nor, uv, idx


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "turntable.gltf"
    b = Builder()
    cpos, cnor, cidx = cylinder(1.6, 0.2, 32)
    bpos, bnor, buv, bidx = box(1.0)
    # The room: a 24 m box whose faces look inwards (vertex order reversed).
    rpos, rnor, _, ridx = box(24.0)
    rnor = [tuple(-c for c in n) for n in rnor]
    ridx = [i for k in range(0, len(ridx), 3) for i in (ridx[k], ridx[k + 2], ridx[k + 1])]
    rpos = [(x, y + 11.5, z) for x, y, z in rpos]
    doc = {
        "asset": {"version": "2.0", "generator": "make_turntable.py (laid out like Blender's glTF exporter)"},
        "extensionsUsed": ["KHR_lights_punctual"],
        "extensions": {"KHR_lights_punctual": {"lights": [
            {"name": "Sun", "type": "directional", "color": [1.0, 0.95, 0.85], "intensity": 1.6}]}},
        "scene": 0,
        "scenes": [{"name": "Scene", "nodes": [0, 2, 3, 4]}],
        "images": [{"name": "crate", "mimeType": "image/png",
                    "uri": "data:image/png;base64," + base64.b64encode(png(64, 64, crate_pixel)).decode()}],
        "textures": [{"source": 0}],
        "materials": [
            {"name": "Steel", "pbrMetallicRoughness": {"baseColorFactor": [0.25, 0.3, 0.4, 1], "metallicFactor": 0.8}},
            {"name": "Wood", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}, "metallicFactor": 0}},
            {"name": "Wall", "pbrMetallicRoughness": {"baseColorFactor": [0.05, 0.07, 0.12, 1], "metallicFactor": 0}},
        ],
        "meshes": [
            {"name": "Cylinder", "primitives": [{"attributes": {"POSITION": b.add(cpos, "VEC3"),
                                                                "NORMAL": b.add(cnor, "VEC3")},
                                                 "indices": b.add(cidx, "SCALAR", 5123), "material": 0}]},
            {"name": "Cube", "primitives": [{"attributes": {"POSITION": b.add(bpos, "VEC3"),
                                                            "NORMAL": b.add(bnor, "VEC3"),
                                                            "TEXCOORD_0": b.add(buv, "VEC2")},
                                             "indices": b.add(bidx, "SCALAR", 5123), "material": 1}]},
            {"name": "Room", "primitives": [{"attributes": {"POSITION": b.add(rpos, "VEC3"),
                                                            "NORMAL": b.add(rnor, "VEC3")},
                                             "indices": b.add(ridx, "SCALAR", 5123), "material": 2}]},
        ],
        "cameras": [{"name": "Camera", "type": "perspective",
                     "perspective": {"yfov": math.radians(34), "aspectRatio": 4 / 3, "znear": 0.1, "zfar": 100}}],
        "nodes": [
            {"name": "Turntable", "mesh": 0, "children": [1]},
            {"name": "Crate", "mesh": 1, "translation": [0.5, 0.75, 0], "rotation": quat((0, 1, 0), 20)},
            {"name": "Camera", "camera": 0, "translation": [0, 3.2, 8], "rotation": quat((1, 0, 0), -20)},
            {"name": "Sun", "rotation": quat((-1, 0.6, 0.3), 55),
             "extensions": {"KHR_lights_punctual": {"light": 0}}},
            {"name": "Room", "mesh": 2},
        ],
    }
    spin_t = [0, 2, 4, 6, 8]
    spin = [quat((0, 1, 0), 90 * k) for k in range(5)]
    bob_t = [0, 2, 4, 6, 8]
    bob = []
    for k, t in enumerate(bob_t):
        y = 0.75 + (0.4 if k % 2 else 0)
        bob += [[0, 0, 0], [0.5, y, 0], [0, 0, 0]]
    dolly_t = [0, 8]
    dolly = [[0, 3.2, 8], [0, 2.4, 6]]
    samplers = [
        {"input": b.add(spin_t, "SCALAR"), "output": b.add(spin, "VEC4"), "interpolation": "LINEAR"},
        {"input": b.add(bob_t, "SCALAR"), "output": b.add(bob, "VEC3"), "interpolation": "CUBICSPLINE"},
        {"input": b.add(dolly_t, "SCALAR"), "output": b.add(dolly, "VEC3"), "interpolation": "LINEAR"},
    ]
    doc["animations"] = [
        {"name": "TurntableAction", "samplers": [samplers[0]],
         "channels": [{"sampler": 0, "target": {"node": 0, "path": "rotation"}}]},
        {"name": "CrateAction", "samplers": [samplers[1]],
         "channels": [{"sampler": 0, "target": {"node": 1, "path": "translation"}}]},
        {"name": "CameraAction", "samplers": [samplers[2]],
         "channels": [{"sampler": 0, "target": {"node": 2, "path": "translation"}}]},
    ]
    doc["bufferViews"] = b.views
    doc["accessors"] = b.accessors
    doc["buffers"] = [{"byteLength": len(b.data),
                       "uri": "data:application/octet-stream;base64," + base64.b64encode(bytes(b.data)).decode()}]
    with open(out, "w") as f:
        json.dump(doc, f, indent=1)


if __name__ == "__main__":
    main()
