// The animated mesh node: plays the frames of an animated model.
//
// The frame position is a double: its integer part is the frame shown, its
// fraction the way towards the next frame of the animation (the first one
// again after the last of a looping animation). Advance moves it by elapsed
// time / interval and queues the events of every frame it reaches. Bone
// matrices follow every change of the pose; posed vertices are made only
// when asked for and kept until the pose changes.
#include "scene/animatedmesh.h"

#include "core/errors.h"
#include "scene/animated_loaders.h"
#include "scene/fileaccess.h"
#include "scene/visitor.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kavo::scene {

void NodeVisitor::VisitAnimatedMesh(AnimatedMeshNode& n) { VisitStaticMesh(n); }

namespace {

constexpr double kBlendSeconds = 0.2;
// Past this many frames in one step, whole passes of a looping animation are
// skipped without their events.
constexpr double kMaxFramesPerStep = 10000.0;

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

struct AnimatedMeshNode::State {
  AnimatedModelData model;
  bool hasModel = false;
  int animation = -1;
  double position = 0.0;  // absolute frame and fraction
  int interval = 200;
  AnimationMode mode = AnimationMode::Loop;
  std::vector<AnimationEvent> events;
  const AnimatedMeshNode* master = nullptr;

  // A smooth switch: the pose shown when it began, and the time since.
  bool blending = false;
  double blendElapsed = 0.0;
  std::vector<BonePose> blendBones;
  std::vector<std::vector<glm::vec3>> blendPositions, blendNormals;

  // The pose shown: local bone poses and model-space bone matrices.
  std::vector<BonePose> local;
  std::vector<glm::mat4> boneMatrices;
  std::vector<glm::mat4> inverseReference;

  mutable MeshData posed;  // shaped like the node's data
  mutable bool posedValid = false;
  mutable size_t posings = 0;

  struct Range {
    int start = 0, end = 0;
    bool loop = true;
  };
  // The frames being played: the animation's, or all of them before any switch.
  Range Playing() const {
    Range r;
    const int count = model.FrameCount();
    r.end = std::max(count - 1, 0);
    if (animation >= 0 && animation < static_cast<int>(model.animations.size())) {
      const AnimationRange& a = model.animations[static_cast<size_t>(animation)];
      r.end = std::clamp(a.end, 0, r.end);
      r.start = std::clamp(a.start, 0, r.end);
      r.loop = a.loop;
    }
    return r;
  }
  std::string PlayingName() const {
    return animation >= 0 && animation < static_cast<int>(model.animations.size())
               ? model.animations[static_cast<size_t>(animation)].name
               : std::string();
  }
  // The two frames shown and the weight of the second.
  void Frames(int& a, int& b, float& t) const {
    const Range r = Playing();
    a = static_cast<int>(std::floor(position));
    t = static_cast<float>(position - a);
    if (a < r.start || a > r.end) b = a;
    else if (a < r.end) b = a + 1;
    else b = r.loop ? r.start : a;
    if (b == a) t = 0.0f;
  }
  float BlendWeight() const { return blending ? static_cast<float>(blendElapsed / kBlendSeconds) : 1.0f; }

  void UpdatePose() {
    posedValid = false;
    if (!hasModel || model.kind != AnimatedModelData::Kind::Skeletal) return;
    int a, b;
    float t;
    Frames(a, b, t);
    detail::InterpolateBones(model, a, b, t, local);
    if (blending) {
      std::vector<BonePose> target;
      target.swap(local);
      detail::BlendBones(blendBones, target, BlendWeight(), local);
    }
    detail::BoneMatrices(model, local, boneMatrices);
  }

  void Queue(AnimationEvent::Kind kind, int frame) { events.push_back({kind, frame, PlayingName()}); }

  void Step(double frames) {
    const Range r = Playing();
    const double len = r.end - r.start + 1;
    if (position < r.start || position >= r.end + (r.loop ? 1.0 : 0.0)) {
      if (!r.loop && position == r.end) return;  // a once-only animation that ended stays there
      position = r.start;
    }
    const double from = position - r.start;
    double to = from + frames;
    // Sums of small steps land next to a frame; they count as on it.
    const double nearest = std::round(to);
    if (std::fabs(to - nearest) < 1e-9) to = nearest;
    if (!r.loop) {
      const double last = r.end - r.start;
      to = std::min(to, last);
      // A long once-only animation reports the last frames of a long step.
      const double first = std::max(std::floor(from) + 1, std::floor(to) - kMaxFramesPerStep + 1);
      for (double m = first; m <= std::floor(to); ++m) {
        Queue(AnimationEvent::Kind::FrameChange, r.start + static_cast<int>(m));
        if (m == last) Queue(AnimationEvent::Kind::End, r.end);
      }
      position = r.start + to;
      return;
    }
    const double toFloor = std::floor(to);
    const double passed = toFloor - std::floor(from);
    double report = passed;
    if (passed > kMaxFramesPerStep) {
      // Whole passes beyond the bound are skipped: what is reported ends
      // where the step ends. A pass longer than the bound reports its last
      // frames only.
      const double rest = std::fmod(passed, len);
      report = rest <= kMaxFramesPerStep ? std::floor((kMaxFramesPerStep - rest) / len) * len + rest
                                         : kMaxFramesPerStep;
    }
    double index = std::fmod(std::fmod(toFloor - report + 1, len) + len, len);
    for (double i = 0; i < report; ++i) {
      const int frame = r.start + static_cast<int>(index);
      Queue(AnimationEvent::Kind::FrameChange, frame);
      if (frame == r.end) Queue(AnimationEvent::Kind::End, frame);
      index = index + 1 == len ? 0 : index + 1;
    }
    position = r.start + std::fmod(to, len);
  }
};

AnimatedMeshNode::AnimatedMeshNode(std::string name) : StaticMeshNode(std::move(name)), s_(std::make_unique<State>()) {}
AnimatedMeshNode::~AnimatedMeshNode() = default;

void AnimatedMeshNode::LoadAnimatedFromFile(const std::string& fileName) {
  std::string bytes;
  if (!OpenSceneFile(fileName, bytes)) throw EKavoError(fileName, kErrModelFile);
  LoadAnimatedFromBytes(fileName, bytes);
}

void AnimatedMeshNode::LoadAnimatedFromBytes(const std::string& fileName, const std::string& bytes) {
  AnimatedModelData loaded;
  std::string error;
  if (!LoadAnimatedModel(fileName, bytes, loaded, error)) throw EKavoError(error, kErrUnnumbered);
  AdoptModel(fileName, loaded.mesh);  // materials into the library; raises with the node unchanged

  State& s = *s_;
  s.model = std::move(loaded);
  s.hasModel = true;
  s.animation = -1;
  s.position = 0.0;
  s.blending = false;
  s.events.clear();
  s.inverseReference.clear();
  if (s.model.kind == AnimatedModelData::Kind::Skeletal && s.model.inverseBind.size() == s.model.bones.size() &&
      !s.model.bones.empty()) {
    s.inverseReference = s.model.inverseBind;
  } else if (s.model.kind == AnimatedModelData::Kind::Skeletal) {
    std::vector<glm::mat4> reference;
    detail::BoneMatrices(s.model, s.model.referencePose, reference);
    for (const glm::mat4& m : reference) s.inverseReference.push_back(glm::inverse(m));
  }
  s.posed = Data();
  s.UpdatePose();
}

bool AnimatedMeshNode::HasModel() const { return s_->hasModel; }

void AnimatedMeshNode::ClearModel() {
  const AnimationMode mode = s_->mode;
  const int interval = s_->interval;
  s_ = std::make_unique<State>();
  s_->mode = mode;
  s_->interval = interval;
  Clear();
}
const AnimatedModelData& AnimatedMeshNode::Model() const { return s_->model; }

void AnimatedMeshNode::AddAnimationFromBytes(const std::string& fileName, const std::string& bytes) {
  if (!s_->hasModel) throw EKavoError("Unable to load animation " + fileName + ": the node has no model");
  std::string error;
  if (!AppendAnimationFile(fileName, bytes, s_->model, error)) throw EKavoError(error);
}

void AnimatedMeshNode::LoadAnimationList(const std::string& fileName, std::string_view text) {
  std::vector<AnimationRange> list;
  std::string error;
  if (!ParseAnimationList(fileName, text, list, error)) throw EKavoError(error);
  const int count = FrameCount();
  for (const AnimationRange& a : list)
    if (a.end >= count)
      throw EKavoError(fileName + ": animation \"" + a.name + "\" ends after the model's last frame (" +
                       std::to_string(count - 1) + ")");
  // The animation playing goes on under its name if the list has it.
  const std::string playing = s_->PlayingName();
  s_->model.animations = std::move(list);
  s_->animation = playing.empty() ? -1 : FindAnimation(playing);
  s_->UpdatePose();
}

const std::vector<AnimationRange>& AnimatedMeshNode::Animations() const { return s_->model.animations; }

int AnimatedMeshNode::FindAnimation(std::string_view name) const {
  const auto& list = s_->model.animations;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].name == name) return static_cast<int>(i);
  for (size_t i = 0; i < list.size(); ++i)
    if (SameNoCase(list[i].name, name)) return static_cast<int>(i);
  return -1;
}

bool AnimatedMeshNode::SwitchTo(std::string_view name, bool smooth) {
  const int index = FindAnimation(name);
  if (index < 0 || !s_->hasModel) return false;
  State& s = *s_;
  s.blending = false;
  if (smooth) {
    // Start from the pose shown now, whatever it is made of.
    if (s.model.kind == AnimatedModelData::Kind::Skeletal) {
      s.blendBones = s.local;
    } else {
      const MeshData& shown = PosedMesh();
      s.blendPositions.clear();
      s.blendNormals.clear();
      for (const MeshObject& o : shown.objects) {
        s.blendPositions.push_back(o.positions);
        s.blendNormals.push_back(o.normals);
      }
    }
    s.blending = true;
    s.blendElapsed = 0.0;
  }
  s.animation = index;
  s.position = s.Playing().start;
  s.UpdatePose();
  return true;
}

int AnimatedMeshNode::PlayingAnimation() const { return s_->animation; }

int AnimatedMeshNode::CurrentFrame() const { return static_cast<int>(std::floor(s_->position)); }
float AnimatedMeshNode::FrameFraction() const {
  return static_cast<float>(s_->position - std::floor(s_->position));
}

void AnimatedMeshNode::SetCurrentFrame(int frame) {
  if (frame < 0 || frame >= FrameCount()) return;
  s_->position = frame;
  s_->UpdatePose();
}

int AnimatedMeshNode::FrameCount() const { return s_->hasModel ? s_->model.FrameCount() : 0; }

int AnimatedMeshNode::Interval() const { return s_->interval; }
void AnimatedMeshNode::SetInterval(int ms) { s_->interval = std::max(ms, 1); }
AnimationMode AnimatedMeshNode::Mode() const { return s_->mode; }
void AnimatedMeshNode::SetMode(AnimationMode mode) { s_->mode = mode; }

void AnimatedMeshNode::Advance(double seconds) {
  State& s = *s_;
  if (!s.hasModel || !(seconds > 0.0) || !std::isfinite(seconds) || FrameCount() == 0) return;
  if (s.blending) {
    s.blendElapsed += seconds;
    if (s.blendElapsed >= kBlendSeconds) s.blending = false;
  }
  if (s.master) {
    SyncWithMaster();
    return;
  }
  if (s.mode == AnimationMode::Loop) s.Step(seconds * 1000.0 / s.interval);
  s.UpdatePose();
}

std::vector<AnimationEvent> AnimatedMeshNode::TakeEvents() {
  std::vector<AnimationEvent> out;
  out.swap(s_->events);
  return out;
}

void AnimatedMeshNode::FollowFramesOf(const AnimatedMeshNode* master) { s_->master = master == this ? nullptr : master; }

void AnimatedMeshNode::SyncWithMaster() {
  State& s = *s_;
  const AnimatedMeshNode* m = s.master;
  if (!m) return;
  const int animation = m->s_->animation;
  s.animation = animation < static_cast<int>(s.model.animations.size()) ? animation : -1;
  if (m->s_->position >= 0.0 && m->s_->position < FrameCount()) s.position = m->s_->position;
  s.interval = m->s_->interval;
  s.UpdatePose();
}

int AnimatedMeshNode::BoneIndex(std::string_view name) const {
  const auto& bones = s_->model.bones;
  for (size_t i = 0; i < bones.size(); ++i)
    if (bones[i].name == name) return static_cast<int>(i);
  for (size_t i = 0; i < bones.size(); ++i)
    if (SameNoCase(bones[i].name, name)) return static_cast<int>(i);
  return -1;
}

glm::mat4 AnimatedMeshNode::BoneMatrix(int bone) const {
  if (bone < 0 || static_cast<size_t>(bone) >= s_->boneMatrices.size()) return glm::mat4(1.0f);
  return s_->boneMatrices[static_cast<size_t>(bone)];
}

const MeshData& AnimatedMeshNode::PosedMesh() const {
  State& s = *s_;
  if (!s.hasModel) return Data();
  if (s.posedValid) return s.posed;
  ++s.posings;
  if (s.model.kind == AnimatedModelData::Kind::Skeletal) {
    std::vector<glm::mat4> skin(s.boneMatrices.size());
    for (size_t b = 0; b < skin.size() && b < s.inverseReference.size(); ++b)
      skin[b] = s.boneMatrices[b] * s.inverseReference[b];
    detail::SkinMesh(s.model, skin, s.posed);
  } else {
    int a, b;
    float t;
    s.Frames(a, b, t);
    detail::MorphMesh(s.model, a, b, t, s.posed);
    if (s.blending) {
      const float w = s.BlendWeight();
      for (size_t o = 0; o < s.posed.objects.size() && o < s.blendPositions.size(); ++o) {
        MeshObject& obj = s.posed.objects[o];
        for (size_t i = 0; i < obj.positions.size() && i < s.blendPositions[o].size(); ++i)
          obj.positions[i] = glm::mix(s.blendPositions[o][i], obj.positions[i], w);
        for (size_t i = 0; i < obj.normals.size() && i < s.blendNormals[o].size(); ++i) {
          const glm::vec3 n = glm::mix(s.blendNormals[o][i], obj.normals[i], w);
          const float len = glm::length(n);
          if (len > 0.0f && std::isfinite(len)) obj.normals[i] = n / len;
        }
      }
    }
  }
  s.posedValid = true;
  return s.posed;
}

size_t AnimatedMeshNode::PosingCount() const { return s_->posings; }

std::optional<RayHit> AnimatedMeshNode::RayIntersectPosed(const Ray& absoluteRay) const {
  const glm::mat4 toWorld = AbsoluteMatrix();
  const float det = glm::determinant(toWorld);
  if (!(std::fabs(det) > 0.0f) || !std::isfinite(det)) return std::nullopt;
  const glm::mat4 toModel = glm::inverse(toWorld);
  const glm::vec3 origin = glm::vec3(toModel * glm::vec4(absoluteRay.origin, 1.0f));
  const glm::vec3 direction = glm::mat3(toModel) * absoluteRay.direction;
  WatertightRay ray(origin, direction);
  if (!ray.Valid()) return std::nullopt;

  const MeshData& mesh = PosedMesh();
  float best = INFINITY;
  glm::vec3 bestPoint(0.0f), bestNormal(0.0f);
  for (const MeshObject& obj : mesh.objects) {
    const size_t n = obj.positions.size();
    auto test = [&](uint32_t a, uint32_t b, uint32_t c) {
      if (a >= n || b >= n || c >= n) return;
      float t;
      glm::vec3 p;
      const glm::vec3 &pa = obj.positions[a], &pb = obj.positions[b], &pc = obj.positions[c];
      if (ray.Hit(pa, pb, pc, t, p) && t < best) {
        best = t;
        bestPoint = p;
        bestNormal = glm::cross(pb - pa, pc - pa);
      }
    };
    if (!obj.fileTriangles.empty()) {
      for (size_t k = 0; k + 2 < obj.fileTriangles.size(); k += 3)
        test(obj.fileTriangles[k], obj.fileTriangles[k + 1], obj.fileTriangles[k + 2]);
    } else {
      for (const FaceGroup& g : obj.faceGroups)
        for (size_t k = 0; k + 2 < g.indices.size(); k += 3) test(g.indices[k], g.indices[k + 1], g.indices[k + 2]);
    }
  }
  if (!std::isfinite(best)) return std::nullopt;
  RayHit hit;
  hit.point = glm::vec3(toWorld * glm::vec4(bestPoint, 1.0f));
  hit.distance = glm::length(hit.point - absoluteRay.origin);
  glm::vec3 normal = glm::transpose(glm::mat3(toModel)) * bestNormal;
  const float len = glm::length(normal);
  normal = len > 0.0f && std::isfinite(len) ? normal / len : -absoluteRay.direction;
  if (glm::dot(normal, absoluteRay.direction) > 0.0f) normal = -normal;
  hit.normal = normal;
  return hit;
}

void AnimatedMeshNode::Accept(NodeVisitor& v) { v.VisitAnimatedMesh(*this); }

}  // namespace kavo::scene
