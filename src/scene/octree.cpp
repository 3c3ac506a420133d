// The triangle octree used for ray tests (picking, walk targets) and for the
// static collision bodies. Cells split at their centre; a triangle joins
// every child cell its surface really touches (separating-axis test, not
// just its bounding box), so rays meet few needless candidates. Leaves keep
// their triangles as ranges of one shared index array. A ray walks the cells
// front to back and stops as soon as the nearest hit found lies before the
// next cell's entry point.
#include "scene/geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kavo::scene {

namespace {

bool Finite(const glm::vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Separating-axis test of a triangle against the box centre c, half size h.
bool TriangleTouchesBox(const glm::vec3& c, const glm::vec3& h, const glm::vec3* tri) {
  const glm::vec3 v0 = tri[0] - c, v1 = tri[1] - c, v2 = tri[2] - c;
  const glm::vec3 edges[3] = {v1 - v0, v2 - v1, v0 - v2};
  for (const glm::vec3& e : edges) {
    const glm::vec3 axes[3] = {{0.0f, -e.z, e.y}, {e.z, 0.0f, -e.x}, {-e.y, e.x, 0.0f}};
    for (const glm::vec3& a : axes) {
      float p0 = glm::dot(a, v0), p1 = glm::dot(a, v1), p2 = glm::dot(a, v2);
      float r = h.x * std::fabs(a.x) + h.y * std::fabs(a.y) + h.z * std::fabs(a.z);
      if (std::min({p0, p1, p2}) > r || std::max({p0, p1, p2}) < -r) return false;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (std::min({v0[i], v1[i], v2[i]}) > h[i] || std::max({v0[i], v1[i], v2[i]}) < -h[i]) return false;
  }
  const glm::vec3 n = glm::cross(edges[0], edges[1]);
  const float d = glm::dot(n, v0);
  const float r = h.x * std::fabs(n.x) + h.y * std::fabs(n.y) + h.z * std::fabs(n.z);
  return std::fabs(d) <= r;
}

// Entry distance of the ray into the box, if it enters before tMax.
inline bool Slab(const glm::vec3& o, const glm::vec3& d, const glm::vec3& inv, const glm::vec3& lo,
                 const glm::vec3& hi, float tMax, float& tEnter) {
  float t0 = 0.0f, t1 = tMax;
  for (int a = 0; a < 3; ++a) {
    if (d[a] == 0.0f) {
      if (o[a] < lo[a] || o[a] > hi[a]) return false;
      continue;
    }
    float tn = (lo[a] - o[a]) * inv[a];
    float tf = (hi[a] - o[a]) * inv[a];
    if (tn > tf) std::swap(tn, tf);
    t0 = std::max(t0, tn);
    t1 = std::min(t1, tf);
    // A ray along a cell's face, edge or corner enters it: the rounding of
    // the two distances must not decide between neighbours.
    if (t0 > t1 + 1e-5f * std::max(1.0f, std::fabs(t1))) return false;
  }
  tEnter = t0;
  return true;
}

}  // namespace

void TriangleOctree::Clear() {
  built_ = false;
  triangles_.clear();
  prepared_.clear();
  cells_.clear();
  cellTriangles_.clear();
}

void TriangleOctree::Build(const MeshData& data, int depth) { Build(ExtractTriangles(data), depth); }

void TriangleOctree::Build(std::vector<glm::vec3> triangles, int depth) {
  Clear();
  triangles.resize(triangles.size() / 3 * 3);
  triangles_ = std::move(triangles);
  const size_t count = triangles_.size() / 3;
  prepared_.resize(count);
  std::vector<uint32_t> all;
  all.reserve(count);
  glm::vec3 lo(std::numeric_limits<float>::max()), hi(-std::numeric_limits<float>::max());
  for (size_t i = 0; i < count; ++i) {
    const glm::vec3* t = &triangles_[i * 3];
    prepared_[i] = {t[0], t[1] - t[0], t[2] - t[0]};
    // Triangles with non-finite corners can never be hit; keep them out.
    if (!Finite(t[0]) || !Finite(t[1]) || !Finite(t[2]) || !Finite(prepared_[i].e1) || !Finite(prepared_[i].e2))
      continue;
    all.push_back(uint32_t(i));
    lo = glm::min(lo, glm::min(t[0], glm::min(t[1], t[2])));
    hi = glm::max(hi, glm::max(t[0], glm::max(t[1], t[2])));
  }
  Cell root;
  boundsLo_ = lo;
  boundsHi_ = hi;
  if (all.empty()) {
    root.lo = root.hi = glm::vec3(0.0f);
  } else {
    // A little margin so that faces on the outer planes lie safely inside.
    // A cube: cells stay cubes, so no axis gets thin slices that a triangle
    // crosses many times.
    const glm::vec3 centre = (lo + hi) * 0.5f;
    const float extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    const float half = extent * 0.5f * (1.0f + 1e-4f) + 1e-6f + std::max({std::fabs(centre.x), std::fabs(centre.y), std::fabs(centre.z)}) * 1e-6f;
    root.lo = centre - glm::vec3(half);
    root.hi = centre + glm::vec3(half);
  }
  cells_.push_back(root);
  cellTriangles_.reserve(all.size() * 2);
  referenceBudget_ = std::max<size_t>(size_t(1) << 20, all.size() * 32);
  Subdivide(0, all, 0, std::clamp(depth, 0, kMaxDepth));
  built_ = true;
}

void TriangleOctree::Subdivide(uint32_t cellIndex, std::vector<uint32_t>& tris, int level, int minDepth) {
  const bool mustSplit = level < minDepth;
  const bool maySplit = level < kMaxDepth && tris.size() > kLeafTriangles;
  auto makeLeaf = [&] {
    Cell& cell = cells_[cellIndex];
    cell.first = uint32_t(cellTriangles_.size());
    cell.count = uint32_t(tris.size());
    cellTriangles_.insert(cellTriangles_.end(), tris.begin(), tris.end());
    tris.clear();
    tris.shrink_to_fit();
  };
  if (tris.empty() || !(mustSplit || maySplit)) return makeLeaf();

  const glm::vec3 lo = cells_[cellIndex].lo, hi = cells_[cellIndex].hi;
  const glm::vec3 mid = (lo + hi) * 0.5f;
  // Slightly enlarged child boxes: a triangle exactly on a split plane goes
  // to both sides rather than, through rounding, to neither.
  const glm::vec3 half = (hi - lo) * 0.25f;
  const glm::vec3 slack = half * 1e-5f + glm::vec3(1e-7f);
  std::array<std::vector<uint32_t>, 8> child;
  for (uint32_t t : tris) {
    const glm::vec3* v = &triangles_[size_t(t) * 3];
    const glm::vec3 tmin = glm::min(v[0], glm::min(v[1], v[2]));
    const glm::vec3 tmax = glm::max(v[0], glm::max(v[1], v[2]));
    // The octants the triangle's bounds reach; one octant (the common case
    // deep down) needs no further test.
    const int x0 = tmin.x <= mid.x + slack.x ? 0 : 1, x1 = tmax.x >= mid.x - slack.x ? 1 : 0;
    const int y0 = tmin.y <= mid.y + slack.y ? 0 : 1, y1 = tmax.y >= mid.y - slack.y ? 1 : 0;
    const int z0 = tmin.z <= mid.z + slack.z ? 0 : 1, z1 = tmax.z >= mid.z - slack.z ? 1 : 0;
    if (x0 == x1 && y0 == y1 && z0 == z1) {
      child[x0 | (y0 << 1) | (z0 << 2)].push_back(t);
      continue;
    }
    for (int z = z0; z <= z1; ++z)
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
          const glm::vec3 clo(x ? mid.x : lo.x, y ? mid.y : lo.y, z ? mid.z : lo.z);
          const glm::vec3 chi(x ? hi.x : mid.x, y ? hi.y : mid.y, z ? hi.z : mid.z);
          if (TriangleTouchesBox((clo + chi) * 0.5f, (chi - clo) * 0.5f + slack, v))
            child[x | (y << 1) | (z << 2)].push_back(t);
        }
  }
  // Splitting is useless when every occupied child still holds everything
  // (a few huge triangles, or many meeting in one point), and wasteful when
  // the triangles would be copied many times. A budget on all references
  // keeps pathological models from eating memory.
  size_t total = 0;
  bool progress = false;
  for (const auto& c : child) {
    total += c.size();
    progress = progress || (!c.empty() && c.size() < tris.size());
  }
  if (!progress || (!mustSplit && total > tris.size() * 6) || referenceBudget_ < total) return makeLeaf();
  referenceBudget_ -= total;
  tris.clear();
  tris.shrink_to_fit();
  const int32_t first = int32_t(cells_.size());
  cells_[cellIndex].firstChild = first;
  for (int k = 0; k < 8; ++k) {
    Cell c;
    c.lo = glm::vec3((k & 1) ? mid.x : lo.x, (k & 2) ? mid.y : lo.y, (k & 4) ? mid.z : lo.z);
    c.hi = glm::vec3((k & 1) ? hi.x : mid.x, (k & 2) ? hi.y : mid.y, (k & 4) ? hi.z : mid.z);
    cells_.push_back(c);
  }
  for (int k = 0; k < 8; ++k) Subdivide(uint32_t(first + k), child[k], level + 1, minDepth);
}

std::optional<RayHit> TriangleOctree::Intersect(const Ray& ray) const {
  uint32_t tri;
  return IntersectIndex(ray, std::numeric_limits<float>::infinity(), tri);
}

std::optional<RayHit> TriangleOctree::Intersect(const Ray& ray, float maxDistance) const {
  uint32_t tri;
  return IntersectIndex(ray, maxDistance, tri);
}

std::optional<RayHit> TriangleOctree::IntersectIndex(const Ray& ray, float maxDistance, uint32_t& triangle) const {
  if (!built_ || cells_.empty() || cellTriangles_.empty()) return std::nullopt;
  const float len = glm::length(ray.direction);
  if (!(len > 0.0f) || !std::isfinite(len) || !Finite(ray.origin)) return std::nullopt;
  const glm::vec3 o = ray.origin;
  const glm::vec3 d = ray.direction / len;
  const glm::vec3 inv(d.x != 0.0f ? 1.0f / d.x : 0.0f, d.y != 0.0f ? 1.0f / d.y : 0.0f,
                      d.z != 0.0f ? 1.0f / d.z : 0.0f);
  float best = std::isnan(maxDistance) ? std::numeric_limits<float>::infinity() : maxDistance;
  int64_t bestTri = -1;
  glm::vec3 bestPoint(0.0f);
  const WatertightRay wray(o, d);
  if (!wray.Valid()) return std::nullopt;

  struct Entry {
    uint32_t cell;
    float t;
  };
  // Depth is bounded by kMaxDepth; each level pushes at most 8 entries.
  std::array<Entry, 8 * (kMaxDepth + 2)> stack;
  size_t top = 0;
  float t0;
  if (!Slab(o, d, inv, cells_[0].lo, cells_[0].hi, best, t0)) return std::nullopt;
  stack[top++] = {0, t0};
  while (top > 0) {
    const Entry e = stack[--top];
    if (e.t > best) continue;
    const Cell& cell = cells_[e.cell];
    if (cell.firstChild < 0) {
      for (uint32_t i = cell.first, end = cell.first + cell.count; i < end; ++i) {
        const uint32_t t = cellTriangles_[i];
        const glm::vec3* v = &triangles_[size_t(t) * 3];
        float dist;
        glm::vec3 at;
        if (!wray.Hit(v[0], v[1], v[2], dist, at)) continue;
        if (dist < best) {
          best = dist;
          bestTri = t;
          bestPoint = at;
        } else if (dist == best && bestTri < 0) {
          bestTri = t;  // a hit exactly at maxDistance
          bestPoint = at;
        }
      }
      continue;
    }
    // Children the ray enters, pushed farthest first so the nearest pops next.
    Entry hits[8];
    int n = 0;
    for (int k = 0; k < 8; ++k) {
      const uint32_t c = uint32_t(cell.firstChild + k);
      float te;
      if (Slab(o, d, inv, cells_[c].lo, cells_[c].hi, best, te)) {
        int j = n++;
        while (j > 0 && hits[j - 1].t < te) {
          hits[j] = hits[j - 1];
          --j;
        }
        hits[j] = {c, te};
      }
    }
    for (int k = 0; k < n; ++k) stack[top++] = hits[k];
  }
  if (bestTri < 0) return std::nullopt;
  triangle = uint32_t(bestTri);
  const Prepared& p = prepared_[triangle];
  RayHit hit;
  hit.distance = best;
  hit.point = bestPoint;
  glm::vec3 n = glm::cross(p.e1, p.e2);
  const float nl = glm::length(n);
  n = nl > 0.0f && std::isfinite(nl) ? n / nl : -d;
  if (glm::dot(n, d) > 0.0f) n = -n;
  hit.normal = n;
  return hit;
}

void TriangleOctree::QueryBox(const glm::vec3& lo, const glm::vec3& hi, std::vector<uint32_t>& out) const {
  out.clear();
  if (!built_ || cells_.empty()) return;
  std::array<uint32_t, 8 * (kMaxDepth + 2)> stack;
  size_t top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Cell& cell = cells_[stack[--top]];
    if (cell.lo.x > hi.x || cell.hi.x < lo.x || cell.lo.y > hi.y || cell.hi.y < lo.y || cell.lo.z > hi.z ||
        cell.hi.z < lo.z)
      continue;
    if (cell.firstChild < 0) {
      out.insert(out.end(), cellTriangles_.begin() + cell.first, cellTriangles_.begin() + cell.first + cell.count);
      continue;
    }
    for (int k = 0; k < 8; ++k) stack[top++] = uint32_t(cell.firstChild + k);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
}

std::optional<RayHit> IntersectPlaced(const TriangleOctree& tree, const glm::mat4& modelToWorld, const Ray& worldRay) {
  const float det = glm::determinant(modelToWorld);
  if (!std::isfinite(det) || std::fabs(det) < 1e-30f) return std::nullopt;
  const glm::mat4 toModel = glm::inverse(modelToWorld);
  Ray local;
  local.origin = glm::vec3(toModel * glm::vec4(worldRay.origin, 1.0f));
  local.direction = glm::vec3(toModel * glm::vec4(worldRay.direction, 0.0f));
  auto hit = tree.Intersect(local);
  if (!hit) return std::nullopt;
  RayHit world;
  world.point = glm::vec3(modelToWorld * glm::vec4(hit->point, 1.0f));
  world.distance = glm::length(world.point - worldRay.origin);
  // Normals go through the inverse transpose so that scaling keeps them
  // perpendicular to the surface.
  glm::vec3 n = glm::transpose(glm::mat3(toModel)) * hit->normal;
  const float len = glm::length(n);
  n = len > 0.0f && std::isfinite(len) ? n / len : -worldRay.direction;
  if (glm::dot(n, worldRay.direction) > 0.0f) n = -n;
  world.normal = n;
  return world;
}

bool TriangleOctree::Bounds(glm::vec3& lo, glm::vec3& hi) const {
  if (!built_ || cellTriangles_.empty()) return false;
  lo = boundsLo_;
  hi = boundsHi_;
  return true;
}

}  // namespace kavo::scene
