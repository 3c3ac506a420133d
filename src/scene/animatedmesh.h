// Animated models and the animated mesh node.
//
// An animated model is a mesh with a list of frames: skeletal models (SMD,
// skinned glTF) keep one pose of every bone per frame and skin the mesh to
// it; morph models (MD2) keep every vertex position per frame. Named
// animations are ranges of frames. The node plays one animation at a time:
// it advances by the frame clock, interpolates linearly between frames,
// blends smoothly (0.2 s) from the pose shown when asked to, and queues a
// notification for every frame it passes and for the last frame of every
// pass; the owner takes the queue after the scene advanced and delivers it.
//
// Posed vertices are made only when something needs them (drawing, picking,
// shadows); bone matrices are made on every advance.
#pragma once

#include "scene/staticmesh.h"

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavo::scene {

// ---------------------------------------------------------------- model data

struct Bone {
  std::string name;
  int parent = -1;  // index of an earlier bone, -1 for a root
};

// A bone's transform relative to its parent: scaled, then turned, then moved.
struct BonePose {
  glm::vec3 position{0.0f};
  glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
  glm::vec3 scale{1.0f};
};

// Up to four bones move one vertex; weights sum to 1 (unused slots: bone -1).
struct VertexSkin {
  int bone[4] = {-1, -1, -1, -1};
  float weight[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

struct AnimationRange {
  std::string name;
  int start = 0;  // first frame, absolute
  int end = 0;    // last frame, absolute (>= start)
  bool loop = true;
};

struct AnimatedModelData {
  enum class Kind { Skeletal, Morph };
  Kind kind = Kind::Skeletal;
  // The mesh in its reference pose (skeletal) or at frame 0 (morph), with
  // its materials; textures are looked up like a static model's.
  MeshData mesh;
  // Skeletal: bones, the reference pose, one skin per vertex of each mesh
  // object (skins[object][vertex]), and one pose per bone for every frame.
  std::vector<Bone> bones;
  std::vector<BonePose> referencePose;
  std::vector<std::vector<VertexSkin>> skins;
  std::vector<std::vector<BonePose>> frames;
  // Skeletal, optional: per bone, the matrix taking model space to the
  // bone's space in the pose the mesh was bound in. Empty: the inverse of
  // the bone's model-space matrix in the reference pose (SMD).
  std::vector<glm::mat4> inverseBind;
  // Morph: for every frame, the positions and normals of every mesh
  // object's vertices (morphPositions[frame][object][vertex]).
  std::vector<std::vector<std::vector<glm::vec3>>> morphPositions;
  std::vector<std::vector<std::vector<glm::vec3>>> morphNormals;
  std::vector<AnimationRange> animations;

  int FrameCount() const;
};

// Readers (bounded: every count is checked against the bytes before use;
// errors name the file and the reason). The format comes from the file
// name's extension: ".smd", ".md2", ".gltf" or ".glb". A glTF file with a
// skinned mesh becomes a skeletal model (frame 0 the rest pose, then every
// animation sampled at 30 frames a second); one without a skin becomes a
// morph model of one frame.
bool LoadAnimatedModel(std::string_view fileName, const std::string& bytes, AnimatedModelData& out,
                       std::string& error);
bool IsAnimatedModelExtension(std::string_view fileName);
// Frames of an animation file to add to a loaded model: an SMD with a
// skeleton section only (bones matched to the model's by name; unknown bones
// ignored), appended after the model's frames as one animation named after
// the file name up to its first ".", looping. A morph model takes the
// frames of another MD2 with the same vertex count.
bool AppendAnimationFile(std::string_view fileName, const std::string& bytes, AnimatedModelData& model,
                         std::string& error);

// ".aaf" animation lists: text, one "name start end [loop|once]" a line,
// "#" starts a comment, blank lines allowed. On a bad line: false, with an
// error naming the file and the line number; `out` is untouched then.
bool ParseAnimationList(std::string_view fileName, std::string_view text, std::vector<AnimationRange>& out,
                        std::string& error);
std::string WriteAnimationList(const std::vector<AnimationRange>& list);

// ---------------------------------------------------------------- the node

enum class AnimationMode { None, Loop };

struct AnimationEvent {
  enum class Kind { FrameChange, End };
  Kind kind = Kind::FrameChange;
  int frame = 0;             // the absolute frame reached
  std::string animation;     // the animation playing then
};

class AnimatedMeshNode : public StaticMeshNode {
 public:
  explicit AnimatedMeshNode(std::string name = {});
  ~AnimatedMeshNode() override;

  // Load through the scene file access, or from bytes. Raise EKavoError
  // (model-file number for a missing file, the reader's reason otherwise);
  // on failure the node keeps what it had.
  void LoadAnimatedFromFile(const std::string& fileName);
  void LoadAnimatedFromBytes(const std::string& fileName, const std::string& bytes);
  bool HasModel() const;
  const AnimatedModelData& Model() const;
  // Drops the model: no mesh, frames, bones or animations (the mode stays).
  void ClearModel();

  // Adds an animation file's frames (see AppendAnimationFile); raises
  // EKavoError naming the file and the reason.
  void AddAnimationFromBytes(const std::string& fileName, const std::string& bytes);
  // Replaces the animation list from ".aaf" text; raises EKavoError naming
  // file and line and leaves the list as it was.
  void LoadAnimationList(const std::string& fileName, std::string_view text);

  const std::vector<AnimationRange>& Animations() const;
  int FindAnimation(std::string_view name) const;  // -1 when none
  // Switches to the named animation at its first frame, at once or blended
  // over 0.2 s from the pose shown. An unknown name changes nothing (false).
  bool SwitchTo(std::string_view name, bool smooth);
  // Index of the animation being played (-1 before any switch).
  int PlayingAnimation() const;

  // Absolute frame shown (the integer part) and the fraction towards the
  // next frame. SetCurrentFrame outside [0, FrameCount) changes nothing.
  int CurrentFrame() const;
  float FrameFraction() const;
  void SetCurrentFrame(int frame);
  int FrameCount() const;

  int Interval() const;  // ms per frame
  void SetInterval(int ms);  // values below 1 count as 1
  AnimationMode Mode() const;
  void SetMode(AnimationMode mode);

  // Moves the animation on by `seconds` (mode Loop only): every frame passed
  // queues a FrameChange event (none skipped however long the step), and
  // the last frame of the animation queues an End event on each pass; a
  // looping animation starts over, a once-only animation stays on its last
  // frame. Recomputes the bone matrices.
  void Advance(double seconds);
  // Hands over and clears the queued events.
  std::vector<AnimationEvent> TakeEvents();

  // Keeps this node on the frame (and animation) of another; the other
  // node must outlive the link or be unlinked (nullptr).
  void FollowFramesOf(const AnimatedMeshNode* master);
  void SyncWithMaster();

  // Bones: index by name (-1 when none) and the model-space matrix of the
  // pose shown.
  int BoneIndex(std::string_view name) const;
  glm::mat4 BoneMatrix(int bone) const;

  // Posed vertices of the pose shown (made on demand, cached until the pose
  // changes).
  const MeshData& PosedMesh() const;
  // How often the posed vertices were made (each pose change drawn or
  // picked makes them once).
  size_t PosingCount() const;
  // Nearest hit against the posed model (absolute ray, absolute answer).
  std::optional<RayHit> RayIntersectPosed(const Ray& absoluteRay) const;

  void Accept(NodeVisitor& v) override;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace kavo::scene
