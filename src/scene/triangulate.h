// Triangulation of a model's polygon faces. A convex polygon is fanned
// around its first corner (the triangles a file's quads have always made);
// any other polygon is cut into ears, so the triangles cover exactly the
// polygon and never its notches or holes between its corners.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

namespace kavo::scene {

// Appends the triangles of the polygon `corners` (positions in order around
// the face) as index triples into `corners` (0 .. size - 1) to `out`,
// wound as the polygon is. `budget` bounds the work (point-in-triangle
// tests) the polygons of one model may take; it is decreased, and when it
// runs out the function returns false, leaving what remains of the polygon
// untriangulated.
bool TriangulatePolygon(const std::vector<glm::vec3>& corners, std::vector<uint32_t>& out, uint64_t& budget);

}  // namespace kavo::scene
