// 3D Studio loading from files written here by a small chunk writer: order
// of mesh objects and face groups, materials, exact vertices, and clean
// errors for truncated or lying chunks.
#include "scene/geometry.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace kavo::scene {
namespace {

// Little-endian chunk writer for test fixtures.
struct Bytes {
  std::string s;
  Bytes& U8(uint8_t v) {
    s.push_back(char(v));
    return *this;
  }
  Bytes& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
  Bytes& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
  Bytes& F32(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return U32(b);
  }
  Bytes& Str(const std::string& t) {
    s += t;
    s.push_back('\0');
    return *this;
  }
  Bytes& Raw(const std::string& t) {
    s += t;
    return *this;
  }
};

std::string Chunk(uint16_t id, const std::string& body) {
  return Bytes().U16(id).U32(uint32_t(body.size() + 6)).Raw(body).s;
}

std::string Vertices(const std::vector<glm::vec3>& v) {
  Bytes b;
  b.U16(uint16_t(v.size()));
  for (const glm::vec3& p : v) b.F32(p.x).F32(p.y).F32(p.z);
  return Chunk(0x4110, b.s);
}

std::string Group(const std::string& material, const std::vector<uint16_t>& faces) {
  Bytes b;
  b.Str(material).U16(uint16_t(faces.size()));
  for (uint16_t f : faces) b.U16(f);
  return Chunk(0x4130, b.s);
}

std::string Faces(const std::vector<std::array<uint16_t, 3>>& faces, const std::string& groups) {
  Bytes b;
  b.U16(uint16_t(faces.size()));
  for (const auto& f : faces) b.U16(f[0]).U16(f[1]).U16(f[2]).U16(7);
  return Chunk(0x4120, b.s + groups);
}

std::string UVs(size_t n) {
  Bytes b;
  b.U16(uint16_t(n));
  for (size_t i = 0; i < n; ++i) b.F32(float(i) * 0.25f).F32(1.0f - float(i) * 0.25f);
  return Chunk(0x4140, b.s);
}

std::string Object(const std::string& name, const std::string& mesh) {
  return Chunk(0x4000, Bytes().Str(name).s + mesh);
}

std::string Material(const std::string& name, const std::string& colours, const std::string& texture) {
  std::string body = Chunk(0xA000, Bytes().Str(name).s) + colours;
  if (!texture.empty()) body += Chunk(0xA200, Chunk(0xA300, Bytes().Str(texture).s));
  return Chunk(0xAFFF, body);
}

// Values chosen to catch any float conversion: not representable in few bits.
const std::vector<glm::vec3> kDoor = {
    {0.1f, -2.5e-7f, 3.3333333f}, {123456.78f, 0.2f, -0.0f}, {1.0f, 1.0f, 1e-30f}, {-7.25f, 8.5f, 9.75f}};
const std::vector<glm::vec3> kFrame = {{10, 0, 0}, {11, 0, 0}, {10, 1, 0}, {11, 1, 0}, {10.5f, 2, 0}};

std::string TwoObjectFile() {
  std::string red = Material(
      "Red", Chunk(0xA020, Chunk(0x0010, Bytes().F32(1.0f).F32(0.0f).F32(0.25f).s)) +
                 Chunk(0xA010, Chunk(0x0011, Bytes().U8(255).U8(0).U8(51).s)),
      "red.png");
  std::string blue = Material("Blue",
                              Chunk(0xA020, Chunk(0x0011, Bytes().U8(0).U8(0).U8(255).s)) +
                                  Chunk(0xA050, Chunk(0x0030, Bytes().U16(25).s)),
                              "TEXTURES\\BLUE.TGA");
  // Door: faces 0..2; Red holds face 1, Blue face 0, face 2 is in no group.
  std::string door = Object(
      "Door", Chunk(0x4100, Vertices(kDoor) + UVs(4) +
                                Faces({{0, 1, 2}, {1, 2, 3}, {3, 2, 0}}, Group("Red", {1}) + Group("Blue", {0})) +
                                Chunk(0x4160, std::string(48, '\x01'))));
  // Frame: Blue before Red, every face grouped; no texture coordinates.
  std::string frame = Object(
      "Frame", Chunk(0x4100, Vertices(kFrame) + Faces({{0, 1, 2}, {2, 1, 3}, {2, 3, 4}},
                                                      Group("Blue", {2, 0}) + Group("Red", {1}))));
  std::string light = Object("Lamp", Chunk(0x4600, Bytes().F32(0).F32(0).F32(0).s));
  std::string editor = Chunk(0x3D3D, Chunk(0x3D3E, Bytes().U32(3).s) + red + door + Chunk(0x1234, "junk") + light +
                                          blue + frame);
  return Chunk(0x4D4D, Chunk(0x0002, Bytes().U32(3).s) + editor);
}

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

TEST(Loader3DS, ObjectsFaceGroupsAndMaterialsInFileOrder) {
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("room.3DS", TwoObjectFile(), data, error)) << error;

  ASSERT_EQ(data.objects.size(), 2u);  // the light is not a mesh object
  const MeshObject& door = data.objects[0];
  const MeshObject& frame = data.objects[1];
  EXPECT_EQ(door.name, "Door");
  EXPECT_EQ(frame.name, "Frame");

  ASSERT_EQ(door.faceGroups.size(), 3u);
  EXPECT_EQ(door.faceGroups[0].materialName, "Red");
  EXPECT_EQ(door.faceGroups[0].indices, (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(door.faceGroups[1].materialName, "Blue");
  EXPECT_EQ(door.faceGroups[1].indices, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(door.faceGroups[2].materialName, "");  // the ungrouped face, last
  EXPECT_EQ(door.faceGroups[2].indices, (std::vector<uint32_t>{3, 2, 0}));
  ASSERT_EQ(frame.faceGroups.size(), 2u);
  EXPECT_EQ(frame.faceGroups[0].materialName, "Blue");
  EXPECT_EQ(frame.faceGroups[0].indices, (std::vector<uint32_t>{2, 3, 4, 0, 1, 2}));
  EXPECT_EQ(frame.faceGroups[1].materialName, "Red");

  ASSERT_EQ(door.positions.size(), kDoor.size());
  for (size_t i = 0; i < kDoor.size(); ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Bits(door.positions[i][k]), Bits(kDoor[i][k]));
  ASSERT_EQ(door.texCoords.size(), 4u);
  EXPECT_FLOAT_EQ(door.texCoords[3].y, 0.25f);
  EXPECT_TRUE(frame.texCoords.empty());

  // Triangles in the order of the face lists, not of the groups.
  std::vector<glm::vec3> tris = ExtractTriangles(data);
  const std::vector<glm::vec3> expected = {kDoor[0],  kDoor[1],  kDoor[2],  kDoor[1],  kDoor[2],  kDoor[3],
                                           kDoor[3],  kDoor[2],  kDoor[0],  kFrame[0], kFrame[1], kFrame[2],
                                           kFrame[2], kFrame[1], kFrame[3], kFrame[2], kFrame[3], kFrame[4]};
  ASSERT_EQ(tris.size(), expected.size());
  for (size_t i = 0; i < tris.size(); ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Bits(tris[i][k]), Bits(expected[i][k])) << i;

  ASSERT_EQ(data.materials.size(), 2u);
  EXPECT_EQ(data.materials[0].name, "Red");
  EXPECT_EQ(data.materials[0].textureFile, "red.png");
  EXPECT_FLOAT_EQ(data.materials[0].diffuse.b, 0.25f);
  EXPECT_FLOAT_EQ(data.materials[0].ambient.b, 0.2f);
  EXPECT_FLOAT_EQ(data.materials[0].opacity, 1.0f);
  EXPECT_EQ(data.materials[1].name, "Blue");
  EXPECT_EQ(data.materials[1].textureFile, "TEXTURES\\BLUE.TGA");
  EXPECT_FLOAT_EQ(data.materials[1].diffuse.b, 1.0f);
  EXPECT_FLOAT_EQ(data.materials[1].opacity, 0.75f);
}

TEST(Loader3DS, ALaterFaceListReplacesTheEarlierWithItsGroups) {
  // The first list's group names face 1, which the second list lacks.
  const std::string mesh = Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}) +
                           Faces({{0, 1, 2}, {1, 3, 2}}, Group("First", {1})) + Faces({{2, 1, 0}}, "");
  const std::string file = Chunk(0x4D4D, Chunk(0x3D3D, Object("Box", Chunk(0x4100, mesh))));
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("twice.3ds", file, data, error)) << error;
  ASSERT_EQ(data.objects.size(), 1u);
  const MeshObject& box = data.objects[0];
  EXPECT_EQ(box.fileTriangles, (std::vector<uint32_t>{2, 1, 0}));
  ASSERT_EQ(box.faceGroups.size(), 1u);
  EXPECT_EQ(box.faceGroups[0].materialName, "");
  EXPECT_EQ(box.faceGroups[0].indices, (std::vector<uint32_t>{2, 1, 0}));
}

TEST(Loader3DS, EveryTruncationFailsCleanly) {
  const std::string file = TwoObjectFile();
  for (size_t n = 0; n < file.size(); ++n) {
    // Cutting the file means the main chunk's length lies: always an error.
    MeshData data;
    std::string error;
    EXPECT_FALSE(LoadModel("cut.3ds", file.substr(0, n), data, error)) << n;
    EXPECT_FALSE(error.empty());
  }
}

TEST(Loader3DS, LyingChunksAndCountsGiveErrors) {
  auto wrap = [](const std::string& mesh) {
    return Chunk(0x4D4D, Chunk(0x3D3D, Object("Box", Chunk(0x4100, mesh))));
  };
  const std::string tri = Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  struct Case {
    const char* what;
    std::string file;
    const char* fragment;
  } cases[] = {
      {"vertex count past its chunk", wrap(Chunk(0x4110, Bytes().U16(65535).F32(1).s)), "vertex count"},
      {"face count past its chunk", wrap(tri + Chunk(0x4120, Bytes().U16(9000).U16(0).U16(1).s)), "face count"},
      {"uv count past its chunk", wrap(tri + Chunk(0x4140, Bytes().U16(4).F32(0).s)), "texture coordinate count"},
      {"face naming a missing vertex", wrap(tri + Faces({{0, 1, 3}}, "")), "names vertex 3"},
      {"group naming a missing face", wrap(tri + Faces({{0, 1, 2}}, Group("M", {1}))), "names face 1"},
      {"group count past its chunk", wrap(tri + Faces({{0, 1, 2}}, Chunk(0x4130, Bytes().Str("M").U16(500).s))),
       "more faces"},
      {"unterminated object name", Chunk(0x4D4D, Chunk(0x3D3D, Chunk(0x4000, "Box"))), "not terminated"},
      {"child longer than its parent",
       Chunk(0x4D4D, Chunk(0x3D3D, Bytes().U16(0x4000).U32(0xFFFFFFFF).Str("Box").s)), "bad length"},
      {"chunk shorter than its header", Chunk(0x4D4D, Bytes().U16(0x3D3D).U32(3).U32(0).s), "bad length"},
      {"not a 3DS file", Chunk(0x1234, ""), "not a 3DS file"},
      {"empty file", "", "too small"},
  };
  for (const Case& c : cases) {
    MeshData data;
    std::string error;
    EXPECT_FALSE(LoadModel("bad.3ds", c.file, data, error)) << c.what;
    EXPECT_NE(error.find(c.fragment), std::string::npos) << c.what << ": " << error;
  }
}

TEST(Loader3DS, GarbageNeverCrashes) {
  // Deterministic byte flips over a valid file; each load either succeeds
  // or fails with a message (run under the sanitizers to catch bad reads).
  const std::string file = TwoObjectFile();
  uint32_t seed = 7;
  auto rnd = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string bad = file;
    int flips = 1 + int(rnd() % 4);
    for (int f = 0; f < flips; ++f) bad[rnd() % bad.size()] = char(rnd());
    MeshData data;
    std::string error;
    if (!LoadModel("g.3ds", bad, data, error)) {
      EXPECT_FALSE(error.empty());
    }
    std::string text = bad;  // and the same bytes as an OBJ
    if (!LoadModel("g.obj", text, data, error)) {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(TangentSpace, BuildsFramesAndFailsWithoutUVs) {
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("room.3ds", TwoObjectFile(), data, error)) << error;
  // Frame has faces but no texture coordinates: failure, but the data stays
  // complete (normals, tangents and binormals for every vertex).
  EXPECT_FALSE(BuildTangentSpace(data));
  for (const MeshObject& obj : data.objects) {
    ASSERT_EQ(obj.normals.size(), obj.positions.size());
    ASSERT_EQ(obj.tangents.size(), obj.positions.size());
    ASSERT_EQ(obj.binormals.size(), obj.positions.size());
    for (size_t i = 0; i < obj.positions.size(); ++i) {
      EXPECT_NEAR(glm::length(obj.normals[i]), 1.0f, 1e-4f);
      EXPECT_NEAR(glm::length(obj.tangents[i]), 1.0f, 1e-4f);
      EXPECT_NEAR(glm::dot(obj.normals[i], obj.tangents[i]), 0.0f, 1e-4f);
    }
  }
  // The frame lies in the z = 0 plane, wound counter-clockwise seen from +z.
  EXPECT_NEAR(data.objects[1].normals[0].z, 1.0f, 1e-5f);

  // A textured quad: tangent along +u, binormal along +v, and success.
  MeshData quad;
  MeshObject q;
  q.positions = {{0, 0, 0}, {2, 0, 0}, {2, 0, -2}, {0, 0, -2}};
  q.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  q.normals = {{0, 1, 0}, {0, 0, 0}, {0, 1, 0}, {0, 1, 0}};  // one missing: computed
  q.faceGroups.push_back({"", {0, 1, 2, 0, 2, 3}});
  quad.objects.push_back(q);
  ASSERT_TRUE(BuildTangentSpace(quad));
  const MeshObject& r = quad.objects[0];
  EXPECT_NEAR(r.normals[1].y, 1.0f, 1e-5f);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(r.tangents[i].x, 1.0f, 1e-5f) << i;
    EXPECT_NEAR(r.binormals[i].z, -1.0f, 1e-5f) << i;
  }
}

}  // namespace
}  // namespace kavo::scene
