// Navigation routes: locating points (and the grid against the plain walk),
// the cell search, line of sight, shortening and the segment test.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "world/kavoroom.h"
#include "world/navigation.h"

namespace kavo::test {
namespace {

using Tri = std::array<glm::vec3, 3>;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Cells from triangles given in floor space (x, height, z), linked as the
// room links them.
std::vector<TNavigationCell> Cells(const std::vector<Tri>& tris) {
  std::vector<glm::vec3> file;
  for (const Tri& t : tris)
    for (const glm::vec3& v : t) file.push_back({v.x, -v.z, v.y});  // floor (x, y, z) is file (x, -z, y)
  std::vector<TNavigationCell> cells = BuildNavigationCells(file);
  LinkNavigationCells(cells);
  return cells;
}

// Unit squares (x, z) .. (x + 1, z + 1) at height 0, two triangles each,
// split along the same diagonal.
std::vector<Tri> Squares(const std::vector<std::pair<int, int>>& squares) {
  std::vector<Tri> tris;
  for (auto [x, z] : squares) {
    const glm::vec3 p00(x, 0, z), p10(x + 1, 0, z), p11(x + 1, 0, z + 1), p01(x, 0, z + 1);
    tris.push_back({p00, p10, p11});
    tris.push_back({p00, p11, p01});
  }
  return tris;
}

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

bool SameBits(const glm::vec3& a, const glm::vec3& b) {
  return Bits(a.x) == Bits(b.x) && Bits(a.y) == Bits(b.y) && Bits(a.z) == Bits(b.z);
}

bool OnMesh(const TNavigation& nav, const glm::vec3& p) {
  for (const TNavigationCell& c : nav.Cells())
    if (CellContains(c, p)) return true;
  return false;
}

TEST(NavigationGeometry, SegmentIntersection) {
  auto P = [](float x, float z) { return glm::vec3(x, 7.0f, z); };  // height plays no part
  struct Case {
    const char* what;
    glm::vec3 p1, p2, p3, p4;
    bool meet;
  } cases[] = {
      {"crossing", P(0, 0), P(2, 2), P(0, 2), P(2, 0), true},
      {"touching ends", P(0, 0), P(1, 1), P(1, 1), P(2, 0), true},
      {"end on the other's middle", P(1, 0), P(1, 1), P(0, 1), P(2, 1), true},
      {"parallel apart", P(0, 0), P(2, 0), P(0, 1), P(2, 1), false},
      {"collinear overlapping", P(0, 0), P(2, 0), P(1, 0), P(3, 0), true},
      {"collinear apart", P(0, 0), P(1, 0), P(2, 0), P(3, 0), false},
      {"collinear end to end", P(0, 0), P(1, 0), P(1, 0), P(3, 0), true},
      {"disjoint, boxes overlap", P(0, 0), P(2, 2), P(2, 0), P(1.1f, 0.9f), false},
      {"disjoint boxes", P(0, 0), P(1, 1), P(2, 2), P(3, 0), false},
      {"a point on the segment", P(0, 0), P(2, 2), P(1, 1), P(1, 1), true},
      {"NaN", P(0, 0), P(2, 2), P(kNaN, 0), P(2, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SegmentsIntersect(c.p1, c.p2, c.p3, c.p4), c.meet);
    EXPECT_EQ(SegmentsIntersect(c.p3, c.p4, c.p1, c.p2), c.meet);  // either order
    EXPECT_EQ(SegmentsIntersect(c.p2, c.p1, c.p4, c.p3), c.meet);  // either direction
  }
}

TEST(NavigationGeometry, PointInCellCountsEdgesAndCornersAndNeedsFloorArea) {
  TNavigationCell flat;
  flat.a = {0, 5, 0};
  flat.b = {4, 5, 0};
  flat.c = {0, 5, 4};
  for (glm::vec3 p : {glm::vec3(1, 0, 1), glm::vec3(2, 100, 2), glm::vec3(0, 0, 0), glm::vec3(4, 0, 0),
                      glm::vec3(0, 0, 2)})
    EXPECT_TRUE(CellContains(flat, p)) << p.x << " " << p.z;
  for (glm::vec3 p : {glm::vec3(2.01f, 0, 2.01f), glm::vec3(-0.001f, 0, 1), glm::vec3(5, 0, 0), glm::vec3(kNaN, 0, 1)})
    EXPECT_FALSE(CellContains(flat, p)) << p.x << " " << p.z;

  // Upright: all three corners on one floor line.
  TNavigationCell upright;
  upright.a = {0, 0, 0};
  upright.b = {4, 0, 4};
  upright.c = {2, 3, 2};
  for (glm::vec3 p : {glm::vec3(0, 0, 0), glm::vec3(2, 0, 2), glm::vec3(1, 1, 1)}) EXPECT_FALSE(CellContains(upright, p));
}

TEST(NavigationLocate, HeightDecidesAmongCellsSharingAnEdgeOrCorner) {
  // A fan of four triangles around (0, z, 0) with corners at different
  // heights, so the centres differ in height.
  const glm::vec3 o(0, 0, 0), e(4, 3, 0), n(0, -1, 4), w(-4, 6, 0), s(0, 1, -4);
  TNavigation nav;
  nav.SetCells(Cells({{o, e, n}, {o, n, w}, {o, w, s}, {o, s, e}}));
  // Centre heights: 2/3, 5/3, 7/3, 4/3.
  struct Case {
    const char* what;
    glm::vec3 p;
    int cell;
  } cases[] = {
      {"inside", {1, 0, 1}, 0},
      {"shared edge, lower cell", {0, 0, 2}, 0},
      {"shared edge, point nearer the higher centre", {0, 1.8f, 2}, 1},
      {"shared corner", {0, 0, 0}, 0},
      {"shared corner from above", {0, 2.2f, 0}, 2},
      {"shared corner between two heights", {0, 1.5f, 0}, 1},  // 1/6 from cells 1 and 3: the first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    glm::vec3 p = c.p, q = c.p;
    EXPECT_EQ(nav.Locate(p), c.cell);
    EXPECT_TRUE(SameBits(p, c.p));  // found inside: not moved
    EXPECT_EQ(nav.LocateByScan(q), c.cell);
  }

  glm::vec3 off(10, 0, 1);  // off the mesh: the nearest centre, and it moves there
  EXPECT_EQ(nav.Locate(off), 0);
  EXPECT_TRUE(SameBits(off, nav.Cells()[0].centre));
  glm::vec3 far(2e7f, 0, 0), nan(kNaN, 0, 0), high(1, 2e6f, 1);
  EXPECT_EQ(nav.Locate(far), -1);
  EXPECT_EQ(nav.Locate(nan), -1);
  EXPECT_EQ(nav.Locate(high), 2);  // too high above the containing cell: the nearest (highest) centre
  EXPECT_TRUE(SameBits(high, nav.Cells()[2].centre));
}

// A random floor: a jittered grid with bumps, a second storey over part of
// it, upright and sliver cells, one huge cell and a few far away.
std::vector<Tri> RandomMesh(std::mt19937& rng) {
  std::uniform_real_distribution<float> jitter(-0.3f, 0.3f), bump(-0.5f, 0.5f);
  const int n = 30;
  std::vector<glm::vec3> v((n + 1) * (n + 1));
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const bool border = i == 0 || j == 0 || i == n || j == n;
      v[j * (n + 1) + i] = {i + (border ? 0 : jitter(rng)), bump(rng), j + (border ? 0 : jitter(rng))};
    }
  std::vector<Tri> tris;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const glm::vec3 a = v[j * (n + 1) + i], b = v[j * (n + 1) + i + 1], c = v[(j + 1) * (n + 1) + i + 1],
                      d = v[(j + 1) * (n + 1) + i];
      tris.push_back({a, b, c});
      tris.push_back({a, c, d});
      if (i >= 10 && i < 20 && j >= 5 && j < 15) {  // the storey above
        const glm::vec3 up(0, 4, 0);
        tris.push_back({a + up, b + up, c + up});
        tris.push_back({a + up, c + up, d + up});
      }
    }
  tris.push_back({glm::vec3(3, 0, 3), glm::vec3(9, 2, 9), glm::vec3(6, 8, 6)});       // upright
  tris.push_back({glm::vec3(0, 0, 7), glm::vec3(30, 0, 7.001f), glm::vec3(30, 1, 7)});  // sliver
  tris.push_back({glm::vec3(-1e5f, 10, 100), glm::vec3(1e5f, 10, 100), glm::vec3(0, 10, 1e5f)});  // huge
  tris.push_back({glm::vec3(5e6f, 0, 5e6f), glm::vec3(5e6f + 1, 0, 5e6f), glm::vec3(5e6f, 0, 5e6f + 1)});
  tris.push_back({glm::vec3(-3e7f, 0, 0), glm::vec3(-3e7f, 0, 1), glm::vec3(-3e7f + 1, 0, 0)});
  return tris;
}

TEST(NavigationLocate, GridEqualsTheWalkOverEveryCell) {
  std::mt19937 rng(20261210);
  TNavigation nav;
  nav.SetCells(Cells(RandomMesh(rng)));
  const auto& cells = nav.Cells();
  std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(-10.0f, 40.0f), height(-3.0f, 8.0f);
  std::uniform_int_distribution<size_t> anyCell(0, cells.size() - 1);
  int moved = 0, inside = 0;
  for (int k = 0; k < 10000; ++k) {
    glm::vec3 p;
    const TNavigationCell& c = cells[anyCell(rng)];
    const int corner = k % 3;
    switch (k % 6) {
      case 0:  // anywhere around the floor
      case 1:
        p = {wide(rng), height(rng), wide(rng)};
        break;
      case 2: {  // on a side
        const float t = unit(rng);
        p = c.Vertex(corner) + t * (c.Vertex((corner + 1) % 3) - c.Vertex(corner));
        break;
      }
      case 3:  // a corner
        p = c.Vertex(corner);
        break;
      case 4:  // inside a cell, at some height
        p = c.centre * 0.5f + c.Vertex(corner) * 0.5f;
        p.y = height(rng);
        break;
      default:  // far: off the floor, above it or out of reach
        p = {wide(rng) * std::pow(10.0f, float(k % 7)), height(rng) * std::pow(10.0f, float(k % 8)),
             wide(rng) * 1e5f * unit(rng)};
        break;
    }
    glm::vec3 byGrid = p, byScan = p;
    const int g = nav.Locate(byGrid), s = nav.LocateByScan(byScan);
    ASSERT_EQ(g, s) << k << ": " << p.x << " " << p.y << " " << p.z;
    ASSERT_TRUE(SameBits(byGrid, byScan)) << k;
    moved += g >= 0 && !SameBits(byGrid, p);
    inside += g >= 0 && SameBits(byGrid, p);
  }
  // Both branches were well exercised.
  EXPECT_GT(moved, 1000);
  EXPECT_GT(inside, 3000);
}

TEST(NavigationRoutes, SameCellAndOffMeshGoal) {
  TNavigation nav;
  nav.SetCells(Cells(Squares({{0, 0}, {1, 0}})));
  const glm::vec3 s(1.5f, 0, 0.1f), g(1.9f, 0, 0.5f);
  EXPECT_EQ(nav.FindRoute(s, g), (std::vector<glm::vec3>{s, g}));
  EXPECT_EQ(nav.PlanRoute(s, g), (std::vector<glm::vec3>{s, g}));

  // A goal beyond the floor ends at the nearest centre (of cell 2, the lower
  // triangle of the second square).
  const std::vector<glm::vec3> route = nav.PlanRoute(glm::vec3(0.2f, 0, 0.8f), glm::vec3(3, 0, 0.2f));
  ASSERT_GE(route.size(), 2u);
  EXPECT_EQ(route.front(), glm::vec3(0.2f, 0, 0.8f));
  EXPECT_TRUE(SameBits(route.back(), nav.Cells()[2].centre));
  for (const glm::vec3& p : route) EXPECT_TRUE(OnMesh(nav, p));
}

TEST(NavigationRoutes, NoRouteGivesTheStartAlone) {
  // The second square's corner differs in the last bit: not the same edge,
  // so the squares are not linked.
  std::vector<Tri> tris = Squares({{0, 0}, {1, 0}});
  tris[2][0].x = std::nextafter(1.0f, 2.0f);
  tris[3][0].x = tris[2][0].x;
  TNavigation nav;
  nav.SetCells(Cells(tris));
  const glm::vec3 s(0.5f, 0, 0.2f);
  EXPECT_EQ(nav.PlanRoute(s, glm::vec3(1.5f, 0, 0.5f)), std::vector<glm::vec3>{s});
  EXPECT_EQ(nav.PlanRoute(s, glm::vec3(1.5f, kNaN, 0.5f)), std::vector<glm::vec3>{s});  // NaN goal
  EXPECT_EQ(nav.PlanRoute(s, glm::vec3(3e7f, 0, 0)), std::vector<glm::vec3>{s});       // out of reach

  TNavigation none;
  EXPECT_EQ(none.PlanRoute(s, glm::vec3(9, 0, 9)), (std::vector<glm::vec3>{s, glm::vec3(9, 0, 9)}));
}

TEST(NavigationRoutes, StraightCorridorGoesThroughTheWallMidpointsAndShortensToOneLeg) {
  std::vector<std::pair<int, int>> squares;
  for (int i = 0; i < 6; ++i) squares.push_back({i, 0});
  TNavigation nav;
  nav.SetCells(Cells(Squares(squares)));
  const glm::vec3 s(0.2f, 0, 0.5f), g(5.8f, 0, 0.5f);
  const std::vector<glm::vec3> route = nav.FindRoute(s, g);
  // From the start: each square's diagonal, then the wall to the next square.
  std::vector<glm::vec3> expected{s};
  for (int i = 0; i < 6; ++i) {
    if (i > 0) expected.push_back({i, 0, 0.5f});
    expected.push_back({i + 0.5f, 0, 0.5f});
  }
  expected.push_back(g);
  EXPECT_EQ(route, expected);
  EXPECT_EQ(nav.Shorten(route), (std::vector<glm::vec3>{s, g}));
  EXPECT_EQ(nav.PlanRoute(s, g), (std::vector<glm::vec3>{s, g}));
}

TEST(NavigationRoutes, LShapedCorridorBendsAtTheCornerAndStaysOnTheFloor) {
  // Along x from (0, 0) to (5, 1), then up z from (4, 1) to (5, 6).
  std::vector<std::pair<int, int>> squares;
  for (int i = 0; i < 5; ++i) squares.push_back({i, 0});
  for (int j = 1; j < 6; ++j) squares.push_back({4, j});
  TNavigation nav;
  nav.SetCells(Cells(Squares(squares)));
  const glm::vec3 s(0.3f, 0, 0.5f), g(4.5f, 0, 5.7f);
  EXPECT_FALSE(nav.LineOfSight(s, g));
  const std::vector<glm::vec3> route = nav.PlanRoute(s, g);
  ASSERT_GE(route.size(), 3u);
  EXPECT_EQ(route.front(), s);
  EXPECT_EQ(route.back(), g);
  for (size_t i = 0; i < route.size(); ++i) {
    EXPECT_TRUE(OnMesh(nav, route[i])) << i;
    if (i + 1 < route.size()) {
      EXPECT_TRUE(nav.LineOfSight(route[i], route[i + 1])) << i;
    }
  }
  // The bend lies in the corner square.
  bool corner = false;
  for (size_t i = 1; i + 1 < route.size(); ++i)
    corner |= route[i].x >= 4 && route[i].x <= 5 && route[i].z >= 0 && route[i].z <= 1;
  EXPECT_TRUE(corner);
}

TEST(NavigationRoutes, StartOnSharedEdgeAndCorner) {
  TNavigation nav;
  nav.SetCells(Cells(Squares({{0, 0}, {1, 0}, {2, 0}})));
  const glm::vec3 g(2.8f, 0, 0.6f);
  // On the wall between two squares and on a diagonal: the first of the
  // two cells (same heights), which sees the goal.
  for (glm::vec3 s : {glm::vec3(1, 0, 0.5f), glm::vec3(0.5f, 0, 0.5f)})
    EXPECT_EQ(nav.PlanRoute(s, g), (std::vector<glm::vec3>{s, g})) << s.x << " " << s.z;
  // On corners, where the way out touches the floor's border: still a route
  // over the floor.
  for (glm::vec3 s : {glm::vec3(1, 0, 1), glm::vec3(0, 0, 0), glm::vec3(2, 0, 0)}) {
    const std::vector<glm::vec3> route = nav.PlanRoute(s, g);
    ASSERT_GE(route.size(), 2u);
    EXPECT_EQ(route.front(), s);
    EXPECT_EQ(route.back(), g);
    for (const glm::vec3& p : route) EXPECT_TRUE(OnMesh(nav, p));
  }
}

TEST(NavigationRoutes, EdgeSharedByThreeCellsAndBrokenLinksTerminate) {
  // Three triangles on the edge (1, 0)-(1, 1): two on the floor, one an
  // upright fin. The fin takes over the first cell's link, so the links
  // are one-way.
  const glm::vec3 e0(1, 0, 0), e1(1, 0, 1);
  TNavigation nav;
  nav.SetCells(Cells({{glm::vec3(0, 0, 0), e0, e1}, {e1, e0, glm::vec3(2, 0, 0.5f)}, {e0, e1, glm::vec3(1, 2, 0.5f)},
                      {glm::vec3(2, 0, 0.5f), e0, glm::vec3(2, 0, -1)}}));
  const glm::vec3 s(0.3f, 0, 0.5f);
  for (glm::vec3 g : {glm::vec3(1.6f, 0, 0.5f), glm::vec3(1.9f, 0, -0.5f), glm::vec3(1.5f, 1.8f, 0.5f)}) {
    const std::vector<glm::vec3> route = nav.PlanRoute(s, g);
    ASSERT_FALSE(route.empty());
    EXPECT_EQ(route.front(), s);
    if (route.size() > 1) {
      for (const glm::vec3& p : route) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.z));
      glm::vec3 end = g;
      nav.Locate(end);
      EXPECT_EQ(route.back(), end);
    }
  }

  // Links that point nowhere, at the cell itself or one way only.
  std::vector<TNavigationCell> broken = Cells(Squares({{0, 0}, {1, 0}, {2, 0}}));
  broken[0].links[0] = 99;
  broken[1].links[1] = 1;
  broken[2].links[0] = -1;  // 2 no longer links back to 1
  broken[3].links[2] = -7;
  nav.SetCells(broken);
  for (glm::vec3 g : {glm::vec3(1.5f, 0, 0.2f), glm::vec3(2.5f, 0, 0.7f), glm::vec3(0.9f, 0, 0.05f)}) {
    const std::vector<glm::vec3> route = nav.PlanRoute(s, g);
    ASSERT_FALSE(route.empty());
    EXPECT_EQ(route.front(), s);
  }
}

// Meshes as a broken file might give them: infinities, NaNs, tiny and huge
// numbers, and links and numbers that point anywhere. Queries must end, with
// routes no longer than the cells allow, and the grid must still agree with
// the walk.
TEST(NavigationRoutes, HostileMeshesEndAndAgree) {
  std::mt19937 rng(77);
  const float inf = std::numeric_limits<float>::infinity();
  const float palette[] = {0, 1, -1, 2, 0.5f, 1e-40f, -1e-40f, 3e38f, -3e38f, 1e7f, inf, -inf, kNaN, 1e-7f};
  auto number = [&]() -> float {
    if (rng() % 3 == 0) return palette[rng() % std::size(palette)];
    return float(int(rng() % 9) - 4) * (rng() % 2 ? 1.0f : 0.25f);
  };
  auto point = [&]() { return glm::vec3(number(), rng() % 2 ? 0.0f : number(), number()); };
  for (int round = 0; round < 300; ++round) {
    std::vector<glm::vec3> file;
    const int triangles = 1 + int(rng() % 40);
    for (int k = 0; k < 3 * triangles; ++k) file.push_back(point());
    std::vector<TNavigationCell> cells = BuildNavigationCells(file);
    LinkNavigationCells(cells);
    const int n = int(cells.size());
    for (TNavigationCell& c : cells) {
      if (rng() % 4 == 0) c.links[rng() % 3] = int(rng() % (n + 6)) - 3;
      if (rng() % 8 == 0) c.index = int(rng() % (n + 2)) - 1;
    }
    TNavigation nav;
    nav.SetCells(cells);
    for (int q = 0; q < 20; ++q) {
      const glm::vec3 s = point(), g = point();
      glm::vec3 byGrid = g, byScan = g;
      ASSERT_EQ(nav.Locate(byGrid), nav.LocateByScan(byScan)) << round << " " << q;
      ASSERT_TRUE(SameBits(byGrid, byScan));
      const std::vector<glm::vec3> route = nav.FindRoute(s, g);
      ASSERT_FALSE(route.empty());
      EXPECT_TRUE(SameBits(route.front(), s));
      EXPECT_LE(route.size(), size_t(n) + 2);
      EXPECT_LE(nav.Shorten(route).size(), route.size());
      nav.LineOfSight(s, g);
    }
  }
}

}  // namespace
}  // namespace kavo::test
