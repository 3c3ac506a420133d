// Static collision bodies and the sphere queries over them. A moving sphere
// meets a triangle first on its face, or else on one of its edges or
// corners: the face case is a plane offset by the radius, an edge is a
// cylinder, a corner a sphere; the earliest of these contacts wins.
#include "scene/collision.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kavo::scene {

namespace {

// Closest point of triangle abc to p.
glm::vec3 ClosestOnTriangle(const glm::vec3& p, const glm::vec3& a, const glm::vec3& b, const glm::vec3& c) {
  const glm::vec3 ab = b - a, ac = c - a, ap = p - a;
  const float d1 = glm::dot(ab, ap), d2 = glm::dot(ac, ap);
  if (d1 <= 0.0f && d2 <= 0.0f) return a;
  const glm::vec3 bp = p - b;
  const float d3 = glm::dot(ab, bp), d4 = glm::dot(ac, bp);
  if (d3 >= 0.0f && d4 <= d3) return b;
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0f && d1 >= 0.0f && d3 <= 0.0f) {
    const float den = d1 - d3;
    return den != 0.0f ? a + ab * (d1 / den) : a;
  }
  const glm::vec3 cp = p - c;
  const float d5 = glm::dot(ab, cp), d6 = glm::dot(ac, cp);
  if (d6 >= 0.0f && d5 <= d6) return c;
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0f && d2 >= 0.0f && d6 <= 0.0f) {
    const float den = d2 - d6;
    return den != 0.0f ? a + ac * (d2 / den) : a;
  }
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0.0f && (d4 - d3) >= 0.0f && (d5 - d6) >= 0.0f) {
    const float den = (d4 - d3) + (d5 - d6);
    return den != 0.0f ? b + (c - b) * ((d4 - d3) / den) : b;
  }
  const float sum = va + vb + vc;
  if (sum == 0.0f) return a;  // degenerate triangle
  const float denom = 1.0f / sum;
  return a + ab * (vb * denom) + ac * (vc * denom);
}

// Smallest root in [0, 1] of a t^2 + b t + c = 0.
bool LowestRoot(float a, float b, float c, float& t) {
  if (std::fabs(a) < 1e-12f) return false;
  const float disc = b * b - 4.0f * a * c;
  if (disc < 0.0f) return false;
  const float s = std::sqrt(disc);
  float t1 = (-b - s) / (2.0f * a), t2 = (-b + s) / (2.0f * a);
  if (t1 > t2) std::swap(t1, t2);
  if (t1 >= 0.0f && t1 <= 1.0f) {
    t = t1;
    return true;
  }
  if (t1 < 0.0f && t2 >= 0.0f && t2 <= 1.0f && c <= 0.0f) {
    t = 0.0f;
    return true;
  }
  return false;
}

// Whether a motion d goes into a contact whose normal (from the touching
// point to the centre) is `away`. A sphere that only grazes a corner or an
// edge, moving along it, has no contact there: counted as one it would stop
// a body placed exactly touching an edge of the floor for good.
bool Approaches(const glm::vec3& d, const glm::vec3& away) {
  return glm::dot(d, away) < -1e-5f * glm::length(d) * glm::length(away);
}

bool Finite(const glm::vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

std::optional<SweepHit> SweepSphereTriangle(const glm::vec3& centre, float radius, const glm::vec3& d,
                                            const glm::vec3& a, const glm::vec3& b, const glm::vec3& c) {
  if (!(radius > 0.0f) || !Finite(centre) || !Finite(d)) return std::nullopt;
  glm::vec3 n = glm::cross(b - a, c - a);
  const float nl = glm::length(n);
  if (!(nl > 0.0f) || !std::isfinite(nl)) return std::nullopt;
  n /= nl;
  {
    // Staying farther than the radius from the triangle's plane all along.
    const float s0 = glm::dot(centre - a, n), s1 = s0 + glm::dot(d, n);
    if ((s0 > radius && s1 > radius) || (s0 < -radius && s1 < -radius)) return std::nullopt;
  }

  // Overlapping already at the start.
  {
    const glm::vec3 q = ClosestOnTriangle(centre, a, b, c);
    const glm::vec3 away = centre - q;
    const float dist = glm::length(away);
    if (dist < radius) {
      SweepHit hit;
      hit.fraction = 0.0f;
      hit.centre = centre;
      hit.point = q;
      if (dist > 1e-7f) hit.normal = away / dist;
      else hit.normal = glm::dot(d, n) > 0.0f ? -n : n;
      hit.penetration = radius - dist;
      return hit;
    }
  }

  float best = 2.0f;
  glm::vec3 bestPoint(0.0f);
  // Face: the side of the plane the sphere is on faces it.
  float s0 = glm::dot(centre - a, n);
  glm::vec3 fn = n;
  if (s0 < 0.0f) {
    fn = -n;
    s0 = -s0;
  }
  // Only a motion into the plane meets the face: one along it (within
  // rounding of the plane's normal) grazes it, and counted as a hit at the
  // start it would hold a body resting exactly on a floor where it is.
  const float dn = glm::dot(d, fn);
  if (dn < -1e-5f * glm::length(d)) {
    const float t = (radius - s0) / dn;
    if (t >= 0.0f && t <= 1.0f) {
      const glm::vec3 p = centre + d * t - fn * radius;
      // Inside test by barycentric signs.
      const glm::vec3 c0 = glm::cross(b - a, p - a), c1 = glm::cross(c - b, p - b), c2 = glm::cross(a - c, p - c);
      if (glm::dot(c0, n) >= 0.0f && glm::dot(c1, n) >= 0.0f && glm::dot(c2, n) >= 0.0f) {
        best = t;
        bestPoint = p;
      }
    }
  }
  if (best > 1.0f) {
    const float dd = glm::dot(d, d);
    // Corners.
    for (const glm::vec3& v : {a, b, c}) {
      const glm::vec3 w = centre - v;
      float t;
      if (LowestRoot(dd, 2.0f * glm::dot(d, w), glm::dot(w, w) - radius * radius, t) && t < best &&
          Approaches(d, centre + d * t - v)) {
        best = t;
        bestPoint = v;
      }
    }
    // Edges.
    const glm::vec3 ends[3][2] = {{a, b}, {b, c}, {c, a}};
    for (const auto& e : ends) {
      const glm::vec3 edge = e[1] - e[0];
      const glm::vec3 w = centre - e[0];
      const float ee = glm::dot(edge, edge), ed = glm::dot(edge, d), ew = glm::dot(edge, w);
      float t;
      if (!LowestRoot(ee * dd - ed * ed, 2.0f * (ee * glm::dot(d, w) - ed * ew),
                      ee * (glm::dot(w, w) - radius * radius) - ew * ew, t))
        continue;
      const float f = (ed * t + ew) / ee;
      if (f >= 0.0f && f <= 1.0f && t < best && Approaches(d, centre + d * t - (e[0] + edge * f))) {
        best = t;
        bestPoint = e[0] + edge * f;
      }
    }
  }
  if (best > 1.0f) return std::nullopt;
  SweepHit hit;
  hit.fraction = best;
  hit.centre = centre + d * best;
  hit.point = bestPoint;
  const glm::vec3 away = hit.centre - bestPoint;
  const float len = glm::length(away);
  hit.normal = len > 1e-7f ? away / len : fn;
  return hit;
}

CollisionManager::StaticBody* CollisionManager::Find(BodyId id) {
  for (auto& b : bodies_)
    if (b->id == id) return b.get();
  return nullptr;
}

const CollisionManager::StaticBody* CollisionManager::Find(BodyId id) const {
  for (const auto& b : bodies_)
    if (b->id == id) return b.get();
  return nullptr;
}

void CollisionManager::Place(StaticBody& body) {
  std::vector<glm::vec3> world;
  world.reserve(body.modelTriangles.size());
  for (const glm::vec3& p : body.modelTriangles) world.push_back(glm::vec3(body.transform * glm::vec4(p, 1.0f)));
  body.octree.Build(std::move(world), body.depth);
}

BodyId CollisionManager::AddStaticBody(const MeshData& shape, const glm::mat4& transform, const StaticBodyDesc& desc,
                                       int octreeDepth) {
  return AddStaticBody(ExtractTriangles(shape), transform, desc, octreeDepth);
}

BodyId CollisionManager::AddStaticBody(std::vector<glm::vec3> triangles, const glm::mat4& transform,
                                       const StaticBodyDesc& desc, int octreeDepth) {
  auto body = std::make_unique<StaticBody>();
  body->id = nextId_++;
  if (nextId_ == kNoBody) nextId_ = 1;
  body->desc = desc;
  body->modelTriangles = std::move(triangles);
  body->transform = transform;
  body->depth = octreeDepth;
  Place(*body);
  BodyId id = body->id;
  bodies_.push_back(std::move(body));
  return id;
}

bool CollisionManager::RemoveBody(BodyId id) {
  auto it = std::find_if(bodies_.begin(), bodies_.end(), [id](const auto& b) { return b->id == id; });
  if (it != bodies_.end()) {
    bodies_.erase(it);
    return true;
  }
  auto dit = std::find_if(dynamic_.begin(), dynamic_.end(), [id](const auto& b) { return b->id == id; });
  if (dit == dynamic_.end()) return false;
  dynamic_.erase(dit);
  return true;
}

void CollisionManager::Clear() {
  bodies_.clear();
  dynamic_.clear();
}

bool CollisionManager::SetBodyTransform(BodyId id, const glm::mat4& transform) {
  StaticBody* b = Find(id);
  if (!b) return false;
  b->transform = transform;
  Place(*b);
  return true;
}

bool CollisionManager::SetActive(BodyId id, bool active) {
  if (StaticBody* b = Find(id)) {
    b->desc.active = active;
    return true;
  }
  if (DynamicBody* d = FindDynamic(id)) {
    d->desc.active = active;
    return true;
  }
  return false;
}

bool CollisionManager::IsActive(BodyId id) const {
  if (const StaticBody* b = Find(id)) return b->desc.active;
  const DynamicBody* d = FindDynamic(id);
  return d && d->desc.active;
}

const StaticBodyDesc* CollisionManager::Desc(BodyId id) const {
  const StaticBody* b = Find(id);
  return b ? &b->desc : nullptr;
}

bool CollisionManager::SetDesc(BodyId id, const StaticBodyDesc& desc) {
  StaticBody* b = Find(id);
  if (!b) return false;
  b->desc = desc;
  return true;
}

void CollisionManager::Step(double delta) {
  if (!(delta > 0.0) || !std::isfinite(delta)) return;
  time_ += delta;
  ++steps_;
  std::vector<CollisionContact> contacts;
  for (auto& body : dynamic_) {
    if (body->desc.active) MoveBody(*body, delta, contacts);
    // Accelerations last one step, also for a body that is switched off.
    body->ownAcceleration = glm::vec3(0.0f);
    body->absAcceleration = glm::vec3(0.0f);
  }
  // Callbacks run last: they may push bodies for the next step or remove
  // them, so each looks its body up again.
  for (const CollisionContact& c : contacts) {
    DynamicBody* body = FindDynamic(c.self);
    if (!body || !body->callback) continue;
    CollisionCallback callback = body->callback;
    callback(c);
  }
}

void CollisionManager::MoveBody(DynamicBody& b, double delta, std::vector<CollisionContact>& contacts) {
  constexpr int kMaxContacts = 4;
  constexpr float kGroundSlope = 0.7f;  // normals steeper than this (y part) are walls
  const float dt = float(delta);
  glm::vec3 acc = b.axes * b.ownAcceleration + b.absAcceleration;
  if (b.desc.useGravity && !b.rising) acc.y += gravity_;
  b.velocity += acc * dt;
  if (b.rising) b.velocity.y = b.jumpSpeed;
  if (b.onGround && !b.rising) {
    // Ground friction slows the sliding along the ground, never reverses it.
    const float damp = 1.0f / (1.0f + std::max(0.0f, b.desc.friction * b.groundFriction) * dt);
    b.velocity.x *= damp;
    b.velocity.z *= damp;
  }
  if (!Finite(b.velocity)) b.velocity = glm::vec3(0.0f);
  glm::vec3 move = b.velocity * dt * movementScale_;
  if (b.rising && b.centre.y + move.y > b.jumpTop) move.y = std::max(0.0f, b.jumpTop - b.centre.y);

  const size_t firstContact = contacts.size();
  bool grounded = false;
  glm::vec3 pos = b.centre;
  for (int i = 0; i <= kMaxContacts; ++i) {
    if (glm::dot(move, move) < 1e-12f) break;
    auto hit = i < kMaxContacts ? SweepEllipsoid(pos, b.desc.size, move, LayerBit(b.desc.layer), b.id, true)
                                : std::nullopt;
    if (!hit) {
      if (i < kMaxContacts) pos += move;
      break;
    }
    const glm::vec3 n = hit->normal;
    float surfaceBounce = 1.0f, surfaceFriction = 1.0f;
    CollisionContact c;
    c.self = b.id;
    c.other = hit->body;
    c.point = hit->point;
    c.normal = n;
    if (const StaticBody* s = Find(hit->body)) {
      surfaceBounce = s->desc.bounce;
      surfaceFriction = s->desc.friction;
      c.otherTag = s->desc.tag;
      c.otherUser = s->desc.user;
    } else if (const DynamicBody* d = FindDynamic(hit->body)) {
      surfaceBounce = d->desc.bounce;
      c.otherDynamic = true;
      c.otherTag = d->desc.tag;
      c.otherUser = d->desc.user;
    }
    bool seen = false;
    for (size_t k = firstContact; k < contacts.size(); ++k) seen = seen || contacts[k].other == c.other;
    if (!seen) contacts.push_back(c);
    if (n.y > kGroundSlope) {
      grounded = true;
      b.groundFriction = surfaceFriction;
    }
    if (n.y < -kGroundSlope) b.rising = false;  // head against a ceiling

    if (hit->penetration > 0.0f) {
      pos += n * (hit->penetration + kSkin);
    } else {
      const float len = glm::length(move);
      const float back = len > 0.0f ? std::min(hit->fraction, kSkin / len) : 0.0f;
      pos += move * (hit->fraction - back);
      move *= 1.0f - hit->fraction;
    }
    const float vn = glm::dot(b.velocity, n);
    if (vn < 0.0f) b.velocity -= n * vn * (1.0f + b.desc.bounce * surfaceBounce);
    if (!b.desc.slide) break;
    const float into = glm::dot(move, n);
    if (into < 0.0f) move -= n * into;
  }
  b.centre = pos;
  b.onGround = grounded;
  if (b.rising && b.centre.y >= b.jumpTop - 1e-4f) {
    b.rising = false;
    b.velocity.y = 0.0f;
  }
  if (b.jumping && !b.rising && grounded) b.jumping = false;
}

BodyId CollisionManager::AddDynamicBody(const glm::vec3& centre, const DynamicBodyDesc& desc) {
  auto body = std::make_unique<DynamicBody>();
  body->id = nextId_++;
  if (nextId_ == kNoBody) nextId_ = 1;
  body->desc = desc;
  body->centre = centre;
  BodyId id = body->id;
  dynamic_.push_back(std::move(body));
  return id;
}

CollisionManager::DynamicBody* CollisionManager::FindDynamic(BodyId id) {
  for (auto& b : dynamic_)
    if (b->id == id) return b.get();
  return nullptr;
}

const CollisionManager::DynamicBody* CollisionManager::FindDynamic(BodyId id) const {
  for (const auto& b : dynamic_)
    if (b->id == id) return b.get();
  return nullptr;
}

const DynamicBodyDesc* CollisionManager::DynamicDesc(BodyId id) const {
  const DynamicBody* b = FindDynamic(id);
  return b ? &b->desc : nullptr;
}

bool CollisionManager::SetDynamicDesc(BodyId id, const DynamicBodyDesc& desc) {
  DynamicBody* b = FindDynamic(id);
  if (!b) return false;
  b->desc = desc;
  return true;
}

glm::vec3 CollisionManager::Position(BodyId id) const {
  const DynamicBody* b = FindDynamic(id);
  return b ? b->centre : glm::vec3(0.0f);
}

bool CollisionManager::SetPosition(BodyId id, const glm::vec3& centre) {
  DynamicBody* b = FindDynamic(id);
  if (!b || !Finite(centre)) return false;
  b->centre = centre;
  return true;
}

glm::vec3 CollisionManager::Velocity(BodyId id) const {
  const DynamicBody* b = FindDynamic(id);
  return b ? b->velocity : glm::vec3(0.0f);
}

bool CollisionManager::SetVelocity(BodyId id, const glm::vec3& velocity) {
  DynamicBody* b = FindDynamic(id);
  if (!b || !Finite(velocity)) return false;
  b->velocity = velocity;
  return true;
}

bool CollisionManager::SetOrientation(BodyId id, const glm::mat3& axes) {
  DynamicBody* b = FindDynamic(id);
  if (!b) return false;
  b->axes = axes;
  return true;
}

bool CollisionManager::AddOwnAcceleration(BodyId id, const glm::vec3& a) {
  DynamicBody* b = FindDynamic(id);
  if (!b || !Finite(a)) return false;
  b->ownAcceleration += a;
  return true;
}

bool CollisionManager::AddAbsoluteAcceleration(BodyId id, const glm::vec3& a) {
  DynamicBody* b = FindDynamic(id);
  if (!b || !Finite(a)) return false;
  b->absAcceleration += a;
  return true;
}

bool CollisionManager::ResetAbsoluteAcceleration(BodyId id) {
  DynamicBody* b = FindDynamic(id);
  if (!b) return false;
  b->absAcceleration = glm::vec3(0.0f);
  return true;
}

glm::vec3 CollisionManager::AbsoluteAcceleration(BodyId id) const {
  const DynamicBody* b = FindDynamic(id);
  return b ? b->absAcceleration : glm::vec3(0.0f);
}

bool CollisionManager::Jump(BodyId id, float height, float speed) {
  DynamicBody* b = FindDynamic(id);
  if (!b || b->jumping || !b->onGround || !(height > 0.0f) || !(speed > 0.0f) || !std::isfinite(height) ||
      !std::isfinite(speed))
    return false;
  b->jumping = b->rising = true;
  b->onGround = false;
  b->jumpTop = b->centre.y + height;
  b->jumpSpeed = speed;
  return true;
}

bool CollisionManager::OnGround(BodyId id) const {
  const DynamicBody* b = FindDynamic(id);
  return b && b->onGround;
}

bool CollisionManager::Jumping(BodyId id) const {
  const DynamicBody* b = FindDynamic(id);
  return b && b->jumping;
}

bool CollisionManager::SetCallback(BodyId id, CollisionCallback callback) {
  DynamicBody* b = FindDynamic(id);
  if (!b) return false;
  b->callback = std::move(callback);
  return true;
}

bool CollisionManager::Queried(const StaticBody& body, uint32_t layers) const {
  return body.desc.active && body.desc.solid && (layers & LayerBit(body.desc.layer)) != 0;
}

std::optional<SweepHit> CollisionManager::SweepSphere(const glm::vec3& centre, float radius,
                                                      const glm::vec3& displacement, uint32_t layers) const {
  return SweepEllipsoid(centre, glm::vec3(radius), displacement, layers, kNoBody, false);
}

std::optional<SweepHit> CollisionManager::SweepEllipsoid(const glm::vec3& centre, const glm::vec3& radii,
                                                         const glm::vec3& displacement, uint32_t layers, BodyId self,
                                                         bool withDynamic) const {
  if (!(radii.x > 0.0f && radii.y > 0.0f && radii.z > 0.0f) || !Finite(radii) || !Finite(centre) ||
      !Finite(displacement))
    return std::nullopt;
  const glm::vec3 end = centre + displacement;
  const glm::vec3 lo = glm::min(centre, end) - radii, hi = glm::max(centre, end) + radii;
  // In the space scaled by 1 / radii the ellipsoid is a unit sphere.
  const glm::vec3 inv = 1.0f / radii;
  const glm::vec3 ce = centre * inv, de = displacement * inv;
  std::optional<SweepHit> best;
  auto better = [&](const SweepHit& h) {
    // Earlier wins; at equal times, the deeper overlap.
    return !best || h.fraction < best->fraction ||
           (h.fraction == best->fraction && h.penetration > best->penetration);
  };
  std::vector<uint32_t> candidates;
  for (const auto& body : bodies_) {
    if (!Queried(*body, layers)) continue;
    body->octree.QueryBox(lo, hi, candidates);
    for (uint32_t t : candidates) {
      const glm::vec3* v = body->octree.Triangle(t);
      // Leaves hold more than the swept box touches: a cheap box test first.
      const glm::vec3 tlo = glm::min(v[0], glm::min(v[1], v[2])), thi = glm::max(v[0], glm::max(v[1], v[2]));
      if (tlo.x > hi.x || thi.x < lo.x || tlo.y > hi.y || thi.y < lo.y || tlo.z > hi.z || thi.z < lo.z) continue;
      auto e = SweepSphereTriangle(ce, 1.0f, de, v[0] * inv, v[1] * inv, v[2] * inv);
      if (!e) continue;
      SweepHit hit;
      hit.fraction = e->fraction;
      hit.centre = centre + displacement * e->fraction;
      hit.point = e->point * radii;
      if (e->penetration > 0.0f) {
        const glm::vec3 push = e->normal * e->penetration * radii;
        hit.penetration = glm::length(push);
        hit.normal = hit.penetration > 0.0f ? push / hit.penetration : glm::vec3(0, 1, 0);
      } else {
        const glm::vec3 n = e->normal * inv;
        const float len = glm::length(n);
        hit.normal = len > 0.0f ? n / len : glm::vec3(0, 1, 0);
      }
      if (!better(hit)) continue;
      hit.body = body->id;
      hit.triangle = t;
      best = hit;
    }
  }
  if (withDynamic) {
    // Other moving bodies count as spheres of their largest radius.
    const float own = std::max({radii.x, radii.y, radii.z});
    const float dd = glm::dot(displacement, displacement);
    for (const auto& other : dynamic_) {
      if (other->id == self || !other->desc.active || !other->desc.solid ||
          (layers & LayerBit(other->desc.layer)) == 0)
        continue;
      const float theirs = std::max({other->desc.size.x, other->desc.size.y, other->desc.size.z});
      const float reach = own + theirs;
      const glm::vec3 w = centre - other->centre;
      const float ww = glm::dot(w, w);
      SweepHit hit;
      if (ww < reach * reach) {
        const float dist = std::sqrt(ww);
        hit.fraction = 0.0f;
        hit.normal = dist > 1e-6f ? w / dist : glm::vec3(0, 1, 0);
        hit.penetration = reach - dist;
      } else {
        float t;
        if (!LowestRoot(dd, 2.0f * glm::dot(displacement, w), ww - reach * reach, t)) continue;
        const glm::vec3 away = centre + displacement * t - other->centre;
        const float len = glm::length(away);
        hit.fraction = t;
        hit.normal = len > 1e-6f ? away / len : glm::vec3(0, 1, 0);
      }
      hit.centre = centre + displacement * hit.fraction;
      hit.point = other->centre + hit.normal * theirs;
      hit.body = other->id;
      if (better(hit)) best = hit;
    }
  }
  return best;
}

glm::vec3 CollisionManager::SlideSphere(const glm::vec3& centre, float radius, const glm::vec3& displacement,
                                        uint32_t layers, int maxContacts, bool* touched) const {
  glm::vec3 pos = centre;
  glm::vec3 move = displacement;
  if (touched) *touched = false;
  for (int i = 0; i <= maxContacts; ++i) {
    if (glm::dot(move, move) < 1e-12f) break;
    auto hit = i < maxContacts ? SweepSphere(pos, radius, move, layers) : std::nullopt;
    if (!hit) {
      if (i < maxContacts) pos += move;
      break;
    }
    if (touched) *touched = true;
    const glm::vec3 n = hit->normal;
    if (hit->penetration > 0.0f) {
      // Overlapping already: push out first, then try the move again.
      pos += n * (hit->penetration + kSkin);
    } else {
      // Up to the contact, keeping a small gap, then slide along the plane
      // of contact with what is left.
      const float len = glm::length(move);
      const float back = len > 0.0f ? std::min(hit->fraction, kSkin / len) : 0.0f;
      pos += move * (hit->fraction - back);
      move *= 1.0f - hit->fraction;
    }
    const float into = glm::dot(move, n);
    if (into < 0.0f) move -= n * into;
  }
  return pos;
}

std::optional<RayHit> CollisionManager::CastRay(const Ray& ray, float maxDistance, uint32_t layers,
                                                BodyId* body) const {
  std::optional<RayHit> best;
  for (const auto& b : bodies_) {
    if (!Queried(*b, layers)) continue;
    auto hit = b->octree.Intersect(ray, best ? best->distance : maxDistance);
    if (hit && (!best || hit->distance < best->distance)) {
      best = hit;
      if (body) *body = b->id;
    }
  }
  return best;
}

}  // namespace kavo::scene
