// Private to the animated models: the per-format readers behind
// LoadAnimatedModel and AppendAnimationFile, and the posing arithmetic the
// node uses (kept apart from the node so the readers' fuzz targets can pose
// what they loaded without a scene).
#pragma once

#include "scene/animatedmesh.h"

#include <string>
#include <string_view>
#include <vector>

namespace kavo::scene::detail {

// Past this many floats of frame data (bone poses or morph vertices) or of
// vertex data a model file is refused.
constexpr size_t kMaxAnimatedFloats = size_t(64) << 20;

// The file name without its folders, up to its first "." ("a/walk.x.smd" ->
// "walk").
std::string AnimationNameOf(std::string_view fileName);

// Valve studiomdl text. `why` gets "line N: reason" on a failure.
struct SmdFile {
  std::vector<Bone> bones;
  std::vector<std::vector<BonePose>> frames;  // every bone in every frame
  std::vector<size_t> firstGivenIn;  // per bone: the first frame naming it (SIZE_MAX: none)
  bool hasTriangles = false;
  MeshData mesh;                           // one object, a face group per material
  std::vector<VertexSkin> skin;            // one per vertex of the object
};
bool ParseSMD(const std::string& bytes, SmdFile& out, std::string& why);

// Quake II binary models: one morph model, its animations from the frame names.
bool LoadMD2(const std::string& bytes, AnimatedModelData& out, std::string& why);

// glTF 2.0 (.gltf text or .glb): the skinned mesh as a skeletal model, or
// every mesh as a morph model of one frame when the file has no skin.
// External buffers are read beside the model through the scene's file access.
bool LoadAnimatedGLTF(std::string_view fileName, const std::string& bytes, AnimatedModelData& out, std::string& why);

// ---- posing

// The local pose of every bone between frames `a` and `b` (t in [0, 1]).
void InterpolateBones(const AnimatedModelData& model, int a, int b, float t, std::vector<BonePose>& out);
// Blends two local poses (t = 0: from, 1: to).
void BlendBones(const std::vector<BonePose>& from, const std::vector<BonePose>& to, float t,
                std::vector<BonePose>& out);
// Model-space matrices of every bone for a local pose (parents come first).
void BoneMatrices(const AnimatedModelData& model, const std::vector<BonePose>& local, std::vector<glm::mat4>& out);
// Skins the model's reference mesh: `skinMatrices[b]` = pose matrix of bone b
// times the inverse of its reference matrix. Writes positions and normals of
// every object of `posed` (which has the model mesh's shape).
void SkinMesh(const AnimatedModelData& model, const std::vector<glm::mat4>& skinMatrices, MeshData& posed);
// Morph models: positions and normals between frames `a` and `b`.
void MorphMesh(const AnimatedModelData& model, int a, int b, float t, MeshData& posed);

}  // namespace kavo::scene::detail
