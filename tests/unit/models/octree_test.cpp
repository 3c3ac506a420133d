// Ray tests through the triangle octree, checked against the plain
// triangle-by-triangle answer on a bumpy terrain.
#include "scene/geometry.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include <cmath>
#include <limits>

namespace kavo::scene {
namespace {

float Height(float x, float z) { return 2.0f * std::sin(x * 0.7f) + 1.5f * std::cos(z * 0.45f) + 0.1f * x; }

// A y-up height field of n x n quads over [0, size] in x and z.
MeshData Terrain(int n, float size) {
  MeshData data;
  MeshObject obj;
  obj.name = "ground";
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      float x = size * i / n, z = size * j / n;
      obj.positions.push_back({x, Height(x, z), z});
    }
  FaceGroup g;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      uint32_t a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
      g.indices.insert(g.indices.end(), {a, c, b, b, c, d});
    }
  obj.faceGroups.push_back(g);
  data.objects.push_back(obj);
  return data;
}

float BruteForce(const std::vector<glm::vec3>& tris, const Ray& ray) {
  float best = std::numeric_limits<float>::infinity();
  for (size_t i = 0; i < tris.size(); i += 3) {
    float t = RayTriangleDistance(ray, tris[i], tris[i + 1], tris[i + 2]);
    if (t >= 0.0f && t < best) best = t;
  }
  return best;
}

TEST(TriangleOctree, DownwardRayHitsAtTheSurfaceHeight) {
  MeshData data = Terrain(40, 100.0f);
  TriangleOctree tree;
  tree.Build(data, 3);
  ASSERT_TRUE(tree.Built());
  EXPECT_EQ(tree.TriangleCount(), 40u * 40u * 2u);
  glm::vec3 lo, hi;
  ASSERT_TRUE(tree.Bounds(lo, hi));
  EXPECT_EQ(lo.x, 0.0f);
  EXPECT_EQ(hi.z, 100.0f);
  // Grid vertices: the height is exact there (also on shared edges/corners).
  for (int i : {0, 7, 20, 39}) {
    for (int j : {0, 13, 40}) {
      float x = 2.5f * i, z = 2.5f * j;
      auto hit = tree.Intersect({{x, 100.0f, z}, {0, -1, 0}});
      ASSERT_TRUE(hit) << x << "," << z;
      EXPECT_NEAR(hit->point.y, Height(x, z), 1e-4f);
      EXPECT_NEAR(hit->distance, 100.0f - Height(x, z), 1e-4f);
      EXPECT_GT(hit->normal.y, 0.0f);  // facing up, against the ray
      EXPECT_NEAR(glm::length(hit->normal), 1.0f, 1e-5f);
    }
  }
  // From below, the normal turns towards the ray's origin.
  auto below = tree.Intersect({{30.0f, -50.0f, 30.0f}, {0, 1, 0}});
  ASSERT_TRUE(below);
  EXPECT_LT(below->normal.y, 0.0f);
  // Outside the terrain: nothing.
  EXPECT_FALSE(tree.Intersect({{-1.0f, 100.0f, 50.0f}, {0, -1, 0}}));
  EXPECT_FALSE(tree.Intersect({{50.0f, 100.0f, 50.0f}, {0, 1, 0}}));
  // Not normalised directions give distances in model units.
  auto scaled = tree.Intersect({{50.0f, 100.0f, 50.0f}, {0, -10, 0}});
  ASSERT_TRUE(scaled);
  EXPECT_NEAR(scaled->distance, 100.0f - Height(50.0f, 50.0f), 1e-3f);
  EXPECT_FALSE(tree.Intersect({{50.0f, 100.0f, 50.0f}, {0, 0, 0}}));
  // A distance limit.
  EXPECT_FALSE(tree.Intersect({{50.0f, 100.0f, 50.0f}, {0, -1, 0}}, 50.0f));
}

TEST(TriangleOctree, AgreesWithBruteForceOnRandomRays) {
  MeshData data = Terrain(30, 60.0f);
  const std::vector<glm::vec3> tris = ExtractTriangles(data);
  for (int depth : {0, 3, 6}) {
    TriangleOctree tree;
    tree.Build(data, depth);
    uint32_t seed = 12345;
    auto rnd = [&] {
      seed = seed * 1664525u + 1013904223u;
      return float(seed >> 8) / float(1 << 24);
    };
    int hits = 0;
    for (int k = 0; k < 500; ++k) {
      glm::vec3 o(rnd() * 80 - 10, rnd() * 30 - 5, rnd() * 80 - 10);
      glm::vec3 d = glm::normalize(glm::vec3(rnd() - 0.5f, rnd() - 0.5f, rnd() - 0.5f) + glm::vec3(1e-3f));
      if (k % 5 == 0) d = {0, -1, 0};  // axis-parallel rays take the zero-component path
      Ray ray{o, d};
      float expected = BruteForce(tris, ray);
      auto hit = tree.Intersect(ray);
      if (std::isinf(expected)) {
        EXPECT_FALSE(hit) << "depth " << depth << " ray " << k;
      } else {
        ASSERT_TRUE(hit) << "depth " << depth << " ray " << k;
        EXPECT_NEAR(hit->distance, expected, 1e-3f) << "depth " << depth << " ray " << k;
        ++hits;
      }
    }
    EXPECT_GT(hits, 100);
  }
}

TEST(TriangleOctree, PlacedModelAnswersInWorldTerms) {
  // A z-up floor quad at model height z = 1, pitched upright (model +z to
  // world +y), scaled by 2 and lifted by 3: the floor is at world y = 5.
  MeshData data;
  MeshObject obj;
  obj.positions = {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}};
  obj.faceGroups.push_back({"", {0, 1, 2, 0, 2, 3}});
  data.objects.push_back(obj);
  TriangleOctree tree;
  tree.Build(data, 3);
  glm::mat4 m = glm::translate(glm::mat4(1.0f), {0, 3, 0}) *
                glm::rotate(glm::mat4(1.0f), glm::radians(-90.0f), glm::vec3(1, 0, 0)) *
                glm::scale(glm::mat4(1.0f), glm::vec3(2.0f, 2.0f, 2.0f));
  auto hit = IntersectPlaced(tree, m, {{1.5f, 20, -1.5f}, {0, -1, 0}});
  ASSERT_TRUE(hit);
  EXPECT_NEAR(hit->point.y, 5.0f, 1e-5f);
  EXPECT_NEAR(hit->distance, 15.0f, 1e-4f);
  EXPECT_NEAR(hit->normal.y, 1.0f, 1e-5f);
  EXPECT_FALSE(IntersectPlaced(tree, m, {{2.5f, 20, 0}, {0, -1, 0}}));  // beside the scaled quad
  EXPECT_FALSE(IntersectPlaced(tree, glm::scale(glm::mat4(1.0f), {1, 0, 1}), {{0, 20, 0}, {0, -1, 0}}));
}

TEST(TriangleOctree, EmptyAndDegenerateInput) {
  TriangleOctree tree;
  EXPECT_FALSE(tree.Built());
  EXPECT_FALSE(tree.Intersect({{0, 1, 0}, {0, -1, 0}}));
  tree.Build(MeshData{}, 3);
  EXPECT_TRUE(tree.Built());
  EXPECT_FALSE(tree.Intersect({{0, 1, 0}, {0, -1, 0}}));
  // One flat triangle, a degenerate one and one with a NaN corner.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  tree.Build({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {2, 0, 0}, {2, 0, 0}, {2, 0, 0}, {nan, 0, 0}, {1, 0, 0}, {0, 0, 1}}, 3);
  EXPECT_EQ(tree.TriangleCount(), 3u);
  auto hit = tree.Intersect({{0.25f, 5, 0.25f}, {0, -1, 0}});
  ASSERT_TRUE(hit);
  EXPECT_FLOAT_EQ(hit->distance, 5.0f);
  tree.Clear();
  EXPECT_FALSE(tree.Built());

  // Thousands of triangles through one point do not multiply in the cells.
  std::vector<glm::vec3> fan;
  for (int i = 0; i < 5000; ++i) {
    float a = 6.2831853f * float(i) / 5000.0f, b = 6.2831853f * float(i + 1) / 5000.0f;
    fan.insert(fan.end(), {{0, 0, 0}, {std::cos(a), 0, std::sin(a)}, {std::cos(b), 0, std::sin(b)}});
  }
  fan.insert(fan.end(), 3000 * 3, glm::vec3(0.0f));  // and coinciding specks at the centre
  tree.Build(fan, 3);
  EXPECT_LT(tree.LeafReferences(), 8000u * 16u);
  auto fanHit = tree.Intersect({{0.5f, 1, 0.01f}, {0, -1, 0}});
  ASSERT_TRUE(fanHit);
  EXPECT_FLOAT_EQ(fanHit->distance, 1.0f);
}

TEST(TriangleOctree, QueryBoxFindsTheTrianglesAround) {
  MeshData data = Terrain(10, 10.0f);
  TriangleOctree tree;
  tree.Build(data, 3);
  std::vector<uint32_t> found;
  tree.QueryBox({2.2f, -10, 2.2f}, {2.8f, 10, 2.8f}, found);
  // The two triangles of the quad (2,2)-(3,3) are 44 and 45.
  EXPECT_NE(std::find(found.begin(), found.end(), 44u), found.end());
  EXPECT_NE(std::find(found.begin(), found.end(), 45u), found.end());
  EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
  EXPECT_LT(found.size(), 60u);
}

}  // namespace
}  // namespace kavo::scene

namespace kavo::scene {
namespace {

// Rays through an edge or a corner that triangles share hit at least one of
// them: never none, whatever rounding does to the coordinates.
TEST(Watertight, SharedEdgesAndCornersAreNeverMissed) {
  // Two triangles on a diagonal, and a fan of eight around a centre point.
  const glm::vec3 a(-3.7f, 0.25f, -1.1f), b(5.3f, 0.25f, -1.1f), c(5.3f, 0.25f, 7.9f), d(-3.7f, 0.25f, 7.9f);
  std::vector<glm::vec3> tris = {a, b, c, a, c, d};
  // The fan is flat and closed: its triangles share their spoke corners
  // exactly (a fan that merely nearly closes has a real gap).
  const glm::vec3 centre(20.1f, -0.7f, 3.3f);
  glm::vec3 spoke[8];
  for (int k = 0; k < 8; ++k) spoke[k] = centre + glm::vec3(std::cos(0.785398f * k) * 2.3f, 0.0f, std::sin(0.785398f * k) * 1.7f);
  for (int k = 0; k < 8; ++k) tris.insert(tris.end(), {centre, spoke[k], spoke[(k + 1) % 8]});
  MeshData data;
  MeshObject obj;
  obj.positions = tris;
  FaceGroup g;
  for (uint32_t i = 0; i < tris.size(); ++i) g.indices.push_back(i);
  obj.faceGroups.push_back(g);
  data.objects.push_back(obj);
  TriangleOctree tree;
  tree.Build(data, 3);

  int rays = 0;
  auto expectHit = [&](const glm::vec3& target, const glm::vec3& from) {
    Ray ray;
    ray.origin = from;
    ray.direction = glm::normalize(target - from);
    ++rays;
    EXPECT_GE(BruteForce(tris, ray), 0.0f) << "through " << target.x << " " << target.y << " " << target.z;
    EXPECT_TRUE(tree.Intersect(ray).has_value()) << "octree, through " << target.x << " " << target.y;
  };
  const glm::vec3 eyes[] = {{0.3f, 40.0f, 2.1f}, {-17.0f, 9.5f, 30.0f}, {11.0f, 3.3f, -8.0f}, {20.1f, 50.0f, 3.3f}};
  for (const glm::vec3& eye : eyes) {
    // Inside points of the diagonal (its ends are the floor's outer corners,
    // where a ray may rightly pass beside the floor), the fan's centre and
    // points along its spokes.
    for (int i = 1; i < 200; ++i) expectHit(a + (c - a) * (i / 200.0f), eye);
    expectHit(centre, eye);
    for (int k = 0; k < 8; ++k) expectHit(glm::mix(centre, spoke[k], 0.37f), eye);
  }
  EXPECT_GT(rays, 800);
}

TEST(Watertight, RaysAlongTheOctreesCellBoundariesFindTheFloor) {
  // A floor big enough to be cut into cells; rays straight down exactly on
  // the planes between cells, at their edges and corners.
  MeshData data = Terrain(64, 64.0f);
  for (glm::vec3& p : data.objects[0].positions) p.y = 0.0f;
  TriangleOctree tree;
  tree.Build(data, 4);
  for (float x : {0.0f, 8.0f, 16.0f, 32.0f, 48.0f, 64.0f})
    for (float z : {0.0f, 4.0f, 16.0f, 32.0f, 40.5f, 64.0f}) {
      Ray ray;
      ray.origin = {x, 10.0f, z};
      ray.direction = {0.0f, -1.0f, 0.0f};
      auto hit = tree.Intersect(ray);
      ASSERT_TRUE(hit.has_value()) << x << " " << z;
      EXPECT_EQ(hit->point.y, 0.0f);
      EXPECT_FLOAT_EQ(hit->distance, 10.0f);
    }
}

}  // namespace
}  // namespace kavo::scene
