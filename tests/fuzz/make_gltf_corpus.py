#!/usr/bin/env python3
"""Writes the seed corpus of the glTF fuzz target: a few small models, each
reaching another part of the reader (embedded and binary buffers, indices,
strides, normalized attributes, sparse accessors, strips and fans, materials
and textures, an external buffer served by the fuzzer's file access, a
skinned figure with its animation).

usage: make_gltf_corpus.py [OUT_DIR]   (default: tests/fuzz/corpus/gltf)
"""
import base64
import json
import os
import struct
import sys

TRIANGLE = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0)
ASSET = {"version": "2.0"}


def glb(doc, bin_bytes=b""):
    text = json.dumps(doc, separators=(",", ":")).encode()
    text += b" " * (-len(text) % 4)
    body = struct.pack("<II", len(text), 0x4E4F534A) + text
    if bin_bytes:
        bin_bytes += b"\0" * (-len(bin_bytes) % 4)
        body += struct.pack("<II", len(bin_bytes), 0x004E4942) + bin_bytes
    return b"glTF" + struct.pack("<II", 2, 12 + len(body)) + body


def text(doc):
    return json.dumps(doc, separators=(",", ":")).encode()


def data_uri(b):
    return "data:application/octet-stream;base64," + base64.b64encode(b).decode()


def seeds():
    vec3 = {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3"}
    mesh = {"name": "tri", "primitives": [{"attributes": {"POSITION": 0}, "material": 0}]}
    material = {"name": "m", "pbrMetallicRoughness": {"baseColorFactor": [1, 0.5, 0.25, 0.5],
                                                       "baseColorTexture": {"index": 0}}}
    yield "embedded.gltf", text({
        "asset": ASSET, "buffers": [{"byteLength": 36, "uri": data_uri(TRIANGLE)}],
        "bufferViews": [{"buffer": 0, "byteLength": 36}], "accessors": [vec3], "meshes": [mesh],
        "materials": [material], "textures": [{"source": 0}], "images": [{"uri": "tex/wood%20a.png"}]})

    idx = struct.pack("<3H", 0, 1, 2) + b"\0\0"
    yield "indexed.glb", glb({
        "asset": ASSET, "buffers": [{"byteLength": 44}],
        "bufferViews": [{"buffer": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 6}],
        "accessors": [vec3, {"bufferView": 1, "componentType": 5123, "count": 3, "type": "SCALAR"}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "mode": 4},
                                   {"attributes": {"POSITION": 0}, "mode": 5},
                                   {"attributes": {"POSITION": 0}, "mode": 6}]}]}, TRIANGLE + idx)

    # Interleaved position and normalized ubyte texture coordinates, stride 16.
    inter = b"".join(struct.pack("<3f2B2x", x, y, 0, 255 * x, 255 * y) for x, y in [(0, 0), (1, 0), (0, 1)])
    yield "interleaved.glb", glb({
        "asset": ASSET, "buffers": [{"byteLength": len(inter)}],
        "bufferViews": [{"buffer": 0, "byteLength": len(inter), "byteStride": 16}],
        "accessors": [vec3, {"bufferView": 0, "byteOffset": 12, "componentType": 5121, "normalized": True,
                             "count": 3, "type": "VEC2"}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1}}]}]}, inter)

    sparse = TRIANGLE + bytes([2, 0, 0, 0]) + struct.pack("<3f", 5, 6, 7)
    yield "sparse.glb", glb({
        "asset": ASSET, "buffers": [{"byteLength": len(sparse)}],
        "bufferViews": [{"buffer": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 16}],
        "accessors": [dict(vec3, sparse={"count": 1, "indices": {"bufferView": 1, "componentType": 5121},
                                         "values": {"bufferView": 1, "byteOffset": 4}}),
                      {"componentType": 5126, "count": 3, "type": "VEC3",
                       "sparse": {"count": 1, "indices": {"bufferView": 1, "componentType": 5121},
                                  "values": {"bufferView": 1, "byteOffset": 4}}}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1}}]}]}, sparse)

    # The fuzzer serves a triangle and four ushort indices for any ".bin".
    yield "external.gltf", text({
        "asset": ASSET, "buffers": [{"byteLength": 44, "uri": "parts/tri.bin"}],
        "bufferViews": [{"buffer": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 8}],
        "accessors": [vec3, {"bufferView": 1, "componentType": 5123, "count": 3, "type": "SCALAR"}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]}]})

    # Two joints under an "Armature" node given as a matrix; joints listed
    # child first; ubyte joints, normalized ubyte weights, inverse bind
    # matrices; an animation with LINEAR, STEP and CUBICSPLINE samplers.
    identity = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]
    parts = [TRIANGLE, bytes([1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0]),
             bytes([255, 0, 0, 0, 255, 0, 0, 0, 128, 127, 0, 0]),
             struct.pack("<32f", *identity, *identity), struct.pack("<2f", 0, 1),
             struct.pack("<8f", 0, 0, 0, 1, 0.7071, 0, 0, 0.7071), struct.pack("<6f", 0, 1, 0, 0, 2, 0),
             struct.pack("<18f", *([1] * 18))]
    blob, views = b"", []
    for p in parts:
        views.append({"buffer": 0, "byteOffset": len(blob), "byteLength": len(p)})
        blob += p
    yield "skinned.gltf", text({
        "asset": ASSET, "buffers": [{"byteLength": len(blob), "uri": data_uri(blob)}], "bufferViews": views,
        "accessors": [vec3, {"bufferView": 1, "componentType": 5121, "count": 3, "type": "VEC4"},
                      {"bufferView": 2, "componentType": 5121, "normalized": True, "count": 3, "type": "VEC4"},
                      {"bufferView": 3, "componentType": 5126, "count": 2, "type": "MAT4"},
                      {"bufferView": 4, "componentType": 5126, "count": 2, "type": "SCALAR"},
                      {"bufferView": 5, "componentType": 5126, "count": 2, "type": "VEC4"},
                      {"bufferView": 6, "componentType": 5126, "count": 2, "type": "VEC3"},
                      {"bufferView": 7, "componentType": 5126, "count": 6, "type": "VEC3"}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "JOINTS_0": 1, "WEIGHTS_0": 2}}]}],
        "nodes": [{"name": "Armature", "children": [1, 3], "matrix": [0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1]},
                  {"name": "root", "children": [2], "scale": [0.01, 0.01, 0.01]},
                  {"name": "arm", "translation": [0, 1, 0], "rotation": [0, 0, 0, 1]},
                  {"mesh": 0, "skin": 0}],
        "skins": [{"joints": [2, 1], "inverseBindMatrices": 3}],
        "animations": [{"name": "wave", "samplers": [{"input": 4, "output": 5},
                                                     {"input": 4, "output": 6, "interpolation": "STEP"},
                                                     {"input": 4, "output": 7, "interpolation": "CUBICSPLINE"}],
                        "channels": [{"sampler": 0, "target": {"node": 2, "path": "rotation"}},
                                     {"sampler": 1, "target": {"node": 1, "path": "translation"}},
                                     {"sampler": 2, "target": {"node": 1, "path": "scale"}},
                                     {"sampler": 1, "target": {"node": 0, "path": "translation"}},
                                     {"sampler": 0, "target": {"node": 3, "path": "weights"}}]}]})


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus", "gltf")
    os.makedirs(out, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
