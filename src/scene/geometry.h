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

// An octree over the triangles of a model, in the model's own coordinates.
class TriangleOctree {
 public:
  void Build(const MeshData& data, int depth);
  void Clear();
  bool Built() const { return built_; }
  // Nearest hit along the ray (model coordinates), if any.
  std::optional<RayHit> Intersect(const Ray& ray) const;
  size_t TriangleCount() const { return triangles_.size() / 3; }

 private:
  struct Cell {
    glm::vec3 lo, hi;
    int children[8];
    std::vector<uint32_t> tris;  // triangle indices (leaves)
  };
  bool built_ = false;
  std::vector<glm::vec3> triangles_;  // 3 per triangle
  std::vector<Cell> cells_;
};

}  // namespace kavo::scene
