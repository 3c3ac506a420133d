// What the rest of the engine relies on in a model that loaded: it indexes
// positions, normals and texture coordinates with the face indices without
// checking them again. A model that breaks this stops the fuzzer.
#pragma once

#include <cstdint>

#include "scene/geometry.h"

namespace kavo::fuzz {

inline void CheckLoadedModel(scene::MeshData& data) {
  using namespace kavo::scene;
  bool anyTriangle = false;
  for (const MeshObject& obj : data.objects) {
    const size_t n = obj.positions.size();
    if (!obj.normals.empty() && obj.normals.size() != n) __builtin_trap();
    if (!obj.texCoords.empty() && obj.texCoords.size() != n) __builtin_trap();
    if (obj.fileTriangles.size() % 3 != 0) __builtin_trap();
    for (uint32_t i : obj.fileTriangles)
      if (i >= n) __builtin_trap();
    for (const FaceGroup& g : obj.faceGroups) {
      if (g.indices.size() % 3 != 0) __builtin_trap();
      anyTriangle = anyTriangle || !g.indices.empty();
      for (uint32_t i : g.indices)
        if (i >= n) __builtin_trap();
    }
  }
  if (!anyTriangle) __builtin_trap();  // LoadModel refuses a file without geometry
  for (const ModelMaterial& m : data.materials)
    if (!(m.opacity >= 0.0f && m.opacity <= 1.0f)) __builtin_trap();

  // Meshes and rooms build their tangent space next; it must hand back one
  // normal, tangent and binormal per vertex whatever the file held.
  BuildTangentSpace(data);
  for (const MeshObject& obj : data.objects) {
    const size_t n = obj.positions.size();
    if (obj.normals.size() != n || obj.tangents.size() != n || obj.binormals.size() != n) __builtin_trap();
  }
}

}  // namespace kavo::fuzz
