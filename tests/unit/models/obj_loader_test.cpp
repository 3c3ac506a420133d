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
          auto it = files_.find(std::string(name));
          if (it == files_.end()) return false;
          out = it->second;
          return true;
        },
        [this](std::string_view name) { return files_.count(std::string(name)) > 0; });
  }
  ~MemoryFiles() { ResetFileAccess(); }
  void Add(const std::string& name, const std::string& text) { files_[name] = text; }

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

}  // namespace
}  // namespace kavo::scene
