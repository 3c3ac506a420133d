// Geometry services of the scene layer: model loading into MeshData, tangent
// space, ray tests through an octree, raw triangle extraction.
#pragma once

#include "scene/meshdata.h"

#include <glm/glm.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavo::scene {

struct Ray {
  glm::vec3 origin{0.0f};
  glm::vec3 direction{0.0f, 0.0f, 1.0f};  // normalised
};

struct RayHit {
  float distance = 0.0f;  // along the ray, in the ray's space
  glm::vec3 point{0.0f};
  glm::vec3 normal{0.0f, 1.0f, 0.0f};  // normalised
};

// Loads a model from its bytes; the format is chosen by the file name's
// extension (case-insensitive). Vertices keep the file's own coordinates:
// no axis conversion, no merging, no transform. Mesh objects and face groups
// keep the order of the file. On failure returns false with a message.
bool LoadModel(std::string_view fileName, const std::string& bytes, MeshData& out, std::string& error);

// Whether LoadModel knows the extension of this file name.
bool IsModelFile(std::string_view fileName);

// Builds normals (where missing), tangents and binormals for every mesh
// object. Fails (returns false, leaves the data usable) when a mesh object
// with faces has no texture coordinates.
bool BuildTangentSpace(MeshData& data);

// Every triangle of every visible-or-not mesh object, three vertices each, in
// file order, bit-exact as stored.
std::vector<glm::vec3> ExtractTriangles(const MeshData& data);

// Axis-aligned bounds of all vertices; false when there are none.
bool ComputeBounds(const MeshData& data, glm::vec3& minCorner, glm::vec3& maxCorner);

class TriangleOctree;
// A ray test in world coordinates against an octree built in model
// coordinates and placed by `modelToWorld` (a node's absolute matrix). The
// hit's point, normal (facing the ray) and distance are in world terms.
// Nothing is hit when the matrix cannot be inverted (a zero scale).
std::optional<RayHit> IntersectPlaced(const TriangleOctree& tree, const glm::mat4& modelToWorld, const Ray& worldRay);

// Whether a point lies inside (or on) the box of edge 1 centred on the
// origin after `boxMatrix` scales, turns and places it (column 3 = the
// box's centre). A box flattened to nothing on some axis holds no point.
bool PointInOrientedBox(const glm::mat4& boxMatrix, const glm::vec3& point);

// A rectangle in window pixels, y running down from the top edge.
struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Projects the 8 corners of the box [minCorner, maxCorner] (model
// coordinates) through `model` (model to world) and `viewProjection` into
// the viewport (x, y, width, height; GL convention, y up from the bottom).
// Each corner's x is rounded to the nearest pixel and its y becomes
// viewport height minus the projected y, rounded; the result spans them.
// Fails (rect untouched) when a corner lies on or behind the eye plane or a
// value is not finite.
bool ProjectBoundsToScreen(const glm::vec3& minCorner, const glm::vec3& maxCorner, const glm::mat4& model,
                           const glm::mat4& viewProjection, const glm::ivec4& viewport, ScreenRect& rect);

// Nearest intersection of a ray with one triangle (both faces count), or a
// negative distance when there is none. Hits at distance 0 count.
float RayTriangleDistance(const Ray& ray, const glm::vec3& a, const glm::vec3& b, const glm::vec3& c);

// The ray/triangle test every ray of the engine uses (pointer picking of
// rooms, meshes and walk areas, collision rays). It is watertight: a ray
// through an edge or a corner that triangles share hits at least one of
// them, never none, because each edge's side test is computed from that
// edge's two corners alone, the same way for every triangle holding it
// (Woop, Benthin and Wald's shear-and-scale form), and exactly zero counts
// as inside.
class WatertightRay {
 public:
  // `direction` need not be normalised; distances are in its units.
  WatertightRay(const glm::vec3& origin, const glm::vec3& direction);
  bool Valid() const { return valid_; }
  // The ray parameter t >= 0 of the hit, or false when the triangle is missed.
  bool Hit(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, float& t) const;
  // The same with the hit point as the corners' weighted mean: it lies in
  // the triangle's plane (on a flat floor its height is the floor's exactly).
  bool Hit(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, float& t, glm::vec3& point) const;

 private:
  glm::vec3 origin_;
  int kx_ = 0, ky_ = 1, kz_ = 2;
  float sx_ = 0, sy_ = 0, sz_ = 1;
  bool valid_ = false;
};

// An octree over the triangles of a model, in the model's own coordinates.
// Build(depth) subdivides every occupied cell at least `depth` times (unless
// splitting cannot separate its triangles); cells holding many triangles are
// split further (up to kMaxDepth) so that a ray only meets a handful of
// triangles.
class TriangleOctree {
 public:
  static constexpr int kMaxDepth = 10;
  static constexpr size_t kLeafTriangles = 16;

  void Build(const MeshData& data, int depth);
  // The same over a vertex list, three vertices per triangle.
  void Build(std::vector<glm::vec3> triangles, int depth);
  void Clear();
  bool Built() const { return built_; }
  // Nearest hit along the ray (model coordinates), if any. The normal is the
  // hit triangle's geometric normal, normalised and turned to face the ray's
  // origin (dot(normal, direction) <= 0), whatever the triangle's winding.
  // The direction is normalised first, so the distance is in model units.
  std::optional<RayHit> Intersect(const Ray& ray) const;
  // As above, ignoring hits farther than maxDistance.
  std::optional<RayHit> Intersect(const Ray& ray, float maxDistance) const;
  // As above, also giving the hit triangle's index (ExtractTriangles order).
  std::optional<RayHit> IntersectIndex(const Ray& ray, float maxDistance, uint32_t& triangle) const;

  size_t TriangleCount() const { return triangles_.size() / 3; }
  const glm::vec3* Triangle(size_t index) const { return &triangles_[index * 3]; }
  const std::vector<glm::vec3>& Triangles() const { return triangles_; }
  // Every triangle whose leaf cells overlap the box, each once, ascending.
  void QueryBox(const glm::vec3& lo, const glm::vec3& hi, std::vector<uint32_t>& out) const;
  // Bounds of all triangles; false when there are none.
  bool Bounds(glm::vec3& lo, glm::vec3& hi) const;
  size_t CellCount() const { return cells_.size(); }
  // Triangle references held by all leaves (a triangle may lie in several).
  size_t LeafReferences() const { return cellTriangles_.size(); }

 private:
  struct Cell {
    glm::vec3 lo, hi;
    int32_t firstChild = -1;  // eight children from here on, -1 for a leaf
    uint32_t first = 0;       // leaf: range in cellTriangles_
    uint32_t count = 0;
  };
  struct Prepared {  // edge form for the ray test
    glm::vec3 v0, e1, e2;
  };
  void Subdivide(uint32_t cell, std::vector<uint32_t>& tris, int level, int minDepth);
  bool built_ = false;
  std::vector<glm::vec3> triangles_;  // 3 per triangle
  std::vector<Prepared> prepared_;
  std::vector<Cell> cells_;
  std::vector<uint32_t> cellTriangles_;
  glm::vec3 boundsLo_{0.0f}, boundsHi_{0.0f};
  size_t referenceBudget_ = 0;  // triangle references the build may still hand to child cells
};

}  // namespace kavo::scene
