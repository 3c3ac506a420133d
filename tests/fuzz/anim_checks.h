// What the animated mesh node relies on in an animated model that loaded:
// it indexes frames, bones, skins and morph vertices without checking them
// again. A model that breaks this stops the fuzzer. The model is also posed
// (bone matrices, skinning, morphing) at its first and last frames and half
// way between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mesh_checks.h"
#include "scene/animated_loaders.h"

namespace kavo::fuzz {

inline void CheckAnimatedModel(const scene::AnimatedModelData& m) {
  using namespace kavo::scene;
  const int frames = m.FrameCount();
  if (frames <= 0) __builtin_trap();
  for (const AnimationRange& a : m.animations)
    if (a.start < 0 || a.start > a.end || a.end >= frames) __builtin_trap();
  if (m.kind == AnimatedModelData::Kind::Skeletal) {
    for (size_t b = 0; b < m.bones.size(); ++b)
      if (m.bones[b].parent < -1 || m.bones[b].parent >= static_cast<int>(b)) __builtin_trap();
    if (m.referencePose.size() != m.bones.size()) __builtin_trap();
    if (!m.inverseBind.empty() && m.inverseBind.size() != m.bones.size()) __builtin_trap();
    for (const auto& f : m.frames)
      if (f.size() != m.bones.size()) __builtin_trap();
    if (m.skins.size() != m.mesh.objects.size()) __builtin_trap();
    for (size_t o = 0; o < m.skins.size(); ++o) {
      if (m.skins[o].size() != m.mesh.objects[o].positions.size()) __builtin_trap();
      for (const VertexSkin& s : m.skins[o]) {
        float sum = 0.0f;
        for (int k = 0; k < 4; ++k) {
          if (s.bone[k] >= static_cast<int>(m.bones.size())) __builtin_trap();
          if (s.bone[k] >= 0) sum += s.weight[k];
        }
        if (!(sum > 0.999f && sum < 1.001f)) __builtin_trap();
      }
    }
  } else {
    if (m.morphNormals.size() != m.morphPositions.size()) __builtin_trap();
    for (size_t f = 0; f < m.morphPositions.size(); ++f) {
      if (m.morphPositions[f].size() != m.mesh.objects.size()) __builtin_trap();
      for (size_t o = 0; o < m.mesh.objects.size(); ++o)
        if (m.morphPositions[f][o].size() != m.mesh.objects[o].positions.size() ||
            m.morphNormals[f][o].size() != m.mesh.objects[o].positions.size())
          __builtin_trap();
    }
  }

  MeshData posed = m.mesh;
  const int pairs[3][2] = {{0, 0}, {frames - 1, frames - 1}, {0, frames - 1}};
  for (const auto& p : pairs) {
    if (m.kind == AnimatedModelData::Kind::Skeletal) {
      std::vector<BonePose> local;
      std::vector<glm::mat4> matrices;
      detail::InterpolateBones(m, p[0], p[1], 0.5f, local);
      detail::BoneMatrices(m, local, matrices);
      detail::SkinMesh(m, matrices, posed);
    } else {
      detail::MorphMesh(m, p[0], p[1], 0.5f, posed);
    }
  }
  CheckLoadedModel(posed);
}

// The body of the animated-model fuzz targets: the input is a model named
// `modelName`, then optionally a line "%%anim" and an animation file added
// to it as `animationName`. A load that succeeds must hand back data the
// node can index blindly and pose; a failure must name the file; an added
// animation that fails must leave the frames as they were.
inline int FuzzModelWithAnimation(const uint8_t* data, size_t size, const char* modelName,
                                  const char* animationName) {
  constexpr std::string_view kMarker = "%%anim\n";
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t marker = input.find(kMarker);
  const std::string model(input.substr(0, marker));
  scene::AnimatedModelData out;
  std::string error;
  if (!scene::LoadAnimatedModel(modelName, model, out, error)) {
    if (error.find(modelName) == std::string::npos) __builtin_trap();
    return 0;
  }
  CheckAnimatedModel(out);
  if (marker == std::string_view::npos) return 0;
  const std::string more(input.substr(marker + kMarker.size()));
  // The same bytes as an ".aaf" list: a list that parses holds sound ranges.
  std::vector<scene::AnimationRange> list;
  std::string listError;
  if (scene::ParseAnimationList("m/y.aaf", more, list, listError)) {
    for (const scene::AnimationRange& r : list)
      if (r.name.empty() || r.start < 0 || r.end < r.start) __builtin_trap();
  } else if (listError.find("m/y.aaf") == std::string::npos) {
    __builtin_trap();
  }
  const int frames = out.FrameCount();
  if (!scene::AppendAnimationFile(animationName, more, out, error)) {
    if (error.find(animationName) == std::string::npos || out.FrameCount() != frames) __builtin_trap();
    return 0;
  }
  CheckAnimatedModel(out);
  return 0;
}

}  // namespace kavo::fuzz
