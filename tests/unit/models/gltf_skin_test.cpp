// Skinned glTF characters as animated models: joints become bones (parents
// first), the transforms above the root joint go into its pose, the file's
// inverse bind matrices are used, animations are sampled at 30 frames a
// second; broken skins fail naming the file; a glTF without a skin is a
// morph model of one frame.
#include "support/bytes.h"
#include "scene/animatedmesh.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace kavo::scene {
namespace {

using test::Base64;

constexpr float kEps = 1e-4f;
const float kS45 = std::sqrt(0.5f);

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }
std::string Floats(const std::vector<float>& v) { return Bytes(v.data(), v.size() * 4); }

std::string Num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

// The armature's transform: moved 1 along x, turned 90 degrees about z,
// scaled by 2. Everything the skeleton does ends up under it.
glm::mat4 Armature() {
  return glm::scale(glm::rotate(glm::translate(glm::mat4(1.0f), {1, 0, 0}), glm::radians(90.0f), {0, 0, 1}),
                    glm::vec3(2.0f));
}

// A skinned triangle: nodes "Armature" (0) > "root" (1) > "arm" (2, one up),
// and "body" (3) with the mesh and the skin. The skin lists arm before root,
// so the bones come out reordered. Vertices 0 and 1 hang on root, vertex 2
// (the top, two up in the armature) on arm. Animation "wave" turns arm 90
// degrees about x in one second.
struct Rig {
  std::vector<uint8_t> joints = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};  // joint 0: arm, 1: root
  std::vector<float> weights = {1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0};  // vertex 1's sum of 2 is scaled to 1
  std::vector<float> times = {0, 1};
  int ibmCount = 2;
  std::vector<float> rotations = {0, 0, 0, 1, kS45, 0, 0, kS45};  // x, y, z, w a key
  int outputCount = 2;
  std::string interpolation = "LINEAR";
  bool byteWeights = false;  // WEIGHTS_0 as normalized unsigned bytes
  int channelNode = 2;
  bool armatureAsMatrix = false;

  std::string Json() const {
    const glm::mat4 a = Armature();
    const std::vector<float> positions = {-0.5f, 0, 0, 0.5f, 0, 0, 0, 2, 0};
    std::string buffer;
    std::vector<float> world;
    for (size_t i = 0; i < positions.size(); i += 3) {
      const glm::vec3 p = glm::vec3(a * glm::vec4(positions[i], positions[i + 1], positions[i + 2], 1.0f));
      world.insert(world.end(), {p.x, p.y, p.z});
    }
    const glm::mat4 ibm[2] = {glm::inverse(a * glm::translate(glm::mat4(1.0f), {0, 1, 0})), glm::inverse(a)};
    std::string weightBytes = Floats(weights);
    if (byteWeights) {
      weightBytes.clear();
      for (float w : weights) weightBytes += char(uint8_t(w * 255.0f + 0.5f));
    }
    std::vector<std::string> parts = {Floats(world), Bytes(joints.data(), joints.size()), weightBytes,
                                      Bytes(ibm, sizeof ibm), Floats(times), Floats(rotations)};
    std::string views;
    for (const std::string& p : parts) {
      if (!views.empty()) views += ",";
      views += R"({"buffer":0,"byteOffset":)" + std::to_string(buffer.size()) + R"(,"byteLength":)" +
               std::to_string(p.size()) + "}";
      buffer += p;
    }
    auto accessor = [](int view, int type, int count, const char* kind) {
      return R"({"bufferView":)" + std::to_string(view) + R"(,"componentType":)" + std::to_string(type) +
             R"(,"count":)" + std::to_string(count) + R"(,"type":")" + kind + "\"" +
             (type == 5121 && view == 2 ? R"(,"normalized":true)" : "") + "}";
    };
    const std::string accessors = accessor(0, 5126, 3, "VEC3") + "," + accessor(1, 5121, 3, "VEC4") + "," +
                                  accessor(2, byteWeights ? 5121 : 5126, 3, "VEC4") + "," + accessor(3, 5126, ibmCount, "MAT4") + "," +
                                  accessor(4, 5126, int(times.size()), "SCALAR") + "," +
                                  accessor(5, 5126, outputCount, "VEC4");
    std::string armature;
    if (armatureAsMatrix) {
      for (int k = 0; k < 16; ++k) armature += (k ? "," : "") + Num(a[k / 4][k % 4]);
      armature = R"("matrix":[)" + armature + "]";
    } else {
      armature = R"("translation":[1,0,0],"rotation":[0,0,)" + Num(kS45) + "," + Num(kS45) + R"(],"scale":[2,2,2])";
    }
    return R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":)" + std::to_string(buffer.size()) +
           R"(,"uri":"data:application/octet-stream;base64,)" + Base64(buffer) + R"("}],"bufferViews":[)" + views +
           R"(],"accessors":[)" + accessors +
           R"(],"meshes":[{"name":"body","primitives":[{"attributes":{"POSITION":0,"JOINTS_0":1,"WEIGHTS_0":2}}]}],)"
           R"("nodes":[{"name":"Armature","children":[1,3],)" + armature +
           R"(},{"name":"root","children":[2]},{"name":"arm","translation":[0,1,0]},{"name":"body","mesh":0,"skin":0}],)"
           R"("skins":[{"joints":[2,1],"inverseBindMatrices":3}],)"
           R"("animations":[{"name":"wave","channels":[{"sampler":0,"target":{"node":)" + std::to_string(channelNode) +
           R"(,"path":"rotation"}},{"sampler":0,"target":{"node":0,"path":"rotation"}}],)"
           R"("samplers":[{"input":4,"output":5,"interpolation":")" + interpolation + R"("}]}]})";
  }
};

void ExpectVec(const glm::vec3& got, const glm::vec3& want, const std::string& what) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], kEps) << what << " axis " << k;
}

TEST(GltfSkin, PosesTheTopVertexAndTheArmThroughTheAnimation) {
  for (bool asMatrix : {false, true}) {
    SCOPED_TRACE(asMatrix ? "armature as a matrix" : "armature as translation, rotation, scale");
    Rig rig;
    rig.armatureAsMatrix = asMatrix;
    AnimatedMeshNode node{"actor"};
    node.LoadAnimatedFromBytes("models/rig.gltf", rig.Json());
    node.SetMode(AnimationMode::None);
    const AnimatedModelData& m = node.Model();
    ASSERT_EQ(m.kind, AnimatedModelData::Kind::Skeletal);
    ASSERT_EQ(m.bones.size(), 2u);
    EXPECT_EQ(m.bones[0].name, "root");
    EXPECT_EQ(m.bones[0].parent, -1);
    EXPECT_EQ(m.bones[1].name, "arm");
    EXPECT_EQ(m.bones[1].parent, 0);
    ASSERT_EQ(m.animations.size(), 1u);
    EXPECT_EQ(m.animations[0].name, "wave");
    EXPECT_EQ(m.animations[0].start, 1);
    EXPECT_EQ(m.animations[0].end, 31);
    EXPECT_TRUE(m.animations[0].loop);
    EXPECT_EQ(node.FrameCount(), 32);
    // The weights after normalising: vertex 1 wholly on root, vertex 2 on arm.
    ASSERT_EQ(m.skins.size(), 1u);
    EXPECT_EQ(m.skins[0][1].bone[0], 0);
    EXPECT_FLOAT_EQ(m.skins[0][1].weight[0], 1.0f);
    EXPECT_EQ(m.skins[0][2].bone[0], 1);

    // Rest pose: the mesh as stored.
    ExpectVec(node.PosedMesh().objects[0].positions[2], {-3, 0, 0}, "rest");
    ASSERT_TRUE(node.SwitchTo("wave", false));
    // The top lies at (0, 1 + cos a, sin a) in the armature at arm angle a;
    // the armature takes (x, y, z) to (1 - 2y, 2x, 2z).
    const struct {
      int frame;
      glm::vec3 top;
    } kCases[] = {{1, {-3, 0, 0}}, {16, {-1 - 2 * kS45, 0, 2 * kS45}}, {31, {-1, 0, 2}}};
    for (const auto& c : kCases) {
      node.SetCurrentFrame(c.frame);
      ExpectVec(node.PosedMesh().objects[0].positions[2], c.top, "top at frame " + std::to_string(c.frame));
      ExpectVec(node.PosedMesh().objects[0].positions[0], {1, -1, 0}, "vertex on root stays");
    }
    const glm::mat4 arm = node.BoneMatrix(node.BoneIndex("arm"));
    ExpectVec(glm::vec3(arm[3]), {-1, 0, 0}, "arm origin");
    ExpectVec(glm::vec3(arm[1]), {0, 0, 2}, "arm's y axis turned up to z, scaled by the armature");
  }
}

glm::vec3 TopAt(const Rig& rig, int frame) {
  AnimatedMeshNode node{"actor"};
  node.LoadAnimatedFromBytes("models/rig.gltf", rig.Json());
  EXPECT_TRUE(node.SwitchTo("wave", false));
  node.SetCurrentFrame(frame);
  return node.PosedMesh().objects[0].positions[2];
}

TEST(GltfSkin, StepHoldsCubicSplineTakesTheValuesByteWeightsNormalise) {
  Rig step;
  step.interpolation = "STEP";
  ExpectVec(TopAt(step, 30), {-3, 0, 0}, "STEP holds the first key to the last frame before the second");
  ExpectVec(TopAt(step, 31), {-1, 0, 2}, "STEP at the second key");

  // In-tangent, value, out-tangent for each key; the tangents are wild and unused.
  Rig cubic;
  cubic.interpolation = "CUBICSPLINE";
  cubic.rotations = {9, 9, 9, 9, 0, 0, 0, 1, 9, 9, 9, 9, 9, 9, 9, 9, kS45, 0, 0, kS45, 9, 9, 9, 9};
  cubic.outputCount = 6;
  ExpectVec(TopAt(cubic, 31), {-1, 0, 2}, "CUBICSPLINE end");
  ExpectVec(TopAt(cubic, 16), {-1 - 2 * kS45, 0, 2 * kS45}, "CUBICSPLINE half way");

  // Bytes 255 and 0 for vertices 0 and 1, and the top split 128/127 between
  // arm (joint 0) and root: its weights are normalised to a sum of one.
  Rig bytes;
  bytes.byteWeights = true;
  bytes.weights = {1, 0, 0, 0, 1, 0, 0, 0, 128.0f / 255, 127.0f / 255, 0, 0};
  bytes.joints = {1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0};
  AnimatedModelData m;
  std::string error;
  ASSERT_TRUE(LoadAnimatedModel("models/rig.glb", bytes.Json(), m, error)) << error;
  const VertexSkin& top = m.skins[0][2];
  EXPECT_EQ(top.bone[0], 1);  // arm is bone 1 after the reorder
  EXPECT_EQ(top.bone[1], 0);
  EXPECT_NEAR(top.weight[0], 128.0f / 255, 1e-6f);
  EXPECT_NEAR(top.weight[0] + top.weight[1], 1.0f, 1e-6f);
}

TEST(GltfSkin, BrokenSkinsFailNamingTheFile) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    const char* what;
    std::function<void(Rig&)> breakIt;
    const char* reason;
  } kCases[] = {
      {"joint index past the joints", [](Rig& r) { r.joints[8] = 2; }, "names joint 2, but skin 0 has 2"},
      {"weight NaN", [&](Rig& r) { r.weights[5] = nan; }, "vertex 1 has a weight that is not a finite number"},
      {"negative weight", [](Rig& r) { r.weights[0] = -1; }, "negative weight"},
      {"inverse bind matrix count", [](Rig& r) { r.ibmCount = 1; }, "has 1 matrices for 2 joints"},
      {"key times decreasing", [](Rig& r) { r.times = {1, 0}; }, "key 1 time 0 comes before the key before it"},
      {"key time NaN", [&](Rig& r) { r.times = {0, nan}; }, "key 1 time is not a finite number"},
      {"output count", [](Rig& r) { r.outputCount = 1; }, "has 1 elements for 2 keys"},
      {"CUBICSPLINE with one output a key", [](Rig& r) { r.interpolation = "CUBICSPLINE"; },
       "has 2 elements for 2 keys (CUBICSPLINE needs three a key)"},
      {"channel on a missing node", [](Rig& r) { r.channelNode = 9; }, "names node 9, but the file has 4"},
      {"absurd key time", [](Rig& r) { r.times = {0, 1e9f}; }, "longer than 1200 s"},
  };
  for (const auto& c : kCases) {
    Rig rig;
    c.breakIt(rig);
    AnimatedModelData out;
    std::string error;
    EXPECT_FALSE(LoadAnimatedModel("models/rig.gltf", rig.Json(), out, error)) << c.what;
    EXPECT_NE(error.find("models/rig.gltf"), std::string::npos) << c.what << ": " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
  }
}

// A triangle bound to the given joints and nodes (node 0 holds the mesh and
// the skin), with an animation moving node 1 from time 0 to `lastKey`.
std::string Skeleton(const std::string& nodes, const std::string& joints, float lastKey) {
  const std::string buffer = Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, lastKey, 0, 0, 0, 0, 1, 1, 1});
  return R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":72,"uri":"data:application/octet-stream;base64,)" +
         Base64(buffer) +
         R"("}],"bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":8},)"
         R"({"buffer":0,"byteOffset":48,"byteLength":24}],)"
         R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"},)"
         R"({"bufferView":1,"componentType":5126,"count":2,"type":"SCALAR"},)"
         R"({"bufferView":2,"componentType":5126,"count":2,"type":"VEC3"}],)"
         R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"nodes":[)" + nodes +
         R"(],"skins":[{"joints":[)" + joints +
         R"(]}],"animations":[{"channels":[{"sampler":0,"target":{"node":1,"path":"translation"}}],)"
         R"("samplers":[{"input":1,"output":2}]}]})";
}

TEST(GltfSkin, BoundsAndBrokenNodeTreesFailNamingTheFile) {
  auto manyNodes = [](int joints) {
    std::string nodes = R"({"mesh":0,"skin":0})", list;
    for (int i = 1; i <= joints; ++i) {
      nodes += ",{}";
      list += (i > 1 ? "," : "") + std::to_string(i);
    }
    return std::make_pair(nodes, list);
  };
  const auto [nodes4097, joints4097] = manyNodes(4097);
  const auto [nodes4096, joints4096] = manyNodes(4096);
  const struct {
    const char* what;
    std::string json;
    const char* reason;
  } kCases[] = {
      {"too many joints", Skeleton(nodes4097, joints4097, 1), "skin 0 has 4097 joints, more than 4096"},
      {"too many bone poses", Skeleton(nodes4096, joints4096, 1000), "past 6710886 bone poses"},
      {"a cycle", Skeleton(R"({"mesh":0,"skin":0},{"children":[2]},{"children":[1]})", "1,2", 1),
       "is its own ancestor"},
      {"two parents", Skeleton(R"({"mesh":0,"skin":0,"children":[2]},{"children":[2]},{})", "1,2", 1),
       "node 2 has more than one parent"},
      {"a joint twice", Skeleton(R"({"mesh":0,"skin":0},{})", "1,1", 1), "skin 0 names node 1 twice"},
  };
  for (const auto& c : kCases) {
    AnimatedModelData out;
    std::string error;
    EXPECT_FALSE(LoadAnimatedModel("models/big.gltf", c.json, out, error)) << c.what;
    EXPECT_NE(error.find("Unable to load model models/big.gltf: "), std::string::npos) << c.what << ": " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
  }
  // Within the bounds: 20 minutes of one joint.
  AnimatedModelData out;
  std::string error;
  ASSERT_TRUE(LoadAnimatedModel("models/long.gltf", Skeleton(R"({"mesh":0,"skin":0},{})", "1", 1200), out, error))
      << error;
  EXPECT_EQ(out.FrameCount(), 1 + 36001);
  EXPECT_NEAR(out.frames.back()[0].position.y, 1.0f, kEps);
}

TEST(GltfSkin, StaticFigureIsOneMorphFrame) {
  const std::vector<float> corners = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const std::string json =
      R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,)" +
      Base64(Floats(corners)) +
      R"("}],"bufferViews":[{"buffer":0,"byteLength":36}],)"
      R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],)"
      R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"nodes":[{"mesh":0,"translation":[5,0,0]}]})";
  EXPECT_TRUE(IsAnimatedModelExtension("figures/Statue.GLTF"));
  AnimatedMeshNode node{"statue"};
  node.LoadAnimatedFromBytes("figures/statue.gltf", json);
  const AnimatedModelData& m = node.Model();
  EXPECT_EQ(m.kind, AnimatedModelData::Kind::Morph);
  EXPECT_EQ(node.FrameCount(), 1);
  EXPECT_TRUE(m.bones.empty());
  ASSERT_EQ(m.morphPositions.size(), 1u);
  ASSERT_EQ(m.morphPositions[0].size(), 1u);
  ASSERT_EQ(m.morphNormals[0][0].size(), 3u);
  ExpectVec(m.morphNormals[0][0][0], {0, 0, 1}, "normal made from the face");
  ExpectVec(node.PosedMesh().objects[0].positions[1], {1, 0, 0}, "the file's coordinates");
}

}  // namespace
}  // namespace kavo::scene
