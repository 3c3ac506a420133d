#include "world/navigation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>

namespace kavo {

namespace {

// Containing cells are looked for up to this height difference, nearest
// centres up to this distance.
constexpr float kMaxHeightDifference = 1000000.0f;
constexpr double kMaxCentreDistance = 10000000.0;

bool Finite(const glm::vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// 3D distance of two points, in double so that nothing overflows or
// underflows: the grid search and the plain walk compare the same numbers.
double CentreDistance(const glm::vec3& c, const glm::vec3& p) {
  const double dx = double(c.x) - p.x, dy = double(c.y) - p.y, dz = double(c.z) - p.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The wallDistances entry for walls w and i (w != i).
int WallPair(int w, int i) {
  const int lo = std::min(w, i), hi = std::max(w, i);
  return lo == 0 ? (hi == 1 ? 0 : 2) : 1;
}

}  // namespace

// The floor-plane form of a cell: its bounds and its sides as start point
// and direction, in double. The sign is that of each corner's orientation
// against the opposite side (all alike), 0 for a cell without area.
struct TNavigationShape {
  float minX = 0, maxX = 0, minZ = 0, maxZ = 0;
  double ax[3] = {}, az[3] = {}, ex[3] = {}, ez[3] = {};
  double sign = 0;

  explicit TNavigationShape(const TNavigationCell& c) {
    minX = std::min({c.a.x, c.b.x, c.c.x});
    maxX = std::max({c.a.x, c.b.x, c.c.x});
    minZ = std::min({c.a.z, c.b.z, c.c.z});
    maxZ = std::max({c.a.z, c.b.z, c.c.z});
    int positive = 0, negative = 0;
    for (int i = 0; i < 3; ++i) {
      const glm::vec3& v0 = c.Vertex(i);
      const glm::vec3& v1 = c.Vertex((i + 1) % 3);
      const glm::vec3& opposite = c.Vertex((i + 2) % 3);
      ax[i] = v0.x;
      az[i] = v0.z;
      ex[i] = double(v1.x) - v0.x;
      ez[i] = double(v1.z) - v0.z;
      const double o = Side(i, opposite);
      positive += o > 0;
      negative += o < 0;
    }
    sign = positive == 3 ? 1.0 : (negative == 3 ? -1.0 : 0.0);
  }
  // cross(side direction, p - side start).y
  double Side(int i, const glm::vec3& p) const { return ez[i] * (p.x - ax[i]) - ex[i] * (p.z - az[i]); }
  bool Contains(const glm::vec3& p) const {
    if (sign == 0) return false;
    if (!(p.x >= minX && p.x <= maxX && p.z >= minZ && p.z <= maxZ)) return false;
    for (int i = 0; i < 3; ++i)
      if (Side(i, p) * sign < 0) return false;
    return true;
  }
};

bool CellContains(const TNavigationCell& cell, const glm::vec3& p) { return TNavigationShape(cell).Contains(p); }

bool SegmentsIntersect(const glm::vec3& p1, const glm::vec3& p2, const glm::vec3& p3, const glm::vec3& p4) {
  // Bounding intervals first (touching counts), then the signed areas.
  if (std::max(p1.x, p2.x) < std::min(p3.x, p4.x) || std::max(p3.x, p4.x) < std::min(p1.x, p2.x)) return false;
  if (std::max(p1.z, p2.z) < std::min(p3.z, p4.z) || std::max(p3.z, p4.z) < std::min(p1.z, p2.z)) return false;
  const double Ax = double(p2.x) - p1.x, Az = double(p2.z) - p1.z;
  const double Bx = double(p3.x) - p4.x, Bz = double(p3.z) - p4.z;
  const double Cx = double(p1.x) - p3.x, Cz = double(p1.z) - p3.z;
  const double f = Az * Bx - Ax * Bz;
  const double d = Bz * Cx - Bx * Cz;
  const double e = Ax * Cz - Az * Cx;
  if (f > 0) return d >= 0 && d <= f && e >= 0 && e <= f;
  return d <= 0 && d >= f && e <= 0 && e >= f;
}

// ---------------------------------------------------------------- the grid

// A uniform grid over the floor-plane rectangle of the cells' centres. Each
// bucket lists (ascending) the cells with area whose bounds overlap it,
// bounds beyond the rectangle clamped to its border buckets; cells that
// would fill too many buckets are kept in one list checked for every point.
// A second set of lists holds the centres by bucket, for the nearest-centre
// search; centres outside the rectangle are kept in a list of their own.
struct TNavigation::Grid {
  double x0 = 0, z0 = 0, width = 0, height = 0;  // the rectangle
  double w = 1, h = 1, invW = 0, invH = 0;       // bucket size
  int nx = 1, nz = 1;
  double slack = 0;          // rounding allowance of the bucket borders
  double minY = 0, maxY = 0;  // of the centres in the buckets
  std::vector<uint32_t> cellStart, cellRefs;
  std::vector<int> oversize;
  std::vector<uint32_t> centreStart, centreRefs;
  std::vector<int> outliers;

  int Column(double x) const { return Clamp(std::floor((x - x0) * invW), nx); }
  int Row(double z) const { return Clamp(std::floor((z - z0) * invH), nz); }
  static int Clamp(double v, int n) {
    if (!(v > 0)) return 0;  // also NaN
    return v >= n - 1 ? n - 1 : int(v);
  }
  double X(int i) const { return x0 + i * w; }
  double Z(int i) const { return z0 + i * h; }
};

TNavigation::TNavigation() = default;
TNavigation::~TNavigation() = default;

void TNavigation::SetCells(std::vector<TNavigationCell> cells) {
  cells_ = std::move(cells);
  shapes_.clear();
  shapes_.reserve(cells_.size());
  for (const TNavigationCell& c : cells_) shapes_.emplace_back(c);
  // The side of each neighbour that links back, for the search: links do
  // not change after this.
  backSide_.assign(cells_.size() * 3, -1);
  for (size_t q = 0; q < cells_.size(); ++q)
    for (int i = 0; i < 3; ++i) {
      const int r = cells_[q].links[i];
      if (r < 0 || size_t(r) >= cells_.size()) continue;
      for (int j = 0; j < 3; ++j)
        if (cells_[r].links[j] == int(q)) {
          backSide_[q * 3 + i] = int8_t(j);
          break;
        }
    }
  openMark_.assign(cells_.size(), 0);
  closedMark_.assign(cells_.size(), 0);
  generation_ = 0;
  BuildGrid();
}

void TNavigation::BuildGrid() {
  grid_.reset();
  if (cells_.empty()) return;
  // A containing cell can be chosen when its centre has a finite height
  // (its x or z may still have overflowed); a nearest centre only when it is
  // finite (any other is at no finite distance).
  std::vector<int> usable, containing;
  for (size_t i = 0; i < cells_.size(); ++i) {
    if (Finite(cells_[i].centre)) usable.push_back(int(i));
    if (shapes_[i].sign != 0 && std::isfinite(cells_[i].centre.y)) containing.push_back(int(i));
  }
  auto g = std::make_unique<Grid>();

  // The rectangle: the centres' range, cut down where a few far outliers
  // would stretch it far beyond the bulk of the cells.
  std::vector<float> xs, zs;
  xs.reserve(usable.size());
  zs.reserve(usable.size());
  for (int i : usable) {
    xs.push_back(cells_[i].centre.x);
    zs.push_back(cells_[i].centre.z);
  }
  auto range = [](std::vector<float>& v, double& lo, double& hi) {
    lo = hi = 0;
    if (v.empty()) return;
    const size_t n = v.size(), k = n / 100;
    std::nth_element(v.begin(), v.begin() + k, v.end());
    const double p1 = v[k];
    std::nth_element(v.begin(), v.begin() + (n - 1 - k), v.end());
    const double p99 = v[n - 1 - k];
    const double lowest = *std::min_element(v.begin(), v.end()), highest = *std::max_element(v.begin(), v.end());
    const double span = p99 - p1;
    lo = std::max(lowest, p1 - span);
    hi = std::min(highest, p99 + span);
  };
  double x1, z1;
  range(xs, g->x0, x1);
  range(zs, g->z0, z1);
  g->width = x1 - g->x0;
  g->height = z1 - g->z0;

  // About one bucket per cell, shaped like the rectangle.
  const double buckets = std::clamp<double>(double(cells_.size()), 1, 1 << 22);
  if (g->width > 0 && g->height > 0) {
    g->nx = int(std::clamp(std::round(std::sqrt(buckets * g->width / g->height)), 1.0, buckets));
    g->nz = int(std::clamp(std::ceil(buckets / g->nx), 1.0, buckets));
  } else if (g->width > 0) {
    g->nx = int(buckets);
  } else if (g->height > 0) {
    g->nz = int(buckets);
  }
  if (g->width > 0) {
    g->w = g->width / g->nx;
    g->invW = g->nx / g->width;
  }
  if (g->height > 0) {
    g->h = g->height / g->nz;
    g->invH = g->nz / g->height;
  }
  g->slack = 1e-9 * (std::fabs(g->x0) + std::fabs(g->z0) + g->width + g->height + g->w + g->h);
  const size_t bucketCount = size_t(g->nx) * size_t(g->nz);

  // Cells with area by the buckets their bounds overlap, within a budget of
  // references.
  constexpr size_t kMaxBucketsPerCell = 64;
  const size_t budget = 32 * cells_.size() + 64;
  struct Span {
    int cell, c0, c1, r0, r1;
  };
  std::vector<Span> spans;
  size_t refs = 0;
  g->cellStart.assign(bucketCount + 1, 0);
  for (int i : containing) {
    const TNavigationShape& s = shapes_[i];
    Span sp{i, g->Column(s.minX), g->Column(s.maxX), g->Row(s.minZ), g->Row(s.maxZ)};
    const size_t count = size_t(sp.c1 - sp.c0 + 1) * size_t(sp.r1 - sp.r0 + 1);
    if (count > kMaxBucketsPerCell || refs + count > budget) {
      g->oversize.push_back(i);
      continue;
    }
    refs += count;
    spans.push_back(sp);
    for (int r = sp.r0; r <= sp.r1; ++r)
      for (int c = sp.c0; c <= sp.c1; ++c) ++g->cellStart[size_t(r) * g->nx + c + 1];
  }
  for (size_t b = 0; b < bucketCount; ++b) g->cellStart[b + 1] += g->cellStart[b];
  g->cellRefs.resize(refs);
  {
    std::vector<uint32_t> fill(g->cellStart.begin(), g->cellStart.end() - 1);
    for (const Span& sp : spans)
      for (int r = sp.r0; r <= sp.r1; ++r)
        for (int c = sp.c0; c <= sp.c1; ++c) g->cellRefs[fill[size_t(r) * g->nx + c]++] = uint32_t(sp.cell);
  }

  // Centres.
  g->centreStart.assign(bucketCount + 1, 0);
  std::vector<uint32_t> bucketOf(cells_.size(), 0);
  bool anyInGrid = false;
  for (int i : usable) {
    const glm::vec3& c = cells_[i].centre;
    if (c.x < g->x0 || c.x > g->x0 + g->width || c.z < g->z0 || c.z > g->z0 + g->height) {
      g->outliers.push_back(i);
      continue;
    }
    const uint32_t b = uint32_t(size_t(g->Row(c.z)) * g->nx + g->Column(c.x));
    bucketOf[i] = b + 1;
    ++g->centreStart[b + 1];
    if (!anyInGrid || c.y < g->minY) g->minY = c.y;
    if (!anyInGrid || c.y > g->maxY) g->maxY = c.y;
    anyInGrid = true;
  }
  for (size_t b = 0; b < bucketCount; ++b) g->centreStart[b + 1] += g->centreStart[b];
  g->centreRefs.resize(g->centreStart[bucketCount]);
  {
    std::vector<uint32_t> fill(g->centreStart.begin(), g->centreStart.end() - 1);
    for (int i : usable)
      if (bucketOf[i]) g->centreRefs[fill[bucketOf[i] - 1]++] = uint32_t(i);
  }
  grid_ = std::move(g);
}

// ---------------------------------------------------------------- locating

bool TNavigation::Contains(int cell, const glm::vec3& p) const { return shapes_[cell].Contains(p); }

int TNavigation::LocateByScan(glm::vec3& p) const {
  int found = -1;
  float bestHeight = kMaxHeightDifference;
  for (size_t i = 0; i < cells_.size(); ++i) {
    if (!Contains(int(i), p)) continue;
    const float dy = std::fabs(cells_[i].centre.y - p.y);
    if (dy < bestHeight) {
      bestHeight = dy;
      found = int(i);
    }
  }
  if (found >= 0) return found;
  double bestDistance = kMaxCentreDistance;
  for (size_t i = 0; i < cells_.size(); ++i) {
    const double d = CentreDistance(cells_[i].centre, p);
    if (d < bestDistance) {
      bestDistance = d;
      found = int(i);
    }
  }
  if (found >= 0) p = cells_[found].centre;
  return found;
}

int TNavigation::Locate(glm::vec3& p) const {
  if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) return -1;
  if (!grid_ || !Finite(p)) return LocateByScan(p);
  const Grid& g = *grid_;

  // Containing cells: those listed in p's bucket and the oversize ones; the
  // smallest (height difference, position) wins, as in the walk.
  int found = -1;
  float bestHeight = kMaxHeightDifference;
  auto considerContaining = [&](int i) {
    if (!Contains(i, p)) return;
    const float dy = std::fabs(cells_[i].centre.y - p.y);
    if (dy < bestHeight || (dy == bestHeight && found >= 0 && i < found)) {
      bestHeight = dy;
      found = i;
    }
  };
  const size_t bucket = size_t(g.Row(p.z)) * g.nx + g.Column(p.x);
  for (uint32_t k = g.cellStart[bucket]; k < g.cellStart[bucket + 1]; ++k) considerContaining(int(g.cellRefs[k]));
  for (int i : g.oversize) considerContaining(i);
  if (found >= 0) return found;

  found = NearestCentre(p);
  if (found >= 0) p = cells_[found].centre;
  return found;
}

int TNavigation::NearestCentre(const glm::vec3& p) const {
  const Grid& g = *grid_;
  int found = -1;
  double best = kMaxCentreDistance;
  auto consider = [&](int i) {
    const double d = CentreDistance(cells_[i].centre, p);
    if (d < best || (d == best && found >= 0 && i < found)) {
      best = d;
      found = i;
    }
  };
  for (int i : g.outliers) consider(i);
  auto visit = [&](int c, int r) {
    const size_t b = size_t(r) * g.nx + c;
    for (uint32_t k = g.centreStart[b]; k < g.centreStart[b + 1]; ++k) consider(int(g.centreRefs[k]));
  };
  // Height alone keeps every bucketed centre at least this far.
  const double dyLow = std::max({0.0, g.minY - p.y, p.y - g.maxY});
  auto rectDistance = [&](double rx0, double rx1, double rz0, double rz1) {
    rx0 -= g.slack, rz0 -= g.slack, rx1 += g.slack, rz1 += g.slack;
    const double dx = std::max({rx0 - p.x, 0.0, p.x - rx1}), dz = std::max({rz0 - p.z, 0.0, p.z - rz1});
    return dx * dx + dz * dz;
  };

  // Rings of buckets around p's (clamped) bucket, until every bucket not
  // yet seen lies provably farther than the best centre so far.
  const int cx = g.Column(p.x), cz = g.Row(p.z);
  for (int r = 0;; ++r) {
    const int c0 = std::max(0, cx - r), c1 = std::min(g.nx - 1, cx + r);
    const int r0 = std::max(0, cz - r), r1 = std::min(g.nz - 1, cz + r);
    for (int row = r0; row <= r1; ++row) {
      if (row == cz - r || row == cz + r) {
        for (int col = c0; col <= c1; ++col) visit(col, row);
      } else {
        if (cx - r >= 0) visit(cx - r, row);
        if (r > 0 && cx + r < g.nx) visit(cx + r, row);
      }
    }
    // The buckets outside the box [c0, c1] x [r0, r1] form up to four
    // rectangles; the nearest of them bounds every centre not yet seen.
    double low = std::numeric_limits<double>::infinity();
    const double gx1 = g.X(g.nx), gz1 = g.Z(g.nz);
    if (c0 > 0) low = std::min(low, rectDistance(g.x0, g.X(c0), g.z0, gz1));
    if (c1 < g.nx - 1) low = std::min(low, rectDistance(g.X(c1 + 1), gx1, g.z0, gz1));
    if (r0 > 0) low = std::min(low, rectDistance(g.X(c0), g.X(c1 + 1), g.z0, g.Z(r0)));
    if (r1 < g.nz - 1) low = std::min(low, rectDistance(g.X(c0), g.X(c1 + 1), g.Z(r1 + 1), gz1));
    if (std::isinf(low)) break;  // every bucket seen
    if (std::sqrt(low + dyLow * dyLow) * (1.0 - 1e-9) > best) break;
  }
  return found;
}

// ---------------------------------------------------------------- the search

std::vector<glm::vec3> TNavigation::FindRoute(const glm::vec3& start, const glm::vec3& goal) {
  std::vector<glm::vec3> path{start};
  const int n = int(cells_.size());
  glm::vec3 s = start, g = goal;
  const int startCell = Locate(s);
  const int goalCell = Locate(g);
  if (startCell < 0 || goalCell < 0) return path;

  if (++generation_ == 0) {  // wrapped: old marks could match again
    std::fill(openMark_.begin(), openMark_.end(), 0);
    std::fill(closedMark_.begin(), closedMark_.end(), 0);
    generation_ = 1;
  }
  const uint32_t gen = generation_;

  // The open list is a sorted part followed by cells appended since the
  // last sort. Each re-sort (a stable sort by heuristic) leaves the list
  // ordered by (heuristic, order of appending), and a later re-sort merges
  // the appended cells in the same way; so the sorted part is a heap on
  // that key and the appended part a queue, with the same order of cells
  // as sorting the whole list each time. A NaN heuristic sorts last.
  struct Entry {
    float heuristic;
    uint64_t sequence;
    int cell;
  };
  auto key = [](float h) { return std::isnan(h) ? std::numeric_limits<float>::infinity() : h; };
  auto later = [&](const Entry& x, const Entry& y) {
    const float hx = key(x.heuristic), hy = key(y.heuristic);
    if (hx != hy) return hx > hy;
    if (std::isnan(x.heuristic) != std::isnan(y.heuristic)) return std::isnan(x.heuristic);
    return x.sequence > y.sequence;
  };
  std::priority_queue<Entry, std::vector<Entry>, decltype(later)> sorted(later);
  std::vector<Entry> appended;
  size_t appendedHead = 0;
  uint64_t sequence = 0;

  TNavigationCell& goalC = cells_[goalCell];
  goalC.arrivalCost = 0;
  goalC.arrivalWall = 0;
  goalC.heuristic = 0;
  appended.push_back({0.0f, sequence++, goalCell});
  openMark_[goalCell] = gen;

  bool reached = false;
  while (!sorted.empty() || appendedHead < appended.size()) {
    const bool fromSorted = !sorted.empty();
    const int current = fromSorted ? sorted.top().cell : appended[appendedHead].cell;
    if (current == startCell) {
      reached = true;
      break;
    }
    if (fromSorted)
      sorted.pop();
    else
      ++appendedHead;
    openMark_[current] = 0;
    closedMark_[current] = gen;
    const TNavigationCell& c = cells_[current];
    for (int i = 0; i < 3; ++i) {
      const int next = c.links[i];
      if (next < 0 || next >= n || closedMark_[next] == gen) continue;
      float crossing;
      const int w = c.arrivalWall;
      if (w < 0 || w > 2)
        crossing = glm::length(c.wallMidpoints[i] - c.centre);
      else if (w == i)
        crossing = 0.0f;
      else
        crossing = c.wallDistances[WallPair(w, i)];
      const float cost = c.arrivalCost + crossing;
      const int back = backSide_[size_t(current) * 3 + i];
      TNavigationCell& nc = cells_[next];
      if (openMark_[next] != gen) {
        nc.heuristic = std::max({std::fabs(s.x - nc.centre.x), std::fabs(s.y - nc.centre.y), std::fabs(s.z - nc.centre.z)});
        nc.arrivalCost = cost;
        nc.arrivalWall = back;
        appended.push_back({nc.heuristic, sequence++, next});
        openMark_[next] = gen;
      } else if (cost < nc.arrivalCost) {
        nc.arrivalCost = cost;
        if (back >= 0) nc.arrivalWall = back;
        for (size_t k = appendedHead; k < appended.size(); ++k) sorted.push(appended[k]);
        appended.clear();
        appendedHead = 0;
      }
    }
  }
  if (!reached) return path;

  // Back along the arrival walls from the start cell to the goal cell.
  int current = startCell;
  for (int steps = 0; current != goalCell; ++steps) {
    if (steps >= n) return {start};
    const TNavigationCell& c = cells_[current];
    const int w = c.arrivalWall;
    if (w < 0 || w > 2) return {start};
    const int next = c.links[w];
    if (next < 0 || next >= n) return {start};
    path.push_back(c.wallMidpoints[w]);
    current = next;
  }
  path.push_back(g);
  return path;
}

// ---------------------------------------------------------------- sight

TNavigation::Relation TNavigation::Classify(const glm::vec3& a, const glm::vec3& b, int cell, int skipIndex,
                                            int& exitSide) const {
  if (Contains(cell, b)) return Relation::Ending;
  const TNavigationCell& c = cells_[cell];
  const int n = int(cells_.size());
  for (int i = 0; i < 3; ++i) {
    const int link = c.links[i];
    if (link >= 0 && link < n && cells_[link].index == skipIndex) continue;
    if (SegmentsIntersect(a, b, c.Vertex(i), c.Vertex((i + 1) % 3))) {
      exitSide = i;
      return Relation::Exiting;
    }
  }
  return Relation::None;
}

bool TNavigation::LineOfSight(const glm::vec3& from, const glm::vec3& to) const {
  glm::vec3 a = from;
  int cell = Locate(a);
  if (cell < 0) return false;
  const int n = int(cells_.size());
  int exitSide = -1;
  Relation rel = Classify(a, to, cell, cells_[cell].index, exitSide);
  for (int steps = 0; rel == Relation::Exiting; ++steps) {
    if (steps >= n) return false;
    const int next = cells_[cell].links[exitSide];
    if (next < 0 || next >= n) return false;
    const int previous = cells_[cell].index;
    cell = next;
    rel = Classify(a, to, cell, previous, exitSide);
  }
  return rel == Relation::Ending;
}

std::vector<glm::vec3> TNavigation::Shorten(const std::vector<glm::vec3>& nodes) const {
  // Node i sees past node i+1 to node i+2: node i+1 goes and node i tries
  // again; else node i+1 is kept and tries next. Built as a new list.
  if (nodes.size() < 3) return nodes;
  std::vector<glm::vec3> out{nodes[0]};
  glm::vec3 middle = nodes[1];
  for (size_t j = 2; j < nodes.size(); ++j) {
    if (!LineOfSight(out.back(), nodes[j])) out.push_back(middle);
    middle = nodes[j];
  }
  out.push_back(middle);
  return out;
}

std::vector<glm::vec3> TNavigation::PlanRoute(const glm::vec3& start, const glm::vec3& goal) {
  if (cells_.empty()) return {start, goal};
  return Shorten(FindRoute(start, goal));
}

}  // namespace kavo
