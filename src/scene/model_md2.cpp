// Quake II (.md2) reader. The file starts with a header of 17 little-endian
// int32: "IDP2", version 8, skin width and height, frame size, the counts of
// skins, vertices (xyz), texture coordinates (st), triangles, GL commands and
// frames, then the offsets of skins, st, triangles, frames, GL commands and
// the end. Each frame is scale[3] and translate[3] floats, a 16-byte name and
// one (x, y, z, normal index) byte quadruple per vertex: the vertex is
// byte * scale + translate. Triangles name three vertices and three st pairs
// (uint16); st are int16 texel positions.
//
// The model becomes one mesh object with a vertex per distinct (vertex, st)
// pair the triangles use, in order of first use, and one morph frame per file
// frame. Normals are made smooth per file vertex from the posed triangles of
// each frame (so texture seams do not show). Texture coordinates run up the
// picture like everywhere in the engine: v = 1 - t / skin height. Frames whose
// names differ only in their trailing digits ("run1" .. "run6") form one
// looping animation named without the digits. Every count and offset is
// checked against the file before anything is read or allocated.
#include "scene/animated_loaders.h"
#include "scene/model_loaders.h"

#include <cmath>
#include <unordered_map>

namespace kavo::scene::detail {

namespace {

constexpr size_t kHeaderSize = 68;
constexpr int32_t kMaxXyz = 2048 * 8;
constexpr int32_t kMaxSt = 65536;
constexpr int32_t kMaxTris = 1 << 20;
constexpr int32_t kMaxFrames = 8192;
constexpr int32_t kMaxSkins = 32;
constexpr int32_t kMaxSkinSide = 65536;

// Whether `count` items of `size` bytes from `offset` lie inside the file.
bool Inside(int32_t offset, int32_t count, uint64_t size, uint64_t fileSize) {
  if (count < 0) return false;
  if (count == 0) return true;
  if (offset < static_cast<int32_t>(kHeaderSize)) return false;  // inside the header, or negative
  return static_cast<uint64_t>(offset) + static_cast<uint64_t>(count) * size <= fileSize;
}

std::string StripDigits(std::string name) {
  while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.pop_back();
  return name;
}

}  // namespace

bool LoadMD2(const std::string& bytes, AnimatedModelData& out, std::string& why) {
  const uint64_t size = bytes.size();
  if (size < kHeaderSize) return why = "the file is shorter than an MD2 header", false;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (std::memcmp(data, "IDP2", 4) != 0) return why = "not an MD2 file (no \"IDP2\")", false;
  ByteReader r(data, 4, bytes.size());
  auto i32 = [&r] { return static_cast<int32_t>(r.U32()); };
  const int32_t version = i32();
  if (version != 8) return why = "unknown MD2 version " + std::to_string(version), false;
  const int32_t skinW = i32(), skinH = i32(), frameSize = i32();
  const int32_t numSkins = i32(), numXyz = i32(), numSt = i32(), numTris = i32();
  i32();  // GL commands: not used
  const int32_t numFrames = i32();
  const int32_t ofsSkins = i32(), ofsSt = i32(), ofsTris = i32(), ofsFrames = i32();

  if (skinW <= 0 || skinH <= 0 || skinW > kMaxSkinSide || skinH > kMaxSkinSide)
    return why = "bad skin size " + std::to_string(skinW) + "x" + std::to_string(skinH), false;
  if (numXyz <= 0 || numXyz > kMaxXyz) return why = "bad vertex count " + std::to_string(numXyz), false;
  if (numSt <= 0 || numSt > kMaxSt) return why = "bad texture coordinate count " + std::to_string(numSt), false;
  if (numTris <= 0 || numTris > kMaxTris) return why = "bad triangle count " + std::to_string(numTris), false;
  if (numFrames <= 0 || numFrames > kMaxFrames) return why = "bad frame count " + std::to_string(numFrames), false;
  if (numSkins < 0 || numSkins > kMaxSkins) return why = "bad skin count " + std::to_string(numSkins), false;
  if (frameSize < 40 + 4 * numXyz) return why = "the frame size is too small for the vertices", false;
  if (!Inside(ofsSkins, numSkins, 64, size)) return why = "the skin names lie outside the file", false;
  if (!Inside(ofsSt, numSt, 4, size)) return why = "the texture coordinates lie outside the file", false;
  if (!Inside(ofsTris, numTris, 12, size)) return why = "the triangles lie outside the file", false;
  if (!Inside(ofsFrames, numFrames, static_cast<uint64_t>(frameSize), size))
    return why = "the frames lie outside the file", false;

  // Texture coordinates.
  std::vector<glm::vec2> st(static_cast<size_t>(numSt));
  r.Seek(static_cast<size_t>(ofsSt));
  for (glm::vec2& t : st) {
    const float s = static_cast<float>(static_cast<int16_t>(r.U16()));
    const float tt = static_cast<float>(static_cast<int16_t>(r.U16()));
    t = {s / static_cast<float>(skinW), 1.0f - tt / static_cast<float>(skinH)};
  }

  // Triangles, with one mesh vertex per distinct (vertex, st) pair.
  MeshObject obj;
  obj.name = "md2";
  std::vector<uint32_t> xyzOf;  // file vertex of each mesh vertex
  std::vector<uint32_t> corners(static_cast<size_t>(numTris) * 3);
  std::unordered_map<uint32_t, uint32_t> vertexOf;
  r.Seek(static_cast<size_t>(ofsTris));
  for (int32_t t = 0; t < numTris; ++t) {
    uint16_t v[3], s[3];
    for (uint16_t& x : v) x = r.U16();
    for (uint16_t& x : s) x = r.U16();
    for (int k = 0; k < 3; ++k) {
      if (v[k] >= numXyz) return why = "triangle " + std::to_string(t) + " names vertex " + std::to_string(v[k]), false;
      if (s[k] >= numSt)
        return why = "triangle " + std::to_string(t) + " names texture coordinate " + std::to_string(s[k]), false;
      const uint32_t key = (uint32_t(v[k]) << 16) | s[k];
      auto [it, added] = vertexOf.emplace(key, static_cast<uint32_t>(xyzOf.size()));
      if (added) {
        xyzOf.push_back(v[k]);
        obj.texCoords.push_back(st[s[k]]);
      }
      corners[static_cast<size_t>(t) * 3 + k] = it->second;
    }
  }
  if (r.Failed()) return why = "the triangles lie outside the file", false;
  const size_t vertices = xyzOf.size();
  if (static_cast<uint64_t>(numFrames) * vertices * 6 > kMaxAnimatedFloats)
    return why = "too many frames for the vertices", false;

  // Frames: positions per file vertex, smooth normals from the triangles.
  std::vector<glm::vec3> xyz(static_cast<size_t>(numXyz)), sum(static_cast<size_t>(numXyz));
  out.morphPositions.assign(static_cast<size_t>(numFrames), {});
  out.morphNormals.assign(static_cast<size_t>(numFrames), {});
  std::vector<std::string> names(static_cast<size_t>(numFrames));
  for (int32_t f = 0; f < numFrames; ++f) {
    r.Seek(static_cast<size_t>(ofsFrames) + static_cast<size_t>(f) * static_cast<size_t>(frameSize));
    glm::vec3 scale, translate;
    for (int k = 0; k < 3; ++k) scale[k] = r.F32();
    for (int k = 0; k < 3; ++k) translate[k] = r.F32();
    for (int k = 0; k < 3; ++k)
      if (!std::isfinite(scale[k]) || !std::isfinite(translate[k]))
        return why = "frame " + std::to_string(f) + " has a number that is not finite", false;
    char name[17] = {};
    for (int k = 0; k < 16; ++k) name[k] = static_cast<char>(r.U8());
    names[static_cast<size_t>(f)] = name;
    for (glm::vec3& p : xyz) {
      const float x = r.U8(), y = r.U8(), z = r.U8();
      r.U8();  // the normal index: normals are made from the triangles
      p = glm::vec3(x, y, z) * scale + translate;
    }
    if (r.Failed()) return why = "frame " + std::to_string(f) + " lies outside the file", false;
    std::fill(sum.begin(), sum.end(), glm::vec3(0.0f));
    for (size_t t = 0; t < corners.size(); t += 3) {
      const uint32_t a = xyzOf[corners[t]], b = xyzOf[corners[t + 1]], c = xyzOf[corners[t + 2]];
      const glm::vec3 n = glm::cross(xyz[b] - xyz[a], xyz[c] - xyz[a]);
      if (!std::isfinite(glm::dot(n, n))) continue;
      sum[a] += n;
      sum[b] += n;
      sum[c] += n;
    }
    auto& positions = out.morphPositions[static_cast<size_t>(f)];
    auto& normals = out.morphNormals[static_cast<size_t>(f)];
    positions.assign(1, std::vector<glm::vec3>(vertices));
    normals.assign(1, std::vector<glm::vec3>(vertices));
    for (size_t i = 0; i < vertices; ++i) {
      positions[0][i] = xyz[xyzOf[i]];
      const glm::vec3 n = sum[xyzOf[i]];
      const float len = glm::length(n);
      normals[0][i] = len > 0.0f && std::isfinite(len) ? n / len : glm::vec3(0, 0, 1);
    }
  }

  // The first skin names the texture (its folders dropped).
  std::string texture;
  if (numSkins > 0) {
    r.Seek(static_cast<size_t>(ofsSkins));
    char skin[65] = {};
    for (int k = 0; k < 64; ++k) skin[k] = static_cast<char>(r.U8());
    texture = skin;
    const size_t cut = texture.find_last_of("/\\");
    if (cut != std::string::npos) texture.erase(0, cut + 1);
  }

  out.kind = AnimatedModelData::Kind::Morph;
  out.mesh = MeshData{};
  out.bones.clear();
  out.referencePose.clear();
  out.skins.clear();
  out.frames.clear();
  obj.positions = out.morphPositions[0][0];
  obj.normals = out.morphNormals[0][0];
  FaceGroup group;
  if (!texture.empty()) {
    ModelMaterial m;
    m.name = texture;
    m.diffuse = glm::vec4(1.0f);
    m.textureFile = texture;
    out.mesh.materials.push_back(std::move(m));
    group.materialName = texture;
  }
  group.indices = corners;
  obj.fileTriangles = std::move(corners);
  obj.faceGroups.push_back(std::move(group));
  out.mesh.objects.push_back(std::move(obj));

  out.animations.clear();
  for (int32_t f = 0; f < numFrames; ++f) {
    std::string base = StripDigits(names[static_cast<size_t>(f)]);
    if (!out.animations.empty() && out.animations.back().name == base && out.animations.back().end == f - 1)
      out.animations.back().end = f;
    else
      out.animations.push_back({base, f, f, true});
  }
  return true;
}

}  // namespace kavo::scene::detail
