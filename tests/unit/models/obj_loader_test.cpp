// Wavefront OBJ + MTL loading: objects, face groups, fanning, negative
// indices, exact coordinates, the material library through the scene's file
// access, and errors for broken files.
#include "scene/fileaccess.h"
#include "scene/geometry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace kavo::scene {
namespace {

// Serves files from memory through the scene layer's file access.
class MemoryFiles {
 public:
  MemoryFiles() {
    SetFileAccess(
        [this](std::string_view name, std::string& out) {
          ++opened;
          auto it = files_.find(std::string(name));
          if (it == files_.end()) return false;
          out = it->second;
          return true;
        },
        [this](std::string_view name) { return files_.count(std::string(name)) > 0; });
  }
  ~MemoryFiles() { ResetFileAccess(); }
  void Add(const std::string& name, const std::string& text) { files_[name] = text; }
  int opened = 0;

 private:
  std::map<std::string, std::string> files_;
};

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

const char* kCrate =
    "# two objects, the second with two materials\n"
    "mtllib crate.mtl\n"
    "v 0.1 0.2 0.3\n"
    "v 1.0000001 0 0\n"
    "v 1 1 0\n"
    "v 0 1 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "o Lid\n"
    "usemtl Wood\n"
    "f 1/1 2/2 3/3 4/4\n"  // a quad: two triangles
    "g Body\n"
    "usemtl Metal\n"
    "f -4/-4 -3/-3 -2/-2\n"  // negative indices: vertices 1 2 3
    "usemtl Wood\n"
    "f 1 3 4\n";

const char* kCrateMtl =
    "newmtl Wood\n"
    "Ka 0.1 0.2 0.3\n"
    "Kd 0.5 0.25 0.125\n"
    "d 0.5\n"
    "map_Kd -s 1 1 1 wood.png\n"
    "newmtl Metal\n"
    "Ks 1 1 1\n"
    "map_Kd textures/metal plate.jpg\n";

TEST(ObjLoader, ObjectsGroupsMaterialsAndExactVertices) {
  MemoryFiles files;
  files.Add("models/crate.mtl", kCrateMtl);
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("models/CRATE.OBJ", kCrate, data, error)) << error;

  ASSERT_EQ(data.objects.size(), 2u);
  EXPECT_EQ(data.objects[0].name, "Lid");
  EXPECT_EQ(data.objects[1].name, "Body");
  ASSERT_EQ(data.objects[0].faceGroups.size(), 1u);
  EXPECT_EQ(data.objects[0].faceGroups[0].materialName, "Wood");
  EXPECT_EQ(data.objects[0].faceGroups[0].indices.size(), 6u);
  ASSERT_EQ(data.objects[1].faceGroups.size(), 2u);
  EXPECT_EQ(data.objects[1].faceGroups[0].materialName, "Metal");
  EXPECT_EQ(data.objects[1].faceGroups[1].materialName, "Wood");
  EXPECT_EQ(data.objects[0].texCoords.size(), data.objects[0].positions.size());

  // Triangles in file order, fanned around the first corner, coordinates as
  // written (1.0000001 is not rounded to 1).
  std::vector<glm::vec3> v = ExtractTriangles(data);
  const glm::vec3 p1(0.1f, 0.2f, 0.3f), p2(1.0000001f, 0, 0), p3(1, 1, 0), p4(0, 1, 0);
  const std::vector<glm::vec3> expected = {p1, p2, p3, p1, p3, p4, p1, p2, p3, p1, p3, p4};
  ASSERT_EQ(v.size(), expected.size());
  for (size_t i = 0; i < v.size(); ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Bits(v[i][k]), Bits(expected[i][k])) << i;
  EXPECT_NE(Bits(p2.x), Bits(1.0f));

  ASSERT_EQ(data.materials.size(), 2u);
  EXPECT_EQ(data.materials[0].name, "Wood");
  EXPECT_FLOAT_EQ(data.materials[0].diffuse.g, 0.25f);
  EXPECT_FLOAT_EQ(data.materials[0].ambient.b, 0.3f);
  EXPECT_FLOAT_EQ(data.materials[0].opacity, 0.5f);
  EXPECT_EQ(data.materials[0].textureFile, "wood.png");
  EXPECT_EQ(data.materials[1].name, "Metal");
  EXPECT_EQ(data.materials[1].textureFile, "textures/metal plate.jpg");
}

TEST(ObjLoader, MissingMaterialLibraryStillLoadsTheGeometry) {
  MemoryFiles files;
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("crate.obj", kCrate, data, error)) << error;
  EXPECT_EQ(data.objects.size(), 2u);
  EXPECT_TRUE(data.materials.empty());
}

TEST(ObjLoader, FacesBeforeAnyObjectFormAnUnnamedObject) {
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("a.obj", "v 0 0 0\nv 1 0 0\nv 0 0 1\nf 1 2 3\n", data, error)) << error;
  ASSERT_EQ(data.objects.size(), 1u);
  EXPECT_EQ(data.objects[0].name, "");
  ASSERT_EQ(data.objects[0].faceGroups.size(), 1u);
  EXPECT_EQ(data.objects[0].faceGroups[0].materialName, "");
  EXPECT_TRUE(data.objects[0].texCoords.empty());
}

TEST(ObjLoader, BrokenFilesGiveErrors) {
  struct Case {
    const char* text;
    const char* fragment;
  } cases[] = {
      {"v 0 0 0\nf 1 2 3\n", "line 2"},                // index past the vertices
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n", "no vertex"},  // index 0
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf -4 1 2\n", "no vertex"},  // negative past the start
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/5 2 3\n", "texture coordinate"},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1//9 2 3\n", "normal"},
      {"v 0 0 0\nv 1 0 0\nf 1 2\n", "fewer than three"},
      {"v 0 zero 0\n", "bad vertex"},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999999999999\n", "no vertex"},
  };
  for (const Case& c : cases) {
    MeshData data;
    std::string error;
    EXPECT_FALSE(LoadModel("bad.obj", c.text, data, error)) << c.text;
    EXPECT_NE(error.find(c.fragment), std::string::npos) << error;
  }
}

TEST(ModelFiles, FormatByExtension) {
  EXPECT_TRUE(IsModelFile("ROOM.3DS"));
  EXPECT_TRUE(IsModelFile("dir.v2/room.Obj"));
  EXPECT_TRUE(IsModelFile("prop.glb"));
  EXPECT_FALSE(IsModelFile("dir.obj/readme"));
  EXPECT_FALSE(IsModelFile("picture.png"));
  MeshData data;
  std::string error;
  EXPECT_FALSE(LoadModel("picture.png", "x", data, error));
  EXPECT_NE(error.find("picture.png"), std::string::npos);
}

}  // namespace
}  // namespace kavo::scene

namespace kavo::scene {
namespace {

TEST(GltfLoader, KeepsItsCoordinates) {
  // Two triangles of a 2.5 x 3.25 floor in an embedded buffer.
  const std::string gltf =
      R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":72,"uri":"data:application/octet-stream;base64,)"
      "AAAAAAAAAAAAAAAAAAAgQAAAAAAAAAAAAAAgQAAAAAAAAFDAAAAAAAAAAAAAAAAAAAAgQAAAAAAAAFDAAAAAAAAAAAAAAFDA"
      R"("}],"bufferViews":[{"buffer":0,"byteLength":72}],)"
      R"("accessors":[{"bufferView":0,"componentType":5126,"count":6,"type":"VEC3","min":[0,0,-3.25],"max":[2.5,0,0]}],)"
      R"("meshes":[{"name":"floor","primitives":[{"attributes":{"POSITION":0}}]}],)"
      R"("nodes":[{"mesh":0}],"scenes":[{"nodes":[0]}],"scene":0})";
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("floor.GLTF", gltf, data, error)) << error;
  ASSERT_EQ(data.objects.size(), 1u);
  EXPECT_EQ(data.objects[0].name, "floor");
  std::vector<glm::vec3> tris = ExtractTriangles(data);
  ASSERT_EQ(tris.size(), 6u);
  glm::vec3 lo, hi;
  ASSERT_TRUE(ComputeBounds(data, lo, hi));
  EXPECT_EQ(lo, glm::vec3(0, 0, -3.25f));
  EXPECT_EQ(hi, glm::vec3(2.5f, 0, 0));
  TriangleOctree tree;
  tree.Build(data, 3);
  auto hit = tree.Intersect({{1, 10, -1}, {0, -1, 0}});
  ASSERT_TRUE(hit);
  EXPECT_FLOAT_EQ(hit->distance, 10.0f);

  EXPECT_FALSE(LoadModel("broken.glb", std::string("glTF\x02\0\0\0garbage", 15), data, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(LoadModel("empty.gltf", "", data, error));
}


// The triangles of a face cover exactly the polygon: their areas add up to
// the polygon's and no triangle lies outside it.
double PolygonArea(const std::vector<glm::vec2>& p) {
  double a = 0;
  for (size_t i = 0; i < p.size(); ++i) a += double(p[i].x) * p[(i + 1) % p.size()].y - double(p[(i + 1) % p.size()].x) * p[i].y;
  return a / 2;
}

bool InsidePolygon(const std::vector<glm::vec2>& p, glm::vec2 q) {
  bool in = false;
  for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
    if ((p[i].y > q.y) != (p[j].y > q.y) && q.x < (p[j].x - p[i].x) * (q.y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
      in = !in;
  return in;
}

TEST(ObjLoader, ConcaveFacesAreCutIntoEarsAndConvexOnesFanned) {
  struct Case {
    const char* name;
    std::vector<glm::vec2> polygon;  // counter-clockwise in x-y, or clockwise
  } cases[] = {
      {"C shape", {{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 2}, {3, 2}, {3, 3}, {0, 3}}},
      {"C shape clockwise", {{0, 3}, {3, 3}, {3, 2}, {1, 2}, {1, 1}, {3, 1}, {3, 0}, {0, 0}}},
      {"star", {{0, -3}, {1, -1}, {3, 0}, {1, 1}, {0, 3}, {-1, 1}, {-3, 0}, {-1, -1}}},
      {"comb", {{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}}},
      {"collinear corners", {{0, 0}, {1, 0}, {2, 0}, {2, 2}, {1, 1}, {0, 2}}},
  };
  for (const Case& c : cases) {
    std::string obj;
    for (const glm::vec2& v : c.polygon) obj += "v " + std::to_string(v.x) + " " + std::to_string(v.y) + " 0\n";
    obj += "f";
    for (size_t i = 0; i < c.polygon.size(); ++i) obj += " " + std::to_string(i + 1);
    MeshData data;
    std::string error;
    ASSERT_TRUE(LoadModel("face.obj", obj + "\n", data, error)) << c.name << ": " << error;
    const MeshObject& o = data.objects.at(0);
    const auto& idx = o.faceGroups.at(0).indices;
    ASSERT_EQ(idx.size(), (c.polygon.size() - 2) * 3) << c.name;
    double area = 0;
    for (size_t t = 0; t < idx.size(); t += 3) {
      glm::vec2 a(o.positions[idx[t]]), b(o.positions[idx[t + 1]]), d(o.positions[idx[t + 2]]);
      const double signedArea = PolygonArea({a, b, d});
      area += signedArea;
      EXPECT_TRUE(InsidePolygon(c.polygon, (a + b + d) / 3.0f)) << c.name << " triangle " << t / 3;
    }
    EXPECT_NEAR(area, PolygonArea(c.polygon), 1e-9) << c.name << ": every triangle wound as the face";
  }
  // A convex quad keeps the fan around its first corner, so rooms' floors
  // and navigation cells come out as they always did.
  MeshData quad;
  std::string error;
  ASSERT_TRUE(LoadModel("quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n", quad, error)) << error;
  EXPECT_EQ(quad.objects[0].fileTriangles, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
}

TEST(ObjLoader, FacesThatCannotBeCutStillLoadAndHugeOnesAreRefused) {
  MeshData data;
  std::string error;
  // A bow tie crosses itself and a folded face has no area: both load.
  EXPECT_TRUE(LoadModel("bow.obj", "v 0 0 0\nv 2 2 0\nv 2 0 0\nv 0 2 0\nf 1 2 3 4\n", data, error)) << error;
  EXPECT_TRUE(LoadModel("fold.obj", "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 1 0 0\nf 1 2 3 4\n", data, error)) << error;
  EXPECT_TRUE(LoadModel("nan.obj", "v 0 0 0\nv nan 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 0.5 0\nf 1 2 3 4 5\n", data, error))
      << error;
  // More corners than a face may have.
  std::string big = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf";
  for (int i = 0; i < 1025; ++i) big += " " + std::to_string(i % 3 + 1);
  EXPECT_FALSE(LoadModel("big.obj", big + "\n", data, error));
  EXPECT_NE(error.find("big.obj: OBJ: line 4: face with more than 1024 corners"), std::string::npos) << error;
}

TEST(ObjLoader, AFileWithNoGeometryIsNoModel) {
  MeshData data;
  std::string error;
  std::string binary;
  for (int i = 0; i < 512; ++i) binary += static_cast<char>((i * 37) & 0xFF);
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"noise.obj", binary}, {"points.obj", "v 0 0 0\nv 1 0 0\n"}, {"empty.obj", ""}}) {
    EXPECT_FALSE(LoadModel(name, bytes, data, error)) << name;
    EXPECT_NE(error.find("Unable to load model " + name + ": "), std::string::npos) << error;
  }
  EXPECT_FALSE(LoadModel("points.obj", "v 0 0 0\nv 1 0 0\n", data, error));
  EXPECT_EQ(error, "Unable to load model points.obj: the file holds no geometry");
}

TEST(ObjLoader, AMaterialLibraryNamedOftenIsReadOnce) {
  MemoryFiles files;
  files.Add("m/box.mtl", "newmtl red\nKd 1 0 0\n");
  std::string obj;
  for (int i = 0; i < 20000; ++i) obj += "mtllib box.mtl\n";
  obj += "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n";
  MeshData data;
  std::string error;
  ASSERT_TRUE(LoadModel("m/box.obj", obj, data, error)) << error;
  EXPECT_EQ(data.materials.size(), 1u);
  EXPECT_EQ(files.opened, 1);
}

}  // namespace
}  // namespace kavo::scene
