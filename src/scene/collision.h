// The collision manager of the scene layer. It owns the collision bodies
// the world registers: static triangle bodies now (a room's walk area, meshes
// with collisions switched on), dynamic bodies (the actors' spheres that
// slide over the walk area) later. The frame loop advances it by hand with
// Step(delta). Static bodies keep their triangles in world coordinates in an
// octree; the sphere sweep and slide below are what dynamic bodies will be
// moved with.
#pragma once

#include "scene/geometry.h"
#include "scene/meshdata.h"

#include <glm/glm.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kavo::scene {

using BodyId = uint32_t;
constexpr BodyId kNoBody = 0;

// Surface behaviour of a static body. Bodies meet only bodies of the same
// layer (0 to 31).
struct StaticBodyDesc {
  float bounce = 0.5f;
  float friction = 10.0f;
  int layer = 0;
  bool solid = true;  // a non-solid body reports nothing
  bool active = true;
};

// The two kinds of static body the engine makes.
inline StaticBodyDesc WalkAreaBody() { return {0.5f, 10.0f, 0, true, true}; }
inline StaticBodyDesc MeshCollisionBody() { return {10.0f, 0.0f, 0, true, true}; }

// A layer set for queries: bit n stands for layer n.
constexpr uint32_t kAllLayers = 0xFFFFFFFFu;
constexpr uint32_t LayerBit(int layer) { return 1u << (uint32_t(layer) & 31u); }

// First contact of a moving sphere with a static body.
struct SweepHit {
  float fraction = 0.0f;      // part of the displacement travelled before contact, 0 to 1
  glm::vec3 centre{0.0f};     // the sphere's centre at contact
  glm::vec3 point{0.0f};      // the touching point of the triangle
  glm::vec3 normal{0.0f};     // unit, from the touching point towards the centre
  float penetration = 0.0f;   // > 0 when the sphere overlapped the triangle already at the start
  BodyId body = kNoBody;
  uint32_t triangle = 0;      // index in the body's triangle list
};

// Earliest contact of a sphere (centre, radius) moving by `displacement`
// with one triangle, both faces counting; nothing when it stays clear.
std::optional<SweepHit> SweepSphereTriangle(const glm::vec3& centre, float radius, const glm::vec3& displacement,
                                            const glm::vec3& a, const glm::vec3& b, const glm::vec3& c);

class CollisionManager {
 public:
  static constexpr float kDefaultGravity = -300.0f;

  float Gravity() const { return gravity_; }
  void SetGravity(float g) { gravity_ = g; }
  // Size of one world unit for the bodies (1 = the scene's units).
  float WorldScale() const { return worldScale_; }
  void SetWorldScale(float s) { worldScale_ = s; }
  // Factor on the movement of dynamic bodies per step.
  float MovementScale() const { return movementScale_; }
  void SetMovementScale(float s) { movementScale_ = s; }

  // A static body whose shape is the model's triangles placed by
  // `transform` (model to world, e.g. the node's absolute matrix).
  BodyId AddStaticBody(const MeshData& shape, const glm::mat4& transform, const StaticBodyDesc& desc,
                       int octreeDepth = 3);
  // The same from a vertex list in model coordinates, three per triangle.
  BodyId AddStaticBody(std::vector<glm::vec3> triangles, const glm::mat4& transform, const StaticBodyDesc& desc,
                       int octreeDepth = 3);
  bool RemoveBody(BodyId id);
  void Clear();
  bool HasBody(BodyId id) const { return Find(id) != nullptr; }
  size_t BodyCount() const { return bodies_.size(); }
  // Moves a body (its node moved): its triangles are placed again.
  bool SetBodyTransform(BodyId id, const glm::mat4& transform);
  bool SetActive(BodyId id, bool active);
  bool IsActive(BodyId id) const;
  // The body's settings, or null when there is no such body.
  const StaticBodyDesc* Desc(BodyId id) const;
  bool SetDesc(BodyId id, const StaticBodyDesc& desc);

  // Advances the simulation by `delta` seconds. Static bodies do not move;
  // dynamic bodies will be integrated here (gravity, movement scale).
  void Step(double delta);
  double Time() const { return time_; }
  uint64_t Steps() const { return steps_; }

  // Queries against the active solid static bodies on the given layers.
  std::optional<SweepHit> SweepSphere(const glm::vec3& centre, float radius, const glm::vec3& displacement,
                                      uint32_t layers = kAllLayers) const;
  // Moves a sphere by `displacement`, sliding along what it touches (at most
  // `maxContacts` contacts). Returns the final centre; `touched` (if given)
  // tells whether anything was met.
  glm::vec3 SlideSphere(const glm::vec3& centre, float radius, const glm::vec3& displacement,
                        uint32_t layers = kAllLayers, int maxContacts = 4, bool* touched = nullptr) const;
  std::optional<RayHit> CastRay(const Ray& ray, float maxDistance, uint32_t layers = kAllLayers,
                                BodyId* body = nullptr) const;

  // Small gap kept between a sliding sphere and the surfaces it touches.
  static constexpr float kSkin = 1e-3f;

 private:
  struct StaticBody {
    BodyId id = kNoBody;
    StaticBodyDesc desc;
    std::vector<glm::vec3> modelTriangles;
    glm::mat4 transform{1.0f};
    int depth = 3;
    TriangleOctree octree;  // world coordinates
  };
  StaticBody* Find(BodyId id);
  const StaticBody* Find(BodyId id) const;
  static void Place(StaticBody& body);
  bool Queried(const StaticBody& body, uint32_t layers) const;

  float gravity_ = kDefaultGravity;
  float worldScale_ = 1.0f;
  float movementScale_ = 1.0f;
  double time_ = 0.0;
  uint64_t steps_ = 0;
  BodyId nextId_ = 1;
  std::vector<std::unique_ptr<StaticBody>> bodies_;
};

}  // namespace kavo::scene
