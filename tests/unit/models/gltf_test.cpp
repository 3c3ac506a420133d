// glTF 2.0 loading: embedded and binary buffers, the accessor layouts
// (component types, strides, normalization, sparse), primitive modes and
// names, external buffers and textures beside the model through the scene's
// file access, the JSON reader, and hostile files that must fail cleanly.
#include "support/bytes.h"
#include "scene/fileaccess.h"
#include "scene/geometry.h"
#include "scene/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace kavo::scene {
namespace {

using test::Base64;

// Serves files from memory through the scene's file access and records every
// name asked for; restores the disk access when it goes.
class FakeFiles {
 public:
  FakeFiles() {
    SetFileAccess(
        [this](std::string_view name, std::string& out) {
          asked.emplace_back(name);
          auto it = files.find(std::string(name));
          if (it == files.end()) return false;
          out = it->second;
          return true;
        },
        [this](std::string_view name) { return files.count(std::string(name)) > 0; });
  }
  ~FakeFiles() { ResetFileAccess(); }
  std::map<std::string, std::string> files;
  std::vector<std::string> asked;
};

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = char(v >> (8 * i));
  return s;
}

std::string Floats(std::initializer_list<float> values) {
  std::string s;
  for (float f : values) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    s += U32(bits);
  }
  return s;
}

// Unsigned integers of `size` bytes each, little-endian.
std::string Ints(int size, std::initializer_list<uint32_t> values) {
  std::string s;
  for (uint32_t v : values) s += U32(v).substr(0, size_t(size));
  return s;
}

std::string DataBuffer(const std::string& bytes) {
  return R"({"byteLength":)" + std::to_string(bytes.size()) + R"(,"uri":"data:application/octet-stream;base64,)" +
         Base64(bytes) + R"("})";
}

std::string Glb(std::string json, std::string bin) {
  while (json.size() % 4) json += ' ';
  while (bin.size() % 4) bin += '\0';
  std::string body = U32(uint32_t(json.size())) + U32(0x4E4F534A) + json;
  if (!bin.empty()) body += U32(uint32_t(bin.size())) + U32(0x004E4942) + bin;
  return "glTF" + U32(2) + U32(uint32_t(12 + body.size())) + body;
}

// A document from its top-level arrays; empty ones are left out.
std::string Doc(const std::string& buffers, const std::string& views, const std::string& accessors,
                const std::string& meshes, const std::string& more = "") {
  std::string s = R"({"asset":{"version":"2.0"})";
  if (!buffers.empty()) s += R"(,"buffers":[)" + buffers + "]";
  if (!views.empty()) s += R"(,"bufferViews":[)" + views + "]";
  if (!accessors.empty()) s += R"(,"accessors":[)" + accessors + "]";
  if (!meshes.empty()) s += R"(,"meshes":[)" + meshes + "]";
  return s + more + "}";
}

const std::string kTriangle = Floats({0, 0, 0, 1.0000001f, 0, 0, 0, 0, -1.5f});
const std::string kTriView = R"({"buffer":0,"byteLength":36})";
const std::string kTriAccessor = R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"})";
const std::string kTriMesh = R"({"name":"tri","primitives":[{"attributes":{"POSITION":0},"material":0}]})";
const std::string kPaint =
    R"(,"materials":[{"name":"Paint \"\u00e9\"","pbrMetallicRoughness":{"baseColorFactor":[0.5,0.25,1,0.5]}}])";

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

MeshData MustLoad(const std::string& name, const std::string& bytes) {
  MeshData data;
  std::string error;
  EXPECT_TRUE(LoadModel(name, bytes, data, error)) << error;
  return data;
}

TEST(GltfLoader, TriangleFromDataUriAndFromGlbBinChunk) {
  const std::string embedded = Doc(DataBuffer(kTriangle), kTriView, kTriAccessor, kTriMesh, kPaint);
  const std::string binary = Glb(Doc(R"({"byteLength":36})", kTriView, kTriAccessor, kTriMesh, kPaint), kTriangle);
  for (const auto& [name, bytes] : {std::pair{"tri.gltf", embedded}, {"tri.glb", binary}}) {
    SCOPED_TRACE(name);
    MeshData data = MustLoad(name, bytes);
    ASSERT_EQ(data.objects.size(), 1u);
    const MeshObject& obj = data.objects[0];
    EXPECT_EQ(obj.name, "tri");
    ASSERT_EQ(obj.positions.size(), 3u);
    EXPECT_EQ(Bits(obj.positions[1].x), Bits(1.0000001f));
    EXPECT_EQ(obj.positions[2], glm::vec3(0, 0, -1.5f));
    EXPECT_TRUE(obj.normals.empty());
    EXPECT_TRUE(obj.texCoords.empty());
    ASSERT_EQ(obj.faceGroups.size(), 1u);
    EXPECT_EQ(obj.faceGroups[0].indices, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(obj.fileTriangles, obj.faceGroups[0].indices);
    ASSERT_EQ(data.materials.size(), 1u);
    EXPECT_EQ(data.materials[0].name, "Paint \"\xC3\xA9\"");
    EXPECT_EQ(obj.faceGroups[0].materialName, data.materials[0].name);
    EXPECT_EQ(data.materials[0].diffuse, glm::vec4(0.5f, 0.25f, 1.0f, 0.5f));
    EXPECT_EQ(data.materials[0].opacity, 0.5f);
    EXPECT_TRUE(data.materials[0].textureFile.empty());
  }
  // The container is told apart by its header, not by the extension.
  EXPECT_EQ(MustLoad("tri.gltf", binary).objects.size(), 1u);
}

TEST(GltfLoader, IndicesOfEachComponentType) {
  for (int size : {1, 2, 4}) {
    SCOPED_TRACE(size);
    const int type = size == 1 ? 5121 : size == 2 ? 5123 : 5125;
    // The indices start 2 bytes into their view, past padding.
    const std::string bin = kTriangle + "xx" + Ints(size, {2, 1, 0, 0, 1, 2});
    const std::string doc = Doc(
        R"({"byteLength":)" + std::to_string(bin.size()) + "}",
        kTriView + R"(,{"buffer":0,"byteOffset":36,"byteLength":)" + std::to_string(bin.size() - 36) + "}",
        kTriAccessor + R"(,{"bufferView":1,"byteOffset":2,"componentType":)" + std::to_string(type) +
            R"(,"count":6,"type":"SCALAR"})",
        R"({"primitives":[{"attributes":{"POSITION":0},"indices":1}]})");
    MeshData data = MustLoad("idx.glb", Glb(doc, bin));
    ASSERT_EQ(data.objects.size(), 1u);
    EXPECT_EQ(data.objects[0].name, "mesh0");
    EXPECT_EQ(data.objects[0].fileTriangles, (std::vector<uint32_t>{2, 1, 0, 0, 1, 2}));
    ASSERT_EQ(data.objects[0].faceGroups.size(), 1u);
    EXPECT_EQ(data.objects[0].faceGroups[0].materialName, "");
  }
}

TEST(GltfLoader, ModesOrderAndNamesOfPrimitives) {
  // Four vertices of a quad; primitives: indexed triangles, lines (skipped),
  // a strip, no POSITION (skipped), a fan, then a second mesh.
  const std::string bin = Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}) + Ints(2, {0, 1, 2, 2, 1, 3});
  const std::string doc =
      Doc(R"({"byteLength":60})", R"({"buffer":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":12})",
          R"({"bufferView":0,"componentType":5126,"count":4,"type":"VEC3"},)"
          R"({"bufferView":1,"componentType":5123,"count":6,"type":"SCALAR"})",
          R"({"name":"door","primitives":[{"attributes":{"POSITION":0},"indices":1},)"
          R"({"attributes":{"POSITION":0},"mode":1},{"attributes":{"POSITION":0},"mode":5},)"
          R"({"attributes":{"NORMAL":0}},{"attributes":{"POSITION":0},"mode":6}]},)"
          R"({"name":"frame","primitives":[{"attributes":{"POSITION":0},"indices":1,"mode":4}]})");
  MeshData data = MustLoad("door.glb", Glb(doc, bin));
  ASSERT_EQ(data.objects.size(), 4u);
  EXPECT_EQ(data.objects[0].name, "door");
  EXPECT_EQ(data.objects[1].name, "door_2");
  EXPECT_EQ(data.objects[2].name, "door_4");
  EXPECT_EQ(data.objects[3].name, "frame");
  EXPECT_EQ(data.objects[0].fileTriangles, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
  // Strip 0 1 2 3: the second triangle turned to keep the winding.
  EXPECT_EQ(data.objects[1].fileTriangles, (std::vector<uint32_t>{0, 1, 2, 1, 3, 2}));
  // Fan around vertex 0.
  EXPECT_EQ(data.objects[2].fileTriangles, (std::vector<uint32_t>{1, 2, 0, 2, 3, 0}));
  EXPECT_EQ(ExtractTriangles(data).size(), 4u * 6u);
}

TEST(GltfLoader, SparseAccessorsOverDataAndOverZeros) {
  // Accessor 0: three stored vertices, vertex 2 replaced. Accessor 1: no
  // bufferView (all zeros) with vertex 1 set.
  const std::string bin = kTriangle + Ints(1, {2, 1, 0, 0}) + Floats({7, 8, 9, 4, 5, 6});
  const std::string doc = Doc(
      R"({"byteLength":64})",
      kTriView + R"(,{"buffer":0,"byteOffset":36,"byteLength":4},{"buffer":0,"byteOffset":40,"byteLength":24})",
      R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","sparse":{"count":1,)"
      R"("indices":{"bufferView":1,"componentType":5121},"values":{"bufferView":2}}},)"
      R"({"componentType":5126,"count":3,"type":"VEC3","sparse":{"count":1,)"
      R"("indices":{"bufferView":1,"byteOffset":1,"componentType":5121},"values":{"bufferView":2,"byteOffset":12}}})",
      R"({"primitives":[{"attributes":{"POSITION":0,"NORMAL":1}}]})");
  MeshData data = MustLoad("sparse.glb", Glb(doc, bin));
  ASSERT_EQ(data.objects.size(), 1u);
  const MeshObject& obj = data.objects[0];
  EXPECT_EQ(obj.positions, (std::vector<glm::vec3>{{0, 0, 0}, {1.0000001f, 0, 0}, {7, 8, 9}}));
  EXPECT_EQ(obj.normals, (std::vector<glm::vec3>{{0, 0, 0}, {4, 5, 6}, {0, 0, 0}}));
}

TEST(GltfLoader, InterleavedAttributesAndNormalizedTexCoords) {
  // Each vertex: position, normal, then two texture coordinates of the
  // component type under test, in one view with a stride.
  struct Case {
    int componentType;
    bool normalized;
    std::string uv;  // u0 v0 u1 v1 u2 v2
    std::vector<glm::vec2> expected;  // after the flip to the engine's bottom-left origin
  } cases[] = {
      {5121, true, Ints(1, {0, 255, 255, 0, 51, 102}), {{0, 0}, {1, 1}, {0.2f, 0.6f}}},
      {5123, true, Ints(2, {0, 65535, 65535, 0, 0, 65535}), {{0, 0}, {1, 1}, {0, 0}}},
      {5126, false, Floats({0.25f, 0.75f, 1, 0, 2, -1}), {{0.25f, 0.25f}, {1, 1}, {2, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.componentType);
    const size_t uvSize = c.uv.size() / 3;
    const size_t stride = (24 + uvSize + 3) / 4 * 4;
    std::string bin;
    for (int v = 0; v < 3; ++v) {
      std::string vertex = Floats({float(v), 0, 0, 0, 1, 0}) + c.uv.substr(size_t(v) * uvSize, uvSize);
      vertex.resize(stride, '\0');
      bin += vertex;
    }
    const std::string doc = Doc(
        R"({"byteLength":)" + std::to_string(bin.size()) + "}",
        R"({"buffer":0,"byteLength":)" + std::to_string(bin.size()) + R"(,"byteStride":)" + std::to_string(stride) +
            "}",
        R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"},)"
        R"({"bufferView":0,"byteOffset":12,"componentType":5126,"count":3,"type":"VEC3"},)"
        R"({"bufferView":0,"byteOffset":24,"componentType":)" + std::to_string(c.componentType) +
            R"(,"normalized":)" + (c.normalized ? "true" : "false") + R"(,"count":3,"type":"VEC2"})",
        R"({"primitives":[{"attributes":{"POSITION":0,"NORMAL":1,"TEXCOORD_0":2}}]})");
    MeshData data = MustLoad("uv.gltf", Glb(doc, bin));
    ASSERT_EQ(data.objects.size(), 1u);
    const MeshObject& obj = data.objects[0];
    EXPECT_EQ(obj.positions[2], glm::vec3(2, 0, 0));
    EXPECT_EQ(obj.normals[2], glm::vec3(0, 1, 0));
    ASSERT_EQ(obj.texCoords.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_FLOAT_EQ(obj.texCoords[i].x, c.expected[i].x) << i;
      EXPECT_FLOAT_EQ(obj.texCoords[i].y, c.expected[i].y) << i;
    }
  }
}

TEST(GltfLoader, ExternalBufferAndTexturesBesideTheModel) {
  FakeFiles files;
  files.files["rooms\\hall/parts/tri one.bin"] = kTriangle + "trailing bytes past byteLength";
  const std::string doc = Doc(
      R"({"byteLength":36,"uri":"parts/tri%20one.bin"})", kTriView, kTriAccessor, kTriMesh,
      R"(,"materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}},)"
      R"({"name":"Glass","pbrMetallicRoughness":{"baseColorTexture":{"index":1}}},)"
      R"({"pbrMetallicRoughness":{"baseColorTexture":{"index":2}}}],)"
      R"("textures":[{"source":0},{"source":1},{"extensions":{}}],)"
      R"("images":[{"uri":"tex/wood%2Bgrain.png"},{"uri":"data:image/png;base64,iVBORw0KGgo="}])");
  MeshData data = MustLoad("rooms\\hall/model.gltf", doc);
  EXPECT_EQ(files.asked, (std::vector<std::string>{"rooms\\hall/parts/tri one.bin"}));
  ASSERT_EQ(data.objects.size(), 1u);
  EXPECT_EQ(data.objects[0].positions[2], glm::vec3(0, 0, -1.5f));
  ASSERT_EQ(data.materials.size(), 3u);
  EXPECT_EQ(data.materials[0].name, "material0");
  EXPECT_EQ(data.materials[0].diffuse, glm::vec4(1.0f));
  EXPECT_EQ(data.materials[0].textureFile, "tex/wood+grain.png");
  EXPECT_EQ(data.materials[1].textureFile, "");  // embedded image: no file to name
  EXPECT_EQ(data.materials[2].textureFile, "");  // no source

  // A missing file names the path it looked for.
  files.files.clear();
  std::string error;
  EXPECT_FALSE(LoadModel("rooms/model.gltf", doc, data, error));
  EXPECT_NE(error.find("rooms/model.gltf"), std::string::npos) << error;
  EXPECT_NE(error.find("buffer 0 file \"rooms/parts/tri one.bin\" cannot be read"), std::string::npos) << error;
}

// One accessor of `count` (as written) VEC3 floats over the triangle.
std::string WithCount(const std::string& count) {
  return Doc(DataBuffer(kTriangle), kTriView,
             R"({"bufferView":0,"componentType":5126,"count":)" + count + R"(,"type":"VEC3"})", kTriMesh);
}

std::string WithUri(const std::string& uri) {
  return Doc(R"({"byteLength":36,"uri":")" + uri + R"("})", kTriView, kTriAccessor, kTriMesh);
}

std::string WithSparse(const std::string& sparse, const std::string& bin) {
  return Glb(Doc(R"({"byteLength":)" + std::to_string(bin.size()) + "}",
                 kTriView + R"(,{"buffer":0,"byteOffset":36,"byteLength":)" + std::to_string(bin.size() - 36) + "}",
                 R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","sparse":)" + sparse + "}",
                 kTriMesh),
             bin);
}

TEST(GltfLoader, HostileFilesFailWithTheirReason) {
  FakeFiles files;  // serves nothing; a refused uri must not even be asked for
  const std::string tinyGlb = "glTF" + U32(2) + U32(24) + U32(0xFFFFFFFF) + U32(0x4E4F534A) + "{}  ";
  std::string longBin = Glb(Doc("", "", "", ""), "abcd");
  longBin.replace(longBin.size() - 12, 4, U32(1000));
  std::string deep = R"({"asset":{"version":"2.0"},"extras":)";
  deep += std::string(10000, '[') + std::string(10000, ']') + "}";
  const std::string whole = WithCount("3");
  const std::string sparseBin = kTriangle + Ints(1, {7, 0, 0, 0}) + Floats({1, 2, 3});
  const std::string indexBin = kTriangle + Ints(2, {0, 1, 5, 0});
  struct Case {
    const char* label;
    std::string bytes;
    const char* fragment;
  } cases[] = {
      {"4 GiB JSON chunk", tinyGlb, "JSON chunk of 4294967295 bytes in a 24-byte file"},
      {"GLB longer than file", "glTF" + U32(2) + U32(400) + U32(4) + U32(0x4E4F534A) + "{}  ",
       "GLB header states 400 bytes in a 24-byte file"},
      {"GLB version 1", "glTF" + U32(1) + U32(12), "GLB version 1"},
      {"BIN chunk past the end", longBin,
       "BIN chunk of 1000 bytes"},
      {"bufferView past buffer",
       Doc(DataBuffer(kTriangle), R"({"buffer":0,"byteOffset":4,"byteLength":36})", kTriAccessor, kTriMesh),
       "bufferView 0 runs past buffer 0 (bytes 4 to 40 of 36)"},
      {"accessor past bufferView", WithCount("4"), "accessor 0 runs past bufferView 0"},
      {"stride below element",
       Doc(DataBuffer(kTriangle), R"({"buffer":0,"byteLength":36,"byteStride":8})", kTriAccessor, kTriMesh),
       "bufferView 0 stride 8 is smaller than the 12-byte elements of accessor 0"},
      {"stride past 252",
       Doc(DataBuffer(kTriangle), R"({"buffer":0,"byteLength":36,"byteStride":256})", kTriAccessor, kTriMesh),
       "bufferView 0 byteStride 256 is larger than 252"},
      {"sparse index out of range",
       WithSparse(R"({"count":1,"indices":{"bufferView":1,"componentType":5121},"values":{"bufferView":1,"byteOffset":4}})",
                  sparseBin),
       "accessor 0 sparse index 7 is past its 3 elements"},
      {"sparse count above count",
       WithSparse(R"({"count":4,"indices":{"bufferView":1,"componentType":5121},"values":{"bufferView":1}})",
                  sparseBin),
       "accessor 0 sparse count 4 is larger than its count 3"},
      {"sparse values past view",
       WithSparse(R"({"count":1,"indices":{"bufferView":1,"componentType":5121},"values":{"bufferView":1,"byteOffset":8}})",
                  sparseBin),
       "accessor 0 sparse values run past bufferView 1"},
      {"index past the vertices",
       Glb(Doc(R"({"byteLength":44})", kTriView + R"(,{"buffer":0,"byteOffset":36,"byteLength":8})",
               kTriAccessor + R"(,{"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"})",
               R"({"primitives":[{"attributes":{"POSITION":0},"indices":1}]})"),
           indexBin),
       "mesh 0 primitive 0 index 5 is past its 3 vertices"},
      {"absolute uri", WithUri("/etc/passwd"), "buffer 0 uri \"/etc/passwd\" is an absolute path"},
      {"backslash root", WithUri("\\\\\\\\server\\\\share"), "is an absolute path"},
      {"dot-dot uri", WithUri("../secret.bin"), "uri \"../secret.bin\" leaves the model's folder"},
      {"escaped dot-dot", WithUri("a/%2e%2E/%2e./x.bin"), "leaves the model's folder"},
      {"backslash dot-dot", WithUri("a\\\\..\\\\..\\\\x.bin"), "leaves the model's folder"},
      {"file scheme", WithUri("file:///x"), "uri \"file:///x\" is not a file beside the model"},
      {"http scheme", WithUri("http://x"), "uri \"http://x\" is not a file beside the model"},
      {"drive letter", WithUri("C:x.bin"), "is not a file beside the model"},
      {"NUL by escape", WithUri("x%00.bin"), "holds a control character"},
      {"bad escape", WithUri("x%4.bin"), "has a bad percent escape"},
      {"other data uri", WithUri("data:text/plain,hello"), "is not base64 application/octet-stream"},
      {"bad base64", WithUri("data:application/octet-stream;base64,AAAA*AAA"), "buffer 0 uri holds bad base64"},
      {"byteLength above data",
       Doc(R"({"byteLength":1000,"uri":"data:application/gltf-buffer;base64,)" + Base64(kTriangle) + R"("})",
           kTriView, kTriAccessor, kTriMesh),
       "buffer 0 states 1000 bytes but its data uri holds 36"},
      {"no uri outside GLB", Doc(R"({"byteLength":36})", kTriView, kTriAccessor, kTriMesh),
       "buffer 0 has no uri and the file has no BIN chunk"},
      {"nested 10000 deep", deep, "nested deeper than 64 levels"},
      {"truncated JSON", whole.substr(0, whole.size() / 2), "JSON: the text ends"},
      {"count 1e400", WithCount("1e400"), "accessor 0 count inf is not a finite number"},
      {"negative count", WithCount("-3"), "accessor 0 count -3 is negative"},
      {"count 2^40", WithCount("1099511627776"), "accessor 0 count 1099511627776 is larger than 4294967295"},
      {"fractional count", WithCount("2.5"), "accessor 0 count 2.5 is not a whole number"},
      {"too many vertices",
       Doc("", "", R"({"componentType":5126,"count":16777217,"type":"VEC3"})", kTriMesh),
       "more than 16777216 vertices"},
      {"indices past triangle budget",
       Doc(DataBuffer(kTriangle), kTriView,
           kTriAccessor + R"(,{"componentType":5125,"count":50331651,"type":"SCALAR"})",
           R"({"primitives":[{"attributes":{"POSITION":0},"indices":1}]})"),
       "more than 16777216 triangles"},
      {"missing accessor", Doc("", "", "", kTriMesh), "mesh 0 primitive 0 POSITION names accessor 0, but the file has 0"},
      {"unknown material", Doc(DataBuffer(kTriangle), kTriView, kTriAccessor, kTriMesh),
       "mesh 0 primitive 0 names material 0, but the file has 0"},
      {"bad component type", WithCount("3").replace(WithCount("3").find("5126"), 4, "5124"),
       "accessor 0 componentType 5124 is not one of 5120 to 5126"},
      {"required draco", Doc("", "", "", "", R"(,"extensionsRequired":["KHR_draco_mesh_compression"])"),
       "needs the extension \"KHR_draco_mesh_compression\""},
      {"glTF 1.0", R"({"asset":{"version":"1.0"}})", "glTF version \"1.0\""},
      {"not JSON", "\x01\x02garbage", "JSON: unexpected character at line 1, column 1"},
  };
  for (const Case& c : cases) {
    MeshData data;
    std::string error;
    EXPECT_FALSE(LoadModel("hostile.gltf", c.bytes, data, error)) << c.label;
    EXPECT_NE(error.find("hostile.gltf"), std::string::npos) << c.label << ": " << error;
    EXPECT_NE(error.find(c.fragment), std::string::npos) << c.label << ": " << error;
  }
  EXPECT_TRUE(files.asked.empty());
}

TEST(GltfJson, ValuesEscapesAndNumbers) {
  const std::string text =
      R"( {"a":[1,-0.5e1,1e400,-1e400,1e-400,true,false,null],"s":"x\u00e9\ud83d\ude00\n\/","a":2,"e":{},"f":[]} )";
  json::Document doc;
  std::string error;
  ASSERT_TRUE(doc.Parse(text, error)) << error;
  const json::Value root = doc.Root();
  ASSERT_TRUE(root.IsObject());
  EXPECT_EQ(root.Size(), 5u);
  const json::Value a = root.Get("a");  // the first of two "a"
  ASSERT_EQ(a.Size(), 8u);
  EXPECT_EQ(a[1].Number(), -5.0);
  EXPECT_EQ(a[2].Number(), INFINITY);
  EXPECT_EQ(a[3].Number(), -INFINITY);
  EXPECT_EQ(a[4].Number(), 0.0);
  EXPECT_TRUE(a[5].Bool());
  EXPECT_TRUE(a[6].IsBool() && !a[6].Bool());
  EXPECT_TRUE(a[7].IsNull() && a[7].Present());
  EXPECT_FALSE(a[8].Present());
  EXPECT_EQ(root.Get("s").String(), "x\xC3\xA9\xF0\x9F\x98\x80\n/");
  EXPECT_EQ(root.KeyAt(2), "a");
  EXPECT_TRUE(root.Get("e").IsObject());
  EXPECT_TRUE(root.Get("f").IsArray());
  EXPECT_FALSE(root.Get("missing").Get("deeper")[3].Present());
}

TEST(GltfJson, RefusesMalformedText) {
  const char* cases[] = {"",        "[1,]",     "{\"a\" 1}", "[01]",      "[1.]",       "[\"\x01\"]",
                         "[\"\\x\"]", "[tru]",    "{1:2}",     "[1] [2]",   "\"open",     "[\"\\ud83\"]",
                         "{\"a\":1,}", "-",        "[1e]",      "{\"a\":[}"};
  for (const char* text : cases) {
    json::Document doc;
    std::string error;
    EXPECT_FALSE(doc.Parse(text, error)) << text;
    EXPECT_EQ(error.rfind("JSON: ", 0), 0u) << text;
    EXPECT_FALSE(doc.Root().Present());
  }
  json::Document doc;
  std::string error;
  json::Limits limits;
  limits.maxValues = 4;
  EXPECT_FALSE(doc.Parse("[1,2,3,4]", error, limits));
  EXPECT_NE(error.find("more than 4 values"), std::string::npos) << error;
  EXPECT_TRUE(doc.Parse(std::string(64, '[') + std::string(64, ']'), error)) << error;
}

}  // namespace
}  // namespace kavo::scene
