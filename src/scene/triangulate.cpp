#include "scene/triangulate.h"

#include <cmath>

namespace kavo::scene {

namespace {

struct P2 {
  double x, y;
};

double Cross(const P2& a, const P2& b, const P2& c) { return (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x); }

// Inside or on the edges of the triangle abc (counter-clockwise).
bool InTriangle(const P2& p, const P2& a, const P2& b, const P2& c) {
  auto side = [](const P2& u, const P2& v, const P2& w) { return (v.x - u.x) * (w.y - u.y) - (v.y - u.y) * (w.x - u.x); };
  return side(a, b, p) >= 0 && side(b, c, p) >= 0 && side(c, a, p) >= 0;
}

bool Same(const P2& a, const P2& b) { return a.x == b.x && a.y == b.y; }

}  // namespace

bool TriangulatePolygon(const std::vector<glm::vec3>& c, std::vector<uint32_t>& out, uint64_t& budget) {
  const size_t n = c.size();
  if (n < 3) return true;
  auto fanFrom = [&](const std::vector<uint32_t>& ring) {
    for (size_t k = 1; k + 1 < ring.size(); ++k) out.insert(out.end(), {ring[0], ring[k], ring[k + 1]});
  };
  std::vector<uint32_t> ring(n);
  for (size_t i = 0; i < n; ++i) ring[i] = static_cast<uint32_t>(i);
  if (n == 3) {
    fanFrom(ring);
    return true;
  }

  // The face's plane by Newell's method; the polygon is seen along the
  // normal's largest axis, turned so that it runs counter-clockwise.
  double nx = 0, ny = 0, nz = 0;
  for (size_t i = 0; i < n; ++i) {
    const glm::dvec3 a(c[i]), b(c[(i + 1) % n]);
    nx += (a.y - b.y) * (a.z + b.z);
    ny += (a.z - b.z) * (a.x + b.x);
    nz += (a.x - b.x) * (a.y + b.y);
  }
  const double ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
  if (!(ax + ay + az > 0)) {  // no area (or not a number): nothing to cut
    fanFrom(ring);
    return true;
  }
  int u = 0, v = 1;
  double along = nz;
  if (ax >= ay && ax >= az) {
    u = 1, v = 2, along = nx;
  } else if (ay >= az) {
    u = 2, v = 0, along = ny;
  }
  std::vector<P2> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = {(along < 0 ? -1.0 : 1.0) * double(c[i][u]), double(c[i][v])};

  // A convex polygon keeps the fan around its first corner.
  bool convex = true;
  for (size_t i = 0; i < n && convex; ++i) convex = Cross(p[(i + n - 1) % n], p[i], p[(i + 1) % n]) >= 0;
  if (convex) {
    fanFrom(ring);
    return true;
  }

  // Ears: a corner turning left whose triangle holds no other corner.
  std::vector<size_t> prev(n), next(n);
  for (size_t i = 0; i < n; ++i) {
    prev[i] = (i + n - 1) % n;
    next[i] = (i + 1) % n;
  }
  size_t remaining = n, i = 0, misses = 0;
  while (remaining > 3) {
    const size_t a = prev[i], b = i, d = next[i];
    bool ear = Cross(p[a], p[b], p[d]) > 0;
    for (size_t j = next[d]; ear && j != a; j = next[j]) {
      if (budget == 0) return false;
      --budget;
      if (Same(p[j], p[a]) || Same(p[j], p[b]) || Same(p[j], p[d])) continue;
      ear = !InTriangle(p[j], p[a], p[b], p[d]);
    }
    if (ear) {
      out.insert(out.end(), {static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(d)});
      next[a] = d;
      prev[d] = a;
      --remaining;
      i = a;
      misses = 0;
      continue;
    }
    i = d;
    if (++misses > remaining) {
      // No ear left (the face crosses itself or folds): fan what remains.
      std::vector<uint32_t> rest;
      size_t k = i;
      for (size_t m = 0; m < remaining; ++m, k = next[k]) rest.push_back(static_cast<uint32_t>(k));
      fanFrom(rest);
      return true;
    }
  }
  out.insert(out.end(), {static_cast<uint32_t>(prev[i]), static_cast<uint32_t>(i), static_cast<uint32_t>(next[i])});
  return true;
}

}  // namespace kavo::scene
