// Navigation: the cells of a room's navigation mesh and the route queries
// over them (locating points, the cell search from goal to start, line of
// sight along linked cells and the shortening of a route).
//
// Every geometric test works in the floor plane: y is ignored.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

namespace kavo {

struct TNavigationShape;

// One triangle of a room's navigation mesh, linked to its neighbours.
// Vertices are in floor space: a file vertex (x, y, z) becomes (x, z, -y),
// as the pitched room model shows it (the room's own placement is not
// applied).
struct TNavigationCell {
  glm::vec3 a, b, c;
  int links[3] = {-1, -1, -1};  // neighbour across edge ab, bc, ca
  int index = 0;                // position in the cell list when made
  glm::vec3 wallMidpoints[3];   // of ab, bc, ca
  float wallDistances[3] = {0, 0, 0};  // midpoint 0-1, 1-2, 2-0
  glm::vec3 centre{0.0f};
  // Search scratch values; each route search overwrites them.
  float heuristic = 0.0f;
  float arrivalCost = 0.0f;
  int arrivalWall = -1;

  const glm::vec3& Vertex(int i) const { return i == 0 ? a : (i == 1 ? b : c); }
};

// Whether p lies in the cell, seen from above: on the inner side of all
// three sides (sides and corners count as inside), and inside the cell's
// floor-plane bounds, so that rounding never lets a point far outside in.
// A cell whose corners do not span an area in the floor plane (a vertical
// triangle, or one so thin that an orientation rounds to zero or flips)
// contains no point.
bool CellContains(const TNavigationCell& cell, const glm::vec3& p);

// Whether segment p1-p2 meets segment p3-p4 in the floor plane (x, z).
// Touching ends count; parallel segments meet only when collinear and
// overlapping.
bool SegmentsIntersect(const glm::vec3& p1, const glm::vec3& p2, const glm::vec3& p3, const glm::vec3& p4);

// The cells of one mesh with a grid over them for locating points. Links
// are positions in the cell list; out-of-range links count as none.
class TNavigation {
 public:
  TNavigation();
  ~TNavigation();
  TNavigation(const TNavigation&) = delete;
  TNavigation& operator=(const TNavigation&) = delete;

  // Replaces the cells and builds the locating grid for them.
  void SetCells(std::vector<TNavigationCell> cells);
  const std::vector<TNavigationCell>& Cells() const { return cells_; }

  // The cell of a point, as a position in Cells(), or -1. Among the cells
  // containing p (in the floor plane) the one whose centre is nearest in
  // height (first on ties); with none, the cell whose centre is nearest in
  // 3D (first on ties) and p moves to that centre. Points 1000000 or more
  // above or below every containing cell's centre, and 10000000 or more
  // from every centre, find no cell; a NaN point finds none.
  int Locate(glm::vec3& p) const;
  // The same answer from a plain walk over every cell; a reference for the
  // grid.
  int LocateByScan(glm::vec3& p) const;

  // The route from start to goal through the midpoints of the walls
  // crossed, before shortening: [start] alone when start or goal has no
  // cell or no chain of linked cells joins them. The start is expected on
  // the floor plane (y = 0) by the caller.
  std::vector<glm::vec3> FindRoute(const glm::vec3& start, const glm::vec3& goal);
  // Whether the straight way from a to b stays on linked cells.
  bool LineOfSight(const glm::vec3& a, const glm::vec3& b) const;
  // Drops every node that the node before it can see past.
  std::vector<glm::vec3> Shorten(const std::vector<glm::vec3>& nodes) const;
  // FindRoute then Shorten; [start, goal] when there are no cells.
  std::vector<glm::vec3> PlanRoute(const glm::vec3& start, const glm::vec3& goal);

 private:
  struct Grid;
  enum class Relation { None, Ending, Exiting };
  Relation Classify(const glm::vec3& a, const glm::vec3& b, int cell, int skipIndex, int& exitSide) const;
  bool Contains(int cell, const glm::vec3& p) const;
  int NearestCentre(const glm::vec3& p) const;
  void BuildGrid();

  std::vector<TNavigationCell> cells_;
  std::vector<TNavigationShape> shapes_;  // one per cell
  std::unique_ptr<Grid> grid_;
  // Search bookkeeping: a cell is open or closed when its mark equals the
  // current search's generation.
  std::vector<uint32_t> openMark_, closedMark_;
  std::vector<int8_t> backSide_;  // per cell and side: the neighbour's side leading back, or -1
  uint32_t generation_ = 0;
};

}  // namespace kavo
