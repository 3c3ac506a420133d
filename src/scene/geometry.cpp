// Model loading dispatch, tangent space, triangle extraction and the small
// geometric helpers of the scene layer.
#include "scene/geometry.h"
#include "core/strings.h"

#include "scene/model_loaders.h"

#include <glm/gtc/matrix_inverse.hpp>

#include <cmath>
#include <new>

namespace kavo::scene {

namespace {

// The loaders guarantee this already; data built elsewhere is checked here so
// that the geometry code below can index without fear.
bool IndicesValid(const MeshObject& obj) {
  const size_t n = obj.positions.size();
  for (const FaceGroup& g : obj.faceGroups)
    for (uint32_t i : g.indices)
      if (i >= n) return false;
  for (uint32_t i : obj.fileTriangles)
    if (i >= n) return false;
  return true;
}

// Calls visit(a, b, c) with the three indices of every triangle of the
// object, in the file's order.
template <typename F>
void ForEachTriangle(const MeshObject& obj, F&& visit) {
  if (!obj.fileTriangles.empty()) {
    for (size_t i = 0; i + 2 < obj.fileTriangles.size(); i += 3)
      visit(obj.fileTriangles[i], obj.fileTriangles[i + 1], obj.fileTriangles[i + 2]);
    return;
  }
  for (const FaceGroup& g : obj.faceGroups)
    for (size_t i = 0; i + 2 < g.indices.size(); i += 3) visit(g.indices[i], g.indices[i + 1], g.indices[i + 2]);
}

// Any unit vector perpendicular to n.
glm::vec3 Perpendicular(const glm::vec3& n) {
  glm::vec3 axis = std::fabs(n.x) < 0.9f ? glm::vec3(1, 0, 0) : glm::vec3(0, 1, 0);
  glm::vec3 t = glm::cross(n, axis);
  float len = glm::length(t);
  return len > 0.0f ? t / len : glm::vec3(1, 0, 0);
}

bool Usable(const glm::vec3& v) {
  float l2 = glm::dot(v, v);
  return std::isfinite(l2) && l2 > 1e-24f;
}

}  // namespace

bool IsModelFile(std::string_view fileName) {
  std::string ext = LowerExtension(fileName);
  return ext == "3ds" || ext == "obj" || detail::IsGLTFExtension(ext);
}

bool LoadModel(std::string_view fileName, const std::string& bytes, MeshData& out, std::string& error) {
  std::string ext = LowerExtension(fileName);
  std::string why;
  bool ok = false;
  try {
    if (ext == "3ds") ok = detail::Load3DS(bytes, out, why);
    else if (ext == "obj") ok = detail::LoadOBJ(fileName, bytes, out, why);
    else if (detail::IsGLTFExtension(ext)) ok = detail::LoadGLTF(fileName, bytes, out, why);
    else why = "unknown model format \"" + ext + "\"";
  } catch (const std::bad_alloc&) {
    ok = false;
    why = "out of memory";
  } catch (const std::exception& e) {
    ok = false;
    why = e.what();
  }
  if (ok) {
    // A file that holds no triangle at all is no model (a picture or any
    // binary named ".obj" reads as nothing): say so instead of showing nothing.
    bool anyTriangle = false;
    for (const MeshObject& obj : out.objects)
      for (const FaceGroup& g : obj.faceGroups) anyTriangle = anyTriangle || g.indices.size() >= 3;
    if (!anyTriangle) {
      ok = false;
      why = "the file holds no geometry";
    }
  }
  if (!ok) error = "Unable to load model " + std::string(fileName) + ": " + why;
  return ok;
}

bool BuildTangentSpace(MeshData& data) {
  bool allHadUVs = true;
  for (MeshObject& obj : data.objects) {
    const size_t n = obj.positions.size();
    if (!IndicesValid(obj)) {
      allHadUVs = false;
      continue;
    }
    bool hasFaces = false;
    for (const FaceGroup& g : obj.faceGroups) hasFaces = hasFaces || g.indices.size() >= 3;
    hasFaces = hasFaces || obj.fileTriangles.size() >= 3;

    // Normals: keep the file's, compute the missing ones smooth per vertex
    // from the area-weighted normals of the faces around it.
    if (obj.normals.size() != n) obj.normals.assign(n, glm::vec3(0.0f));
    std::vector<bool> missing(n);
    bool anyMissing = false;
    for (size_t i = 0; i < n; ++i) {
      missing[i] = !Usable(obj.normals[i]);
      anyMissing = anyMissing || missing[i];
    }
    if (anyMissing) {
      std::vector<glm::vec3> sum(n, glm::vec3(0.0f));
      ForEachTriangle(obj, [&](uint32_t a, uint32_t b, uint32_t c) {
        glm::vec3 face = glm::cross(obj.positions[b] - obj.positions[a], obj.positions[c] - obj.positions[a]);
        if (!std::isfinite(glm::dot(face, face))) return;
        sum[a] += face;
        sum[b] += face;
        sum[c] += face;
      });
      for (size_t i = 0; i < n; ++i)
        if (missing[i]) obj.normals[i] = Usable(sum[i]) ? glm::normalize(sum[i]) : glm::vec3(0, 1, 0);
    }

    obj.tangents.assign(n, glm::vec3(0.0f));
    obj.binormals.assign(n, glm::vec3(0.0f));
    const bool hasUVs = obj.texCoords.size() == n && n > 0;
    if (hasFaces && !hasUVs) allHadUVs = false;
    std::vector<glm::vec3> bitangentSum;
    if (hasUVs) {
      bitangentSum.assign(n, glm::vec3(0.0f));
      ForEachTriangle(obj, [&](uint32_t a, uint32_t b, uint32_t c) {
        glm::vec3 e1 = obj.positions[b] - obj.positions[a];
        glm::vec3 e2 = obj.positions[c] - obj.positions[a];
        glm::vec2 d1 = obj.texCoords[b] - obj.texCoords[a];
        glm::vec2 d2 = obj.texCoords[c] - obj.texCoords[a];
        float det = d1.x * d2.y - d2.x * d1.y;
        if (!std::isfinite(det) || std::fabs(det) < 1e-20f) return;
        float r = 1.0f / det;
        glm::vec3 t = (e1 * d2.y - e2 * d1.y) * r;
        glm::vec3 bt = (e2 * d1.x - e1 * d2.x) * r;
        if (!std::isfinite(glm::dot(t, t)) || !std::isfinite(glm::dot(bt, bt))) return;
        for (uint32_t i : {a, b, c}) {
          obj.tangents[i] += t;
          bitangentSum[i] += bt;
        }
      });
    }
    // Orthonormal frame per vertex: the tangent is made perpendicular to the
    // normal; the binormal completes it with the handedness of the UVs.
    for (size_t i = 0; i < n; ++i) {
      const glm::vec3& nrm = obj.normals[i];
      glm::vec3 t = obj.tangents[i] - nrm * glm::dot(nrm, obj.tangents[i]);
      t = Usable(t) ? glm::normalize(t) : Perpendicular(nrm);
      glm::vec3 b = glm::cross(nrm, t);
      if (hasUVs && glm::dot(b, bitangentSum[i]) < 0.0f) b = -b;
      obj.tangents[i] = t;
      obj.binormals[i] = b;
    }
  }
  return allHadUVs;
}

std::vector<glm::vec3> ExtractTriangles(const MeshData& data) {
  std::vector<glm::vec3> out;
  size_t total = 0;
  for (const MeshObject& obj : data.objects)
    if (IndicesValid(obj)) {
      if (!obj.fileTriangles.empty()) {
        total += obj.fileTriangles.size() / 3;
      } else {
        for (const FaceGroup& g : obj.faceGroups) total += g.indices.size() / 3;
      }
    }
  out.reserve(total * 3);
  for (const MeshObject& obj : data.objects) {
    if (!IndicesValid(obj)) continue;
    ForEachTriangle(obj, [&](uint32_t a, uint32_t b, uint32_t c) {
      out.push_back(obj.positions[a]);
      out.push_back(obj.positions[b]);
      out.push_back(obj.positions[c]);
    });
  }
  return out;
}

bool ComputeBounds(const MeshData& data, glm::vec3& minCorner, glm::vec3& maxCorner) {
  bool any = false;
  for (const MeshObject& obj : data.objects)
    for (const glm::vec3& p : obj.positions) {
      if (!any) {
        minCorner = maxCorner = p;
        any = true;
      } else {
        minCorner = glm::min(minCorner, p);
        maxCorner = glm::max(maxCorner, p);
      }
    }
  return any;
}

bool PointInOrientedBox(const glm::mat4& boxMatrix, const glm::vec3& point) {
  const float det = glm::determinant(glm::mat3(boxMatrix));
  if (!std::isfinite(det) || std::fabs(det) < 1e-30f) return false;
  glm::vec4 local = glm::inverse(boxMatrix) * glm::vec4(point, 1.0f);
  const float limit = 0.5f + 1e-6f;
  return std::fabs(local.x) <= limit && std::fabs(local.y) <= limit && std::fabs(local.z) <= limit;
}

bool ProjectBoundsToScreen(const glm::vec3& minCorner, const glm::vec3& maxCorner, const glm::mat4& model,
                           const glm::mat4& viewProjection, const glm::ivec4& viewport, ScreenRect& rect) {
  const glm::mat4 m = viewProjection * model;
  ScreenRect r;
  for (int i = 0; i < 8; ++i) {
    glm::vec3 corner((i & 1) ? maxCorner.x : minCorner.x, (i & 2) ? maxCorner.y : minCorner.y,
                     (i & 4) ? maxCorner.z : minCorner.z);
    glm::vec4 clip = m * glm::vec4(corner, 1.0f);
    if (!(clip.w > 0.0f)) return false;
    float nx = clip.x / clip.w, ny = clip.y / clip.w;
    float wx = float(viewport.x) + (nx + 1.0f) * 0.5f * float(viewport.z);
    float wy = float(viewport.y) + (ny + 1.0f) * 0.5f * float(viewport.w);
    double sx = std::nearbyint(double(wx));
    double sy = std::nearbyint(double(viewport.w) - double(wy));
    if (!std::isfinite(sx) || !std::isfinite(sy) || std::fabs(sx) > 1e9 || std::fabs(sy) > 1e9) return false;
    int x = int(sx), y = int(sy);
    if (i == 0) {
      r = {x, y, x, y};
    } else {
      r.left = std::min(r.left, x);
      r.right = std::max(r.right, x);
      r.top = std::min(r.top, y);
      r.bottom = std::max(r.bottom, y);
    }
  }
  rect = r;
  return true;
}

float RayTriangleDistance(const Ray& ray, const glm::vec3& a, const glm::vec3& b, const glm::vec3& c) {
  const WatertightRay r(ray.origin, ray.direction);
  float t;
  return r.Valid() && r.Hit(a, b, c, t) ? t : -1.0f;
}

WatertightRay::WatertightRay(const glm::vec3& origin, const glm::vec3& direction) : origin_(origin) {
  const glm::vec3 ad = glm::abs(direction);
  if (!(std::isfinite(ad.x) && std::isfinite(ad.y) && std::isfinite(ad.z)) || !std::isfinite(origin.x) ||
      !std::isfinite(origin.y) || !std::isfinite(origin.z))
    return;
  // The axis the ray runs most along becomes z; x and y follow in turn,
  // swapped when the ray runs backwards along z, so the winding holds.
  kz_ = ad.x > ad.y ? (ad.x > ad.z ? 0 : 2) : (ad.y > ad.z ? 1 : 2);
  if (!(ad[kz_] > 0.0f)) return;
  kx_ = (kz_ + 1) % 3;
  ky_ = (kx_ + 1) % 3;
  if (direction[kz_] < 0.0f) std::swap(kx_, ky_);
  sx_ = direction[kx_] / direction[kz_];
  sy_ = direction[ky_] / direction[kz_];
  sz_ = 1.0f / direction[kz_];
  valid_ = true;
}

bool WatertightRay::Hit(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, float& t) const {
  glm::vec3 point;
  return Hit(a, b, c, t, point);
}

bool WatertightRay::Hit(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, float& t,
                        glm::vec3& point) const {
  const glm::vec3 A = a - origin_, B = b - origin_, C = c - origin_;
  const float ax = A[kx_] - sx_ * A[kz_], ay = A[ky_] - sy_ * A[kz_];
  const float bx = B[kx_] - sx_ * B[kz_], by = B[ky_] - sy_ * B[kz_];
  const float cx = C[kx_] - sx_ * C[kz_], cy = C[ky_] - sy_ * C[kz_];
  // Each edge's side: computed from its own two corners only.
  float u = cx * by - cy * bx;
  float v = ax * cy - ay * cx;
  float w = bx * ay - by * ax;
  if (u == 0.0f || v == 0.0f || w == 0.0f) {
    // On (or within rounding of) an edge: decide in double precision.
    u = static_cast<float>(double(cx) * by - double(cy) * bx);
    v = static_cast<float>(double(ax) * cy - double(ay) * cx);
    w = static_cast<float>(double(bx) * ay - double(by) * ax);
  }
  if ((u < 0.0f || v < 0.0f || w < 0.0f) && (u > 0.0f || v > 0.0f || w > 0.0f)) return false;
  // The distance in double precision: the inside decision is made, and the
  // hit point should lie on the surface as closely as a float can.
  const double det = double(u) + v + w;
  if (!(det != 0.0) || !std::isfinite(det)) return false;
  const double tScaled = double(u) * (double(sz_) * A[kz_]) + double(v) * (double(sz_) * B[kz_]) +
                         double(w) * (double(sz_) * C[kz_]);
  if (det < 0.0 ? tScaled > 0.0 : tScaled < 0.0) return false;
  t = static_cast<float>(tScaled / det);
  if (!(std::isfinite(t) && t >= 0.0f)) return false;
  point = glm::vec3((glm::dvec3(a) * double(u) + glm::dvec3(b) * double(v) + glm::dvec3(c) * double(w)) / det);
  return true;
}

}  // namespace kavo::scene
