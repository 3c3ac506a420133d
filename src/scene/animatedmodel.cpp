// Animated model data: the reader chosen by the file's extension, animation
// files added to a loaded model, and the posing arithmetic (interpolated bone
// poses, bone matrices, skinning and morphing).
#include "scene/animated_loaders.h"
#include "core/strings.h"

#include <glm/gtc/matrix_transform.hpp>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace kavo::scene {

namespace {

// A skeletal model from an SMD file with triangles.
bool ModelFromSMD(std::string_view fileName, detail::SmdFile& smd, AnimatedModelData& out, std::string& why) {
  if (!smd.hasTriangles) {
    why = "the file holds no triangles (an animation file is added to a model, not loaded as one)";
    return false;
  }
  out.kind = AnimatedModelData::Kind::Skeletal;
  out.mesh = std::move(smd.mesh);
  out.bones = std::move(smd.bones);
  out.referencePose = smd.frames.front();
  out.skins.assign(1, std::move(smd.skin));
  out.frames = std::move(smd.frames);
  const int last = static_cast<int>(out.frames.size()) - 1;
  out.animations.assign(1, AnimationRange{detail::AnimationNameOf(fileName), 0, last, true});
  return true;
}

bool AppendSMD(std::string_view fileName, const std::string& bytes, AnimatedModelData& model, std::string& why) {
  detail::SmdFile smd;
  if (!detail::ParseSMD(bytes, smd, why)) return false;
  const size_t bones = model.bones.size();
  if ((model.frames.size() + smd.frames.size()) * bones * 7 > detail::kMaxAnimatedFloats) {
    why = "too many frames";
    return false;
  }
  std::unordered_map<std::string, size_t> modelBone;
  for (size_t b = 0; b < bones; ++b) modelBone.emplace(model.bones[b].name, b);
  // Each model bone's bone in the file, if any.
  std::vector<size_t> source(bones, SIZE_MAX);
  for (size_t s = 0; s < smd.bones.size(); ++s) {
    auto it = modelBone.find(smd.bones[s].name);
    if (it != modelBone.end() && source[it->second] == SIZE_MAX) source[it->second] = s;
  }
  const int first = static_cast<int>(model.frames.size());
  for (size_t f = 0; f < smd.frames.size(); ++f) {
    std::vector<BonePose> frame(model.referencePose);
    for (size_t b = 0; b < bones; ++b) {
      const size_t s = source[b];
      if (s != SIZE_MAX && smd.firstGivenIn[s] <= f) frame[b] = smd.frames[f][s];
    }
    model.frames.push_back(std::move(frame));
  }
  model.animations.push_back({detail::AnimationNameOf(fileName), first, static_cast<int>(model.frames.size()) - 1, true});
  return true;
}

bool AppendMD2(const std::string& bytes, AnimatedModelData& model, std::string& why) {
  AnimatedModelData more;
  if (!detail::LoadMD2(bytes, more, why)) return false;
  const auto& objects = model.mesh.objects;
  bool same = more.mesh.objects.size() == objects.size();
  for (size_t o = 0; same && o < objects.size(); ++o)
    same = more.mesh.objects[o].positions.size() == objects[o].positions.size();
  if (!same) {
    why = "its vertices differ from the model's";
    return false;
  }
  size_t vertices = 0;
  for (const MeshObject& o : objects) vertices += o.positions.size();
  if ((model.morphPositions.size() + more.morphPositions.size()) * vertices * 6 > detail::kMaxAnimatedFloats) {
    why = "too many frames";
    return false;
  }
  const int offset = static_cast<int>(model.morphPositions.size());
  for (auto& f : more.morphPositions) model.morphPositions.push_back(std::move(f));
  for (auto& f : more.morphNormals) model.morphNormals.push_back(std::move(f));
  for (AnimationRange a : more.animations) {
    a.start += offset;
    a.end += offset;
    model.animations.push_back(std::move(a));
  }
  return true;
}

}  // namespace

int AnimatedModelData::FrameCount() const {
  return static_cast<int>(kind == Kind::Skeletal ? frames.size() : morphPositions.size());
}

bool IsAnimatedModelExtension(std::string_view fileName) {
  const std::string ext = LowerExtension(fileName);
  return ext == "smd" || ext == "md2" || ext == "gltf" || ext == "glb";
}

bool LoadAnimatedModel(std::string_view fileName, const std::string& bytes, AnimatedModelData& out,
                       std::string& error) {
  const std::string ext = LowerExtension(fileName);
  AnimatedModelData loaded;
  std::string why;
  bool ok = false;
  try {
    if (ext == "smd") {
      detail::SmdFile smd;
      ok = detail::ParseSMD(bytes, smd, why) && ModelFromSMD(fileName, smd, loaded, why);
    } else if (ext == "md2") {
      ok = detail::LoadMD2(bytes, loaded, why);
    } else if (ext == "gltf" || ext == "glb") {
      ok = detail::LoadAnimatedGLTF(fileName, bytes, loaded, why);
    } else {
      why = "unknown animated model format \"" + ext + "\"";
    }
  } catch (const std::bad_alloc&) {
    ok = false;
    why = "out of memory";
  }
  if (!ok) {
    error = "Unable to load model " + std::string(fileName) + ": " + why;
    return false;
  }
  out = std::move(loaded);
  return true;
}

bool AppendAnimationFile(std::string_view fileName, const std::string& bytes, AnimatedModelData& model,
                         std::string& error) {
  const std::string ext = LowerExtension(fileName);
  std::string why;
  bool ok = false;
  AnimatedModelData grown = model;  // the model stays as it was on a failure
  try {
    if (model.kind == AnimatedModelData::Kind::Skeletal && ext == "smd") ok = AppendSMD(fileName, bytes, grown, why);
    else if (model.kind == AnimatedModelData::Kind::Morph && ext == "md2") ok = AppendMD2(bytes, grown, why);
    else why = "a \"" + ext + "\" file cannot animate this model";
  } catch (const std::bad_alloc&) {
    ok = false;
    why = "out of memory";
  }
  if (!ok) {
    error = "Unable to load animation " + std::string(fileName) + ": " + why;
    return false;
  }
  model = std::move(grown);
  return true;
}

namespace detail {

std::string AnimationNameOf(std::string_view fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  return std::string(fileName.substr(0, fileName.find('.')));
}

void InterpolateBones(const AnimatedModelData& model, int a, int b, float t, std::vector<BonePose>& out) {
  const size_t n = model.bones.size();
  out.resize(n);
  const int frames = static_cast<int>(model.frames.size());
  if (a < 0 || a >= frames || b < 0 || b >= frames) {
    out = model.referencePose;
    out.resize(n);
    return;
  }
  const auto& fa = model.frames[static_cast<size_t>(a)];
  const auto& fb = model.frames[static_cast<size_t>(b)];
  for (size_t i = 0; i < n && i < fa.size() && i < fb.size(); ++i) {
    out[i].position = glm::mix(fa[i].position, fb[i].position, t);
    out[i].rotation = glm::slerp(fa[i].rotation, fb[i].rotation, t);
    out[i].scale = glm::mix(fa[i].scale, fb[i].scale, t);
  }
}

void BlendBones(const std::vector<BonePose>& from, const std::vector<BonePose>& to, float t,
                std::vector<BonePose>& out) {
  out.resize(to.size());
  for (size_t i = 0; i < to.size(); ++i) {
    if (i >= from.size()) {
      out[i] = to[i];
      continue;
    }
    out[i].position = glm::mix(from[i].position, to[i].position, t);
    out[i].rotation = glm::slerp(from[i].rotation, to[i].rotation, t);
    out[i].scale = glm::mix(from[i].scale, to[i].scale, t);
  }
}

void BoneMatrices(const AnimatedModelData& model, const std::vector<BonePose>& local, std::vector<glm::mat4>& out) {
  const size_t n = model.bones.size();
  out.assign(n, glm::mat4(1.0f));
  for (size_t i = 0; i < n && i < local.size(); ++i) {
    glm::mat4 m = glm::translate(glm::mat4(1.0f), local[i].position) * glm::mat4_cast(local[i].rotation);
    if (local[i].scale != glm::vec3(1.0f)) m = glm::scale(m, local[i].scale);
    const int p = model.bones[i].parent;
    out[i] = p >= 0 && static_cast<size_t>(p) < i ? out[static_cast<size_t>(p)] * m : m;
  }
}

void SkinMesh(const AnimatedModelData& model, const std::vector<glm::mat4>& skinMatrices, MeshData& posed) {
  for (size_t o = 0; o < posed.objects.size() && o < model.mesh.objects.size(); ++o) {
    const MeshObject& src = model.mesh.objects[o];
    MeshObject& dst = posed.objects[o];
    const size_t n = src.positions.size();
    dst.positions.resize(n);
    dst.normals.resize(n);
    const bool hasNormals = src.normals.size() == n;
    const std::vector<VertexSkin>* skins = o < model.skins.size() ? &model.skins[o] : nullptr;
    for (size_t i = 0; i < n; ++i) {
      glm::mat4 m(0.0f);
      bool any = false;
      if (skins && i < skins->size()) {
        const VertexSkin& s = (*skins)[i];
        for (int k = 0; k < 4; ++k)
          if (s.bone[k] >= 0 && static_cast<size_t>(s.bone[k]) < skinMatrices.size() && s.weight[k] != 0.0f) {
            m += skinMatrices[static_cast<size_t>(s.bone[k])] * s.weight[k];
            any = true;
          }
      }
      if (!any) m = glm::mat4(1.0f);
      dst.positions[i] = glm::vec3(m * glm::vec4(src.positions[i], 1.0f));
      if (hasNormals) {
        const glm::vec3 nn = glm::mat3(m) * src.normals[i];
        const float len = glm::length(nn);
        dst.normals[i] = len > 0.0f && std::isfinite(len) ? nn / len : src.normals[i];
      } else {
        dst.normals[i] = glm::vec3(0, 1, 0);
      }
    }
  }
}

void MorphMesh(const AnimatedModelData& model, int a, int b, float t, MeshData& posed) {
  const int frames = static_cast<int>(model.morphPositions.size());
  if (a < 0 || a >= frames || b < 0 || b >= frames) return;
  const auto& pa = model.morphPositions[static_cast<size_t>(a)];
  const auto& pb = model.morphPositions[static_cast<size_t>(b)];
  const auto& na = model.morphNormals[static_cast<size_t>(a)];
  const auto& nb = model.morphNormals[static_cast<size_t>(b)];
  for (size_t o = 0; o < posed.objects.size() && o < pa.size() && o < pb.size(); ++o) {
    MeshObject& dst = posed.objects[o];
    const size_t n = std::min(pa[o].size(), pb[o].size());
    dst.positions.resize(n);
    dst.normals.resize(n);
    const bool hasNormals = o < na.size() && o < nb.size() && na[o].size() >= n && nb[o].size() >= n;
    for (size_t i = 0; i < n; ++i) {
      dst.positions[i] = glm::mix(pa[o][i], pb[o][i], t);
      if (!hasNormals) continue;
      const glm::vec3 nn = glm::mix(na[o][i], nb[o][i], t);
      const float len = glm::length(nn);
      dst.normals[i] = len > 0.0f && std::isfinite(len) ? nn / len : na[o][i];
    }
  }
}

}  // namespace detail

}  // namespace kavo::scene
