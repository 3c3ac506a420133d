// Route quality and query time on floors of about 1,000, 10,000 and 100,000
// triangles: a square grid of unit squares (two triangles each) with 100
// rectangular holes. For 1,000 random start/goal pairs on the floor, the
// route length is compared with the true shortest way (Dijkstra over the
// visibility graph of the holes' corners), for the engine's navigation and,
// as a yardstick, for Detour over the same triangles (3-vertex polygons,
// cell size 1, neighbours from shared edges).
//
// Times are per query (the fastest of three runs of it), averaged.
//
// usage: bench_routes [pairs]   prints one table row per floor and engine
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <queue>
#include <random>
#include <vector>

#include <recastnavigation/DetourNavMesh.h>
#include <recastnavigation/DetourNavMeshBuilder.h>
#include <recastnavigation/DetourNavMeshQuery.h>

#include "world/kavoroom.h"
#include "world/navigation.h"

namespace {

constexpr int kRepeats = 3;

struct Hole {
  int x0, z0, x1, z1;  // squares [x0, x1) x [z0, z1)
};

struct Floor {
  int size = 0;  // squares per side
  std::vector<Hole> holes;
  std::vector<std::array<int, 6>> tris;  // (x, z) of three corners
};

// A floor of size x size squares with a 10 x 10 pattern of holes, each at
// least one square away from its neighbours and the border.
Floor MakeFloor(int size, int maxHole, std::mt19937& rng) {
  Floor f;
  f.size = size;
  std::vector<char> hole(size_t(size) * size, 0);
  for (int hj = 0; hj < 10; ++hj)
    for (int hi = 0; hi < 10; ++hi) {
      const int bx0 = hi * size / 10, bx1 = (hi + 1) * size / 10, bz0 = hj * size / 10, bz1 = (hj + 1) * size / 10;
      auto pick = [&](int b0, int b1, int& h0, int& h1) {
        const int room = b1 - b0 - 2;  // one free square on each side
        const int len = std::uniform_int_distribution<int>(1, std::max(1, std::min(maxHole, room)))(rng);
        h0 = b0 + 1 + std::uniform_int_distribution<int>(0, std::max(0, room - len))(rng);
        h1 = h0 + len;
      };
      Hole h;
      pick(bx0, bx1, h.x0, h.x1);
      pick(bz0, bz1, h.z0, h.z1);
      f.holes.push_back(h);
      for (int z = h.z0; z < h.z1; ++z)
        for (int x = h.x0; x < h.x1; ++x) hole[size_t(z) * size + x] = 1;
    }
  for (int z = 0; z < size; ++z)
    for (int x = 0; x < size; ++x) {
      if (hole[size_t(z) * size + x]) continue;
      f.tris.push_back({x, z, x + 1, z, x + 1, z + 1});
      f.tris.push_back({x, z, x + 1, z + 1, x, z + 1});
    }
  return f;
}

bool InHole(const Floor& f, double x, double z) {
  for (const Hole& h : f.holes)
    if (x >= h.x0 && x <= h.x1 && z >= h.z0 && z <= h.z1) return true;
  return false;
}

// ---------------------------------------------------------------- true shortest

struct P2 {
  double x, z;
};

// Whether segment a-b passes through the inside of a hole (running along
// its sides or through its corners is fine).
bool Blocked(const Floor& f, P2 a, P2 b) {
  for (const Hole& h : f.holes) {
    double t0 = 0, t1 = 1;
    const double d[2] = {b.x - a.x, b.z - a.z}, o[2] = {a.x, a.z};
    const double lo[2] = {double(h.x0), double(h.z0)}, hi[2] = {double(h.x1), double(h.z1)};
    bool out = false;
    for (int k = 0; k < 2 && !out; ++k) {
      if (d[k] == 0) {
        if (o[k] <= lo[k] || o[k] >= hi[k]) out = true;
        continue;
      }
      double u0 = (lo[k] - o[k]) / d[k], u1 = (hi[k] - o[k]) / d[k];
      if (u0 > u1) std::swap(u0, u1);
      t0 = std::max(t0, u0);
      t1 = std::min(t1, u1);
      if (t0 >= t1) out = true;
    }
    if (out) continue;
    const double t = 0.5 * (t0 + t1), x = a.x + t * d[0], z = a.z + t * d[1];
    if (x > lo[0] && x < hi[0] && z > lo[1] && z < hi[1]) return true;
  }
  return false;
}

struct Visibility {
  std::vector<P2> corners;
  std::vector<std::vector<std::pair<int, double>>> edges;
};

Visibility CornerGraph(const Floor& f) {
  Visibility v;
  for (const Hole& h : f.holes)
    for (P2 p : {P2{double(h.x0), double(h.z0)}, P2{double(h.x1), double(h.z0)}, P2{double(h.x1), double(h.z1)},
                 P2{double(h.x0), double(h.z1)}})
      v.corners.push_back(p);
  const int n = int(v.corners.size());
  v.edges.resize(n);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (!Blocked(f, v.corners[i], v.corners[j])) {
        const double d = std::hypot(v.corners[i].x - v.corners[j].x, v.corners[i].z - v.corners[j].z);
        v.edges[i].push_back({j, d});
        v.edges[j].push_back({i, d});
      }
  return v;
}

double Shortest(const Floor& f, const Visibility& v, P2 s, P2 g) {
  if (!Blocked(f, s, g)) return std::hypot(g.x - s.x, g.z - s.z);
  const int n = int(v.corners.size());
  std::vector<double> dist(n, 1e300);
  using Item = std::pair<double, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
  for (int i = 0; i < n; ++i)
    if (!Blocked(f, s, v.corners[i])) {
      dist[i] = std::hypot(v.corners[i].x - s.x, v.corners[i].z - s.z);
      q.push({dist[i], i});
    }
  std::vector<char> toGoal(n, 0);
  for (int i = 0; i < n; ++i) toGoal[i] = !Blocked(f, v.corners[i], g);
  double best = 1e300;
  while (!q.empty()) {
    auto [d, i] = q.top();
    q.pop();
    if (d > dist[i] || d >= best) continue;
    if (toGoal[i]) best = std::min(best, d + std::hypot(g.x - v.corners[i].x, g.z - v.corners[i].z));
    for (auto [j, w] : v.edges[i])
      if (d + w < dist[j]) {
        dist[j] = d + w;
        q.push({dist[j], j});
      }
  }
  return best;
}

// ---------------------------------------------------------------- Detour

struct DetourMesh {
  dtNavMesh* mesh = nullptr;
  dtNavMeshQuery* query = nullptr;
  ~DetourMesh() {
    dtFreeNavMeshQuery(query);
    dtFreeNavMesh(mesh);
  }
};

// The floor's triangles in tiles of whole columns (a tile holds at most
// 32768 polygons); edges on a tile's side towards another tile are portals.
bool BuildDetour(const Floor& f, DetourMesh& out) {
  const int tileColumns = std::min(f.size, 60);
  const int tiles = (f.size + tileColumns - 1) / tileColumns;
  out.mesh = dtAllocNavMesh();
  dtNavMeshParams np{};
  np.orig[0] = 0;
  np.orig[1] = 0;
  np.orig[2] = 0;
  np.tileWidth = float(tileColumns);
  np.tileHeight = float(f.size);
  np.maxTiles = tiles;
  np.maxPolys = 32768;
  if (dtStatusFailed(out.mesh->init(&np))) return false;
  for (int t = 0; t < tiles; ++t) {
    const int x0 = t * tileColumns, x1 = std::min(f.size, x0 + tileColumns);
    std::vector<std::array<int, 6>> tris;
    for (const auto& tri : f.tris) {
      const int mx = std::min({tri[0], tri[2], tri[4]});
      if (mx >= x0 && mx < x1) tris.push_back(tri);
    }
    std::map<std::pair<int, int>, int> vertexOf;
    std::vector<unsigned short> verts;
    auto vertex = [&](int x, int z) {
      auto [it, added] = vertexOf.insert({{x, z}, int(verts.size() / 3)});
      if (added) verts.insert(verts.end(), {static_cast<unsigned short>(x - x0), 0, static_cast<unsigned short>(z)});
      return it->second;
    };
    const int n = int(tris.size());
    std::vector<unsigned short> polys(size_t(n) * 6, 0xffff);
    std::map<std::pair<int, int>, std::pair<int, int>> edgeOf;  // (v, w) -> (poly, side)
    for (int i = 0; i < n; ++i) {
      // Detour wants clockwise corners seen from above (+y): reverse ours.
      const int v[3] = {vertex(tris[i][0], tris[i][1]), vertex(tris[i][4], tris[i][5]), vertex(tris[i][2], tris[i][3])};
      for (int k = 0; k < 3; ++k) polys[size_t(i) * 6 + k] = static_cast<unsigned short>(v[k]);
      for (int k = 0; k < 3; ++k) {
        const int a = v[k], b = v[(k + 1) % 3];
        auto other = edgeOf.find({b, a});
        if (other != edgeOf.end()) {
          polys[size_t(i) * 6 + 3 + k] = static_cast<unsigned short>(other->second.first);
          polys[size_t(other->second.first) * 6 + 3 + other->second.second] = static_cast<unsigned short>(i);
        } else {
          edgeOf[{a, b}] = {i, k};
        }
      }
    }
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) {
        unsigned short& nei = polys[size_t(i) * 6 + 3 + k];
        if (nei != 0xffff) continue;
        const unsigned short* a = &verts[size_t(polys[size_t(i) * 6 + k]) * 3];
        const unsigned short* b = &verts[size_t(polys[size_t(i) * 6 + (k + 1) % 3]) * 3];
        if (a[0] == 0 && b[0] == 0 && x0 > 0) nei = 0x8000 | 0;                           // towards -x
        if (a[0] == x1 - x0 && b[0] == x1 - x0 && x1 < f.size) nei = 0x8000 | 2;        // towards +x
      }
    std::vector<unsigned short> flags(n, 1);
    std::vector<unsigned char> areas(n, 0);
    dtNavMeshCreateParams p{};
    p.verts = verts.data();
    p.vertCount = int(verts.size() / 3);
    p.polys = polys.data();
    p.polyFlags = flags.data();
    p.polyAreas = areas.data();
    p.polyCount = n;
    p.nvp = 3;
    p.tileX = t;
    p.tileY = 0;
    p.bmin[0] = float(x0);
    p.bmin[1] = -1;
    p.bmin[2] = 0;
    p.bmax[0] = float(x1);
    p.bmax[1] = 1;
    p.bmax[2] = float(f.size);
    p.walkableHeight = 2;
    p.walkableRadius = 0;
    p.walkableClimb = 1;
    p.cs = 1;
    p.ch = 1;
    p.buildBvTree = true;
    unsigned char* data = nullptr;
    int dataSize = 0;
    if (!dtCreateNavMeshData(&p, &data, &dataSize)) return false;
    if (dtStatusFailed(out.mesh->addTile(data, dataSize, DT_TILE_FREE_DATA, 0, nullptr))) {
      dtFree(data);
      return false;
    }
  }
  out.query = dtAllocNavMeshQuery();
  return dtStatusSucceed(out.query->init(out.mesh, 65535));
}

double Length(const std::vector<glm::vec3>& nodes) {
  double l = 0;
  for (size_t i = 1; i < nodes.size(); ++i) l += std::hypot(double(nodes[i].x) - nodes[i - 1].x, double(nodes[i].z) - nodes[i - 1].z);
  return l;
}

struct Stats {
  std::vector<double> ratios;
  int failures = 0;
  double seconds = 0;
  void Print(const char* engine, int triangles, int pairs) const {
    std::vector<double> r = ratios;
    std::sort(r.begin(), r.end());
    double mean = 0;
    for (double x : r) mean += x;
    mean = r.empty() ? 0 : mean / r.size();
    const double p95 = r.empty() ? 0 : r[std::min(r.size() - 1, size_t(std::ceil(0.95 * r.size())) - 1)];
    const double lowest = r.empty() ? 0 : r.front(), worst = r.empty() ? 0 : r.back();
    std::printf("%-7s %8d  ratio mean %.4f  p95 %.4f  min %.4f  max %.4f  failed %4d  time/query %8.2f us\n", engine,
                triangles, mean, p95, lowest, worst, failures, 1e6 * seconds / pairs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  struct Size {
    int squares, maxHole;
  } sizes[] = {{25, 1}, {75, 5}, {240, 16}};
  using Clock = std::chrono::steady_clock;
  for (const Size& size : sizes) {
    std::mt19937 rng(7 + size.squares);
    const Floor f = MakeFloor(size.squares, size.maxHole, rng);
    const int triangles = int(f.tris.size());

    // Floor point (x, 0, z) is file point (x, -z, 0).
    std::vector<glm::vec3> file;
    for (const auto& t : f.tris)
      for (int k = 0; k < 3; ++k) file.push_back({float(t[2 * k]), -float(t[2 * k + 1]), 0.0f});
    std::vector<kavo::TNavigationCell> cells = kavo::BuildNavigationCells(file);
    kavo::LinkNavigationCells(cells);
    kavo::TNavigation nav;
    nav.SetCells(std::move(cells));

    DetourMesh detour;
    if (!BuildDetour(f, detour)) {
      std::fprintf(stderr, "Detour mesh build failed for %d triangles\n", triangles);
      return 1;
    }
    dtQueryFilter filter;
    const float extents[3] = {0.5f, 1.0f, 0.5f};

    const Visibility vis = CornerGraph(f);
    std::uniform_real_distribution<float> coord(0.0f, float(f.size));
    Stats ours, theirs;
    std::vector<dtPolyRef> corridor(16384);
    std::vector<float> straight(3 * 4096);
    std::vector<unsigned char> straightFlags(4096);
    std::vector<dtPolyRef> straightRefs(4096);
    for (int k = 0; k < pairs; ++k) {
      glm::vec3 s, g;
      do s = {coord(rng), 0.0f, coord(rng)};
      while (InHole(f, s.x, s.z));
      do g = {coord(rng), 0.0f, coord(rng)};
      while (InHole(f, g.x, g.z));
      const double best = Shortest(f, vis, {s.x, s.z}, {g.x, g.z});

      // Each query runs kRepeats times and counts with its fastest run: the
      // machine may be shared, and a busy moment should not decide.
      std::vector<glm::vec3> route;
      double fastest = 1e300;
      for (int r = 0; r < kRepeats; ++r) {
        const auto t0 = Clock::now();
        route = nav.PlanRoute(s, g);
        fastest = std::min(fastest, std::chrono::duration<double>(Clock::now() - t0).count());
      }
      ours.seconds += fastest;
      if (route.size() < 2 || route.back() != g)
        ++ours.failures;
      else
        ours.ratios.push_back(best > 0 ? Length(route) / best : 1.0);

      const float sp[3] = {s.x, 0, s.z}, gp[3] = {g.x, 0, g.z};
      float sn[3], gn[3];
      dtPolyRef sr = 0, gr = 0;
      int count = 0, straightCount = 0;
      dtStatus st = 0;
      fastest = 1e300;
      for (int r = 0; r < kRepeats; ++r) {
        const auto t0 = Clock::now();
        count = straightCount = 0;
        detour.query->findNearestPoly(sp, extents, &filter, &sr, sn);
        detour.query->findNearestPoly(gp, extents, &filter, &gr, gn);
        st = detour.query->findPath(sr, gr, sn, gn, &filter, corridor.data(), &count, int(corridor.size()));
        if (dtStatusSucceed(st) && count > 0)
          st = detour.query->findStraightPath(sn, gn, corridor.data(), count, straight.data(), straightFlags.data(),
                                              straightRefs.data(), &straightCount, int(straightFlags.size()));
        fastest = std::min(fastest, std::chrono::duration<double>(Clock::now() - t0).count());
      }
      theirs.seconds += fastest;
      std::vector<glm::vec3> path;
      for (int i = 0; i < straightCount; ++i) path.push_back({straight[3 * i], 0.0f, straight[3 * i + 2]});
      if (!dtStatusSucceed(st) || (st & DT_PARTIAL_RESULT) || path.size() < 2 ||
          glm::distance(path.back(), g) > 1e-3f)
        ++theirs.failures;
      else
        theirs.ratios.push_back(best > 0 ? Length(path) / best : 1.0);
    }
    ours.Print("kavo", triangles, pairs);
    theirs.Print("detour", triangles, pairs);
    std::fflush(stdout);
  }
  return 0;
}
