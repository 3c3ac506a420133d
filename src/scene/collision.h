// The collision manager of the scene layer. It owns the collision bodies
// the world registers: static triangle bodies (a room's walk area, meshes
// with collisions switched on) and dynamic bodies (the actors' ellipsoids
// that slide over the walk area under gravity). The frame loop advances it
// by hand with Step(delta). Static bodies keep their triangles in world
// coordinates in an octree; dynamic bodies move by sweeping their ellipsoid
// against them and against each other.
#pragma once

#include "scene/geometry.h"
#include "scene/meshdata.h"

#include <glm/glm.hpp>

#include <cstdint>
#include <functional>
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
  int tag = 0;              // handed to collision callbacks
  void* user = nullptr;     // the owner's object, handed to collision callbacks
};

// A moving body: an ellipsoid with radii `size` along the world axes.
struct DynamicBodyDesc {
  glm::vec3 size{1.0f};
  float bounce = 0.0f;    // part of the speed into a surface kept as rebound (times the surface's bounce)
  float friction = 0.7f;  // ground friction (times the surface's friction), per second
  int layer = 0;
  bool solid = true;
  bool useGravity = true;
  bool slide = true;      // slide along what it touches, or stop there
  bool active = true;
  int tag = 0;
  void* user = nullptr;
};

// One contact of a dynamic body during a step, as its callback receives it.
struct CollisionContact {
  BodyId self = kNoBody;
  BodyId other = kNoBody;
  bool otherDynamic = false;
  int otherTag = 0;
  void* otherUser = nullptr;
  glm::vec3 point{0.0f};
  glm::vec3 normal{0.0f};  // from the other body towards this one
};
using CollisionCallback = std::function<void(const CollisionContact&)>;

// The two kinds of static body the engine makes.
inline StaticBodyDesc WalkAreaBody() {
  StaticBodyDesc d;
  d.bounce = 0.5f;
  d.friction = 10.0f;
  return d;
}
inline StaticBodyDesc MeshCollisionBody() {
  StaticBodyDesc d;
  d.bounce = 10.0f;
  d.friction = 0.0f;
  return d;
}

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

  // Ids are shared by static and dynamic bodies; RemoveBody, SetActive and
  // IsActive take either kind.
  // A static body whose shape is the model's triangles placed by
  // `transform` (model to world, e.g. the node's absolute matrix).
  BodyId AddStaticBody(const MeshData& shape, const glm::mat4& transform, const StaticBodyDesc& desc,
                       int octreeDepth = 3);
  // The same from a vertex list in model coordinates, three per triangle.
  BodyId AddStaticBody(std::vector<glm::vec3> triangles, const glm::mat4& transform, const StaticBodyDesc& desc,
                       int octreeDepth = 3);
  bool RemoveBody(BodyId id);
  void Clear();
  bool HasBody(BodyId id) const { return Find(id) != nullptr || FindDynamic(id) != nullptr; }
  size_t BodyCount() const { return bodies_.size() + dynamic_.size(); }
  // Moves a body (its node moved): its triangles are placed again.
  bool SetBodyTransform(BodyId id, const glm::mat4& transform);
  bool SetActive(BodyId id, bool active);
  bool IsActive(BodyId id) const;
  // The body's settings, or null when there is no such body.
  const StaticBodyDesc* Desc(BodyId id) const;
  bool SetDesc(BodyId id, const StaticBodyDesc& desc);

  // A dynamic body with its centre at `centre` (world coordinates).
  BodyId AddDynamicBody(const glm::vec3& centre, const DynamicBodyDesc& desc);
  bool IsDynamic(BodyId id) const { return FindDynamic(id) != nullptr; }
  const DynamicBodyDesc* DynamicDesc(BodyId id) const;
  bool SetDynamicDesc(BodyId id, const DynamicBodyDesc& desc);
  glm::vec3 Position(BodyId id) const;
  bool SetPosition(BodyId id, const glm::vec3& centre);
  glm::vec3 Velocity(BodyId id) const;
  bool SetVelocity(BodyId id, const glm::vec3& velocity);
  // The body's own axes in world terms (columns x, y, z), for its own-frame
  // acceleration; the owner keeps them in step with its node's turning.
  bool SetOrientation(BodyId id, const glm::mat3& axes);
  // Accelerations that last for the next step only.
  bool AddOwnAcceleration(BodyId id, const glm::vec3& a);
  bool AddAbsoluteAcceleration(BodyId id, const glm::vec3& a);
  bool ResetAbsoluteAcceleration(BodyId id);
  glm::vec3 AbsoluteAcceleration(BodyId id) const;
  // Rises `height` units at `speed` units per second, then falls. Ignored
  // (false) while jumping or when not resting on ground.
  bool Jump(BodyId id, float height, float speed);
  bool OnGround(BodyId id) const;
  bool Jumping(BodyId id) const;
  bool SetCallback(BodyId id, CollisionCallback callback);

  // Advances the simulation by `delta` seconds: each active dynamic body
  // gets its accelerations and gravity, ground friction, then moves by its
  // velocity times the movement scale, sliding along static and other
  // dynamic bodies of its layer. Callbacks run after every body has moved.
  void Step(double delta);
  double Time() const { return time_; }
  uint64_t Steps() const { return steps_; }

  // Queries against the active solid static bodies on the given layers
  // (dynamic bodies are not obstacles here).
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
  struct DynamicBody {
    BodyId id = kNoBody;
    DynamicBodyDesc desc;
    glm::vec3 centre{0.0f};
    glm::vec3 velocity{0.0f};
    glm::mat3 axes{1.0f};
    glm::vec3 ownAcceleration{0.0f};
    glm::vec3 absAcceleration{0.0f};
    bool onGround = false;
    float groundFriction = 1.0f;
    bool rising = false;   // first part of a jump
    bool jumping = false;  // until it lands again
    float jumpTop = 0.0f;
    float jumpSpeed = 0.0f;
    CollisionCallback callback;
  };
  StaticBody* Find(BodyId id);
  const StaticBody* Find(BodyId id) const;
  DynamicBody* FindDynamic(BodyId id);
  const DynamicBody* FindDynamic(BodyId id) const;
  static void Place(StaticBody& body);
  bool Queried(const StaticBody& body, uint32_t layers) const;
  // Earliest contact of an ellipsoid (radii along the world axes) with the
  // static bodies and the dynamic bodies other than `self`.
  std::optional<SweepHit> SweepEllipsoid(const glm::vec3& centre, const glm::vec3& radii,
                                         const glm::vec3& displacement, uint32_t layers, BodyId self,
                                         bool withDynamic) const;
  void MoveBody(DynamicBody& body, double delta, std::vector<CollisionContact>& contacts);

  float gravity_ = kDefaultGravity;
  float worldScale_ = 1.0f;
  float movementScale_ = 1.0f;
  double time_ = 0.0;
  uint64_t steps_ = 0;
  BodyId nextId_ = 1;
  std::vector<std::unique_ptr<StaticBody>> bodies_;
  std::vector<std::unique_ptr<DynamicBody>> dynamic_;
};

}  // namespace kavo::scene
