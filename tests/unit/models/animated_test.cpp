// Animated models: SMD skeletons (skinning, bone matrices, animation files
// matched by bone name), MD2 morph frames and their named groups, the frame
// clock and its events, smooth switches, ".aaf" lists, posing on demand and
// broken files of both formats.
#include "scene/animatedmesh.h"
#include "scene/fileaccess.h"
#include "scene/nodes.h"
#include "scene/renderer.h"
#include "scene/view.h"
#include "support/pictures.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <cstring>
#include <map>

namespace kavo::scene {
namespace {

constexpr float kEps = 1e-4f;
const float kC45 = std::sqrt(0.5f);

// Serves files from memory through the scene layer's file access: the
// models' texture.
class MemoryFiles {
 public:
  MemoryFiles() {
    files_["models/skin.png"] = test::EncodePng(2, 2, std::vector<uint8_t>(16, 255));
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

 private:
  std::map<std::string, std::string> files_;
};

void ExpectVec(const glm::vec3& got, const glm::vec3& want, const std::string& what) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], kEps) << what << " axis " << k;
}
glm::vec3 Origin(const glm::mat4& m) { return glm::vec3(m[3]); }

// ---------------------------------------------------------------- SMD

// root at the origin, arm at (1,0,0) under it, hand one further along the
// arm. Frame 1 turns the arm by 90 degrees about z (the root and the hand
// keep their poses). One triangle hangs on the arm; the other on the root,
// with its first corner shared half and half with the arm.
const char* kArmSmd =
    "version 1\n"
    "nodes\n"
    "0 \"root\" -1\n"
    "1 \"arm\" 0\n"
    "2 \"hand\" 1\n"
    "end\n"
    "skeleton\n"
    "time 0\n"
    "0 0 0 0 0 0 0\n"
    "1 1 0 0 0 0 0\n"
    "2 1 0 0 0 0 0\n"
    "time 1\n"
    "1 1 0 0 0 0 1.5707963267948966\n"
    "end\n"
    "triangles\n"
    "skin.png\n"
    "1 2 0 0 1 0 0 0 0\n"
    "1 2 1 0 1 0 0 0 1\n"
    "1 3 0 0 1 0 0 1 0\n"
    "skin.png\n"
    "0 2 0 0 0 0 1 0 0 1 1 0.5\n"
    "0 0 1 0 0 0 1 0 0\n"
    "0 -1 0 0 0 0 1 0 0\n"
    "end\n";

// An animation for it: bones in another order, one the model lacks, the
// root left out; the hand is named from the second frame on only.
const char* kWaveSmd =
    "version 1\n"
    "nodes\n"
    "0 \"hand\" -1\n"
    "1 \"arm\" -1\n"
    "2 \"tail\" -1\n"
    "end\n"
    "skeleton\n"
    "time 0\n"
    "1 1 0 0 0 0 3.141592653589793\n"
    "2 5 5 5 0 0 0\n"
    "time 1\n"
    "0 2 0 0 0 0 0\n"
    "end\n";

class AnimatedSmd : public ::testing::Test {
 protected:
  void SetUp() override {
    node.LoadAnimatedFromBytes("models/arm.smd", kArmSmd);
    node.SetMode(AnimationMode::None);
  }
  glm::vec3 Vertex(size_t i) { return node.PosedMesh().objects[0].positions[i]; }
  glm::vec3 Hand() { return Origin(node.BoneMatrix(node.BoneIndex("hand"))); }

  MemoryFiles files;
  AnimatedMeshNode node{"actor"};
};

TEST_F(AnimatedSmd, SkinsTheVerticesAndBonesAtFramesAndBetween) {
  const AnimatedModelData& m = node.Model();
  EXPECT_EQ(m.kind, AnimatedModelData::Kind::Skeletal);
  ASSERT_EQ(node.FrameCount(), 2);
  ASSERT_EQ(m.bones.size(), 3u);
  ASSERT_EQ(node.Animations().size(), 1u);
  EXPECT_EQ(node.Animations()[0].name, "arm");
  EXPECT_EQ(node.Animations()[0].end, 1);
  ASSERT_EQ(node.Data().materials.size(), 1u);
  EXPECT_EQ(node.Data().materials[0].textureFile, "skin.png");
  ASSERT_EQ(node.Data().objects[0].faceGroups.size(), 1u);
  EXPECT_TRUE(node.Materials().Find(node.Data().objects[0].faceGroups[0].materialName)->texture.enabled);

  // Reference pose: the file's own vertices.
  ExpectVec(Vertex(0), {2, 0, 0}, "frame 0 arm corner");
  ExpectVec(Vertex(3), {2, 0, 0}, "frame 0 shared corner");
  ExpectVec(Hand(), {2, 0, 0}, "frame 0 hand");

  // Half way: the arm turned by 45 degrees about its joint at (1,0,0).
  node.SetInterval(100);
  node.SetMode(AnimationMode::Loop);
  node.Advance(0.05);
  EXPECT_EQ(node.CurrentFrame(), 0);
  EXPECT_FLOAT_EQ(node.FrameFraction(), 0.5f);
  ExpectVec(Vertex(0), {1 + kC45, kC45, 0}, "frame 0.5 arm corner");
  ExpectVec(Hand(), {1 + kC45, kC45, 0}, "frame 0.5 hand");

  node.SetCurrentFrame(1);
  ExpectVec(Vertex(0), {1, 1, 0}, "frame 1 arm corner");
  ExpectVec(Vertex(1), {0, 1, 0}, "frame 1 arm corner 2");
  ExpectVec(Vertex(2), {1, 2, 0}, "frame 1 arm corner 3");
  ExpectVec(node.PosedMesh().objects[0].normals[0], {0, 1, 0}, "frame 1 normal turns with the arm");
  ExpectVec(Vertex(3), {1.5f, 0.5f, 0}, "half on the arm, the rest on the root");
  ExpectVec(Vertex(4), {0, 1, 0}, "root corner stays");
  ExpectVec(Hand(), {1, 1, 0}, "frame 1 hand");
  const glm::mat4 arm = node.BoneMatrix(node.BoneIndex("ARM"));  // names match without case too
  ExpectVec(glm::vec3(arm[0]), {0, 1, 0}, "arm x axis");
  ExpectVec(Origin(arm), {1, 0, 0}, "arm joint");

  // Out of range frames change nothing; the node's data stays the reference.
  node.SetCurrentFrame(2);
  node.SetCurrentFrame(-1);
  EXPECT_EQ(node.CurrentFrame(), 1);
  EXPECT_EQ(node.Data().objects[0].positions[0], glm::vec3(2, 0, 0));
}

TEST_F(AnimatedSmd, AnimationFileMatchesBonesByName) {
  node.AddAnimationFromBytes("anims/Wave.take1.smd", kWaveSmd);
  ASSERT_EQ(node.FrameCount(), 4);
  ASSERT_EQ(node.Animations().size(), 2u);
  const AnimationRange& wave = node.Animations()[1];
  EXPECT_EQ(wave.name, "Wave");
  EXPECT_EQ(wave.start, 2);
  EXPECT_EQ(wave.end, 3);
  EXPECT_TRUE(wave.loop);

  ASSERT_TRUE(node.SwitchTo("Wave", false));
  EXPECT_EQ(node.PlayingAnimation(), 1);
  EXPECT_EQ(node.CurrentFrame(), 2);
  // The arm turned half round; the hand keeps the model's pose until named.
  ExpectVec(Hand(), {0, 0, 0}, "frame 2 hand");
  ExpectVec(Vertex(0), {0, 0, 0}, "frame 2 arm corner");
  node.SetCurrentFrame(3);
  ExpectVec(Hand(), {-1, 0, 0}, "frame 3 hand");
  ExpectVec(Origin(node.BoneMatrix(0)), {0, 0, 0}, "root keeps its reference pose");
  EXPECT_FALSE(node.SwitchTo("tail", false));

  // Loaded as a model it is refused, by name.
  AnimatedMeshNode other;
  try {
    other.LoadAnimatedFromBytes("anims/Wave.take1.smd", kWaveSmd);
    FAIL() << "an animation file loaded as a model";
  } catch (const EKavoError& e) {
    EXPECT_NE(e.Message().find("anims/Wave.take1.smd"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(other.HasModel());
}

TEST_F(AnimatedSmd, SmoothSwitchStartsFromThePoseShown) {
  node.AddAnimationFromBytes("anims/wave.smd", kWaveSmd);
  node.SetCurrentFrame(1);  // arm up, hand at (1,1,0)
  node.Advance(0.01);       // mode None: no frame moves
  EXPECT_EQ(node.CurrentFrame(), 1);
  EXPECT_FALSE(node.SwitchTo("nothing", true));
  EXPECT_EQ(node.CurrentFrame(), 1);
  EXPECT_EQ(node.PlayingAnimation(), -1);

  ASSERT_TRUE(node.SwitchTo("wave", true));
  EXPECT_EQ(node.CurrentFrame(), 2);
  ExpectVec(Hand(), {1, 1, 0}, "blend start");
  ExpectVec(Vertex(0), {1, 1, 0}, "blend start vertex");
  node.Advance(0.1);
  ExpectVec(Hand(), {1 - kC45, kC45, 0}, "half way: the arm at 135 degrees");
  node.Advance(0.1);
  ExpectVec(Hand(), {0, 0, 0}, "blend over");
  ExpectVec(Vertex(0), {0, 0, 0}, "blend over vertex");

  // An immediate switch shows the new pose at once.
  ASSERT_TRUE(node.SwitchTo("arm", false));
  ExpectVec(Hand(), {2, 0, 0}, "immediate switch");
}

TEST_F(AnimatedSmd, FollowerTakesTheMastersFrame) {
  AnimatedMeshNode follower;
  follower.LoadAnimatedFromBytes("models/arm.smd", kArmSmd);
  follower.FollowFramesOf(&node);
  node.SetInterval(50);
  ASSERT_TRUE(node.SwitchTo("arm", false));
  node.SetMode(AnimationMode::Loop);
  node.Advance(0.075);  // 1.5 frames: frame 1, half way back to 0
  follower.Advance(0.075);
  EXPECT_EQ(follower.PlayingAnimation(), 0);
  EXPECT_EQ(follower.CurrentFrame(), 1);
  EXPECT_FLOAT_EQ(follower.FrameFraction(), 0.5f);
  EXPECT_EQ(follower.Interval(), 50);
  EXPECT_TRUE(follower.TakeEvents().empty());
  ExpectVec(Origin(follower.BoneMatrix(2)), Hand(), "same hand");
}

TEST_F(AnimatedSmd, PosesOnlyWhenDrawnOrPicked) {
  Node root("root");
  auto* cam = root.CreateChild<CameraNode>("cam");
  AnimatedMeshNode* actor = root.CreateChild<AnimatedMeshNode>("actor");
  actor->LoadAnimatedFromBytes("models/arm.smd", kArmSmd);
  actor->SetPosition(10, 0, 0);
  View view;
  view.SetRoot(&root);
  view.SetCamera(cam);
  view.SetSize(64, 64);
  NullRenderer renderer;
  actor->Advance(0.3);
  renderer.Render(view);
  const auto& drawn = renderer.Drawn();
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), "actor"), drawn.end());
  EXPECT_EQ(actor->PosingCount(), 0u);

  // At frame 1 the arm triangle covers (0.8, 1.2) of the model; at frame 0
  // nothing does.
  const Ray ray{{10.8f, 1.2f, 5.0f}, {0, 0, -1}};
  actor->SetCurrentFrame(0);
  EXPECT_FALSE(actor->RayIntersectPosed(ray));
  actor->SetCurrentFrame(1);
  auto hit = actor->RayIntersectPosed(ray);
  ASSERT_TRUE(hit);
  EXPECT_NEAR(hit->distance, 5.0f, kEps);
  ExpectVec(hit->point, {10.8f, 1.2f, 0}, "hit point");
  ExpectVec(hit->normal, {0, 0, 1}, "hit normal");
  EXPECT_EQ(actor->PosingCount(), 2u);
  actor->RayIntersectPosed(ray);
  EXPECT_EQ(actor->PosingCount(), 2u) << "an unchanged pose is kept";
  EXPECT_FALSE(actor->RayIntersect(ray)) << "the node's own data stays in the reference pose";
}

// ---------------------------------------------------------------- MD2

struct Md2Frame {
  std::string name;
  glm::vec3 scale{1.0f}, translate{0.0f};
  std::vector<std::array<uint8_t, 3>> vertices;
};

// Header fields, in the order of the file.
enum Md2Field { kMagic, kVersion, kSkinW, kSkinH, kFrameSize, kNumSkins, kNumXyz, kNumSt, kNumTris,
                kNumGlcmds, kNumFrames, kOfsSkins, kOfsSt, kOfsTris, kOfsFrames, kOfsGlcmds, kOfsEnd };

void PutI32(std::string& s, size_t at, int32_t v) { std::memcpy(&s[at], &v, 4); }
void PutF32(std::string& s, size_t at, float v) { std::memcpy(&s[at], &v, 4); }
int32_t GetI32(const std::string& s, Md2Field f) {
  int32_t v;
  std::memcpy(&v, &s[size_t(f) * 4], 4);
  return v;
}
void Put16(std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }

std::string MakeMd2(int numXyz, const std::vector<std::array<int16_t, 2>>& st,
                    const std::vector<std::array<uint16_t, 6>>& tris, const std::vector<Md2Frame>& frames,
                    const std::string& skin) {
  const int frameSize = 40 + 4 * numXyz;
  std::string s(68, '\0');
  std::memcpy(&s[0], "IDP2", 4);
  const int ofsSkins = 68, ofsSt = ofsSkins + 64, ofsTris = ofsSt + 4 * int(st.size());
  const int ofsFrames = ofsTris + 12 * int(tris.size());
  const int ofsEnd = ofsFrames + frameSize * int(frames.size());
  const int32_t header[17] = {0, 8, 64, 32, frameSize, 1, numXyz, int(st.size()), int(tris.size()), 0,
                              int(frames.size()), ofsSkins, ofsSt, ofsTris, ofsFrames, ofsEnd, ofsEnd};
  for (int i = 1; i < 17; ++i) PutI32(s, size_t(i) * 4, header[i]);
  std::string name = skin;
  name.resize(64, '\0');
  s += name;
  for (const auto& t : st) Put16(s, uint16_t(t[0])), Put16(s, uint16_t(t[1]));
  for (const auto& t : tris)
    for (uint16_t v : t) Put16(s, v);
  for (const Md2Frame& f : frames) {
    std::string block(size_t(frameSize), '\0');
    for (int k = 0; k < 3; ++k) PutF32(block, size_t(k) * 4, f.scale[k]), PutF32(block, 12 + size_t(k) * 4, f.translate[k]);
    std::memcpy(&block[24], f.name.data(), std::min<size_t>(f.name.size(), 16));
    for (size_t v = 0; v < f.vertices.size(); ++v)
      for (int k = 0; k < 3; ++k) block[40 + v * 4 + size_t(k)] = char(f.vertices[v][size_t(k)]);
    s += block;
  }
  return s;
}

// Four vertices, two triangles sharing an edge whose corners use other
// texture coordinates in the second triangle (a seam): 6 mesh vertices. Six
// frames in three groups; frame f moves every vertex by 2f along x.
const char* kFrameNames[] = {"stand01", "stand02", "run1", "run2", "run3", "pain01"};
glm::vec3 Md2Vertex(int frame, int v) {
  const glm::vec3 base[4] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {10, 10, 0}};
  return (base[v] + glm::vec3(2.0f * frame, 0, 0)) * glm::vec3(0.5f, 1, 1) + glm::vec3(1, 2, 3);
}
std::string TestMd2() {
  std::vector<Md2Frame> frames;
  for (int f = 0; f < 6; ++f) {
    Md2Frame fr;
    fr.name = kFrameNames[f];
    fr.scale = {0.5f, 1, 1};
    fr.translate = {1, 2, 3};
    const uint8_t x = uint8_t(2 * f);
    fr.vertices = {{x, 0, 0}, {uint8_t(x + 10), 0, 0}, {x, 10, 0}, {uint8_t(x + 10), 10, 0}};
    frames.push_back(fr);
  }
  return MakeMd2(4, {{0, 0}, {64, 0}, {0, 32}, {64, 32}, {32, 16}},
                 {{0, 1, 2, 0, 1, 2}, {1, 3, 2, 4, 3, 2}}, frames, "players/hero/skin.png");
}

TEST(AnimatedMd2, FrameGroupsBecomeAnimationsAndPositionsInterpolate) {
  MemoryFiles files;
  AnimatedMeshNode node;
  node.LoadAnimatedFromBytes("models/hero.md2", TestMd2());
  const AnimatedModelData& m = node.Model();
  EXPECT_EQ(m.kind, AnimatedModelData::Kind::Morph);
  ASSERT_EQ(node.FrameCount(), 6);
  ASSERT_EQ(node.Animations().size(), 3u);
  const char* names[] = {"stand", "run", "pain"};
  const int starts[] = {0, 2, 5}, ends[] = {1, 4, 5};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(node.Animations()[i].name, names[i]);
    EXPECT_EQ(node.Animations()[i].start, starts[i]);
    EXPECT_EQ(node.Animations()[i].end, ends[i]);
    EXPECT_TRUE(node.Animations()[i].loop);
  }
  ASSERT_EQ(node.Data().materials.size(), 1u);
  EXPECT_EQ(node.Data().materials[0].textureFile, "skin.png");
  const MeshObject& obj = node.Data().objects[0];
  ASSERT_EQ(obj.positions.size(), 5u) << "(vertex, st) pairs: 0/0 1/1 2/2 1/4 3/3";
  EXPECT_EQ(obj.faceGroups[0].indices, std::vector<uint32_t>({0, 1, 2, 3, 4, 2}));
  EXPECT_EQ(obj.texCoords[1], glm::vec2(1.0f, 1.0f));
  EXPECT_EQ(obj.texCoords[2], glm::vec2(0.0f, 0.0f)) << "t runs down the picture, v up";
  ExpectVec(obj.positions[4], Md2Vertex(0, 3), "frame 0 data");
  ExpectVec(obj.normals[0], {0, 0, 1}, "normal from the triangles");

  ASSERT_TRUE(node.SwitchTo("run", false));
  node.Advance(0.1);  // half a frame
  const glm::vec3 want = (Md2Vertex(2, 1) + Md2Vertex(3, 1)) * 0.5f;
  ExpectVec(node.PosedMesh().objects[0].positions[1], want, "between frames 2 and 3");
  ExpectVec(node.PosedMesh().objects[0].positions[3], want, "the seam's twin vertex");
  node.SetCurrentFrame(4);
  node.Advance(0.1);  // from the last frame of a loop towards its first
  ExpectVec(node.PosedMesh().objects[0].positions[0], (Md2Vertex(4, 0) + Md2Vertex(2, 0)) * 0.5f, "wrapping");

  // A smooth switch blends the vertices from the pose shown.
  node.SetMode(AnimationMode::None);
  const glm::vec3 shown = node.PosedMesh().objects[0].positions[0];
  ASSERT_TRUE(node.SwitchTo("pain", true));
  ExpectVec(node.PosedMesh().objects[0].positions[0], shown, "blend start");
  node.Advance(0.1);
  ExpectVec(node.PosedMesh().objects[0].positions[0], (shown + Md2Vertex(5, 0)) * 0.5f, "blend half way");
  node.Advance(0.1);
  ExpectVec(node.PosedMesh().objects[0].positions[0], Md2Vertex(5, 0), "blend over");

  // A second MD2 of the same vertices adds its frames and groups.
  node.AddAnimationFromBytes("models/hero2.md2", TestMd2());
  EXPECT_EQ(node.FrameCount(), 12);
  ASSERT_EQ(node.Animations().size(), 6u);
  EXPECT_EQ(node.Animations()[4].start, 8);
}

// ---------------------------------------------------------------- the clock

std::string EventText(const std::vector<AnimationEvent>& events) {
  std::string s;
  for (const AnimationEvent& e : events)
    s += (s.empty() ? "" : " ") + std::string(e.kind == AnimationEvent::Kind::End ? "E" : "F") +
         std::to_string(e.frame);
  return s;
}

TEST(AnimatedClock, EventsOfEveryFramePassed) {
  MemoryFiles files;
  struct Case {
    const char* what;
    const char* animation;
    AnimationMode mode;
    int steps;
    double seconds;
    const char* events;
    int frameAfter;
  };
  const Case cases[] = {
      {"small steps", "walk", AnimationMode::Loop, 60, 0.01, "F2 F3 E3 F1", 1},
      {"one long step", "walk", AnimationMode::Loop, 1, 1.0, "F2 F3 E3 F1 F2 F3 E3", 3},
      {"a step short of a frame", "walk", AnimationMode::Loop, 1, 0.19, "", 1},
      {"once stays on its last frame", "die", AnimationMode::Loop, 3, 1.0, "F5 E5", 5},
      {"once in small steps", "die", AnimationMode::Loop, 50, 0.01, "F5 E5", 5},
      {"mode none", "walk", AnimationMode::None, 5, 1.0, "", 1},
  };
  for (const Case& c : cases) {
    AnimatedMeshNode node;
    node.LoadAnimatedFromBytes("models/hero.md2", TestMd2());
    node.LoadAnimationList("hero.aaf", "walk 1 3\ndie 4 5 once\n");
    node.SetMode(c.mode);
    ASSERT_TRUE(node.SwitchTo(c.animation, false));
    for (int i = 0; i < c.steps; ++i) node.Advance(c.seconds);
    const std::vector<AnimationEvent> events = node.TakeEvents();
    EXPECT_EQ(EventText(events), c.events) << c.what;
    EXPECT_EQ(node.CurrentFrame(), c.frameAfter) << c.what;
    for (const AnimationEvent& e : events) EXPECT_EQ(e.animation, c.animation) << c.what;
    EXPECT_TRUE(node.TakeEvents().empty()) << c.what;
  }
}

TEST(AnimatedClock, HugeStepSkipsWholePassesButEndsRight) {
  MemoryFiles files;
  AnimatedMeshNode node;
  node.LoadAnimatedFromBytes("models/hero.md2", TestMd2());
  node.LoadAnimationList("hero.aaf", "walk 1 3\n");
  ASSERT_TRUE(node.SwitchTo("walk", false));
  node.SetInterval(0);  // counts as 1 ms
  EXPECT_EQ(node.Interval(), 1);
  node.Advance(1e4);  // 10 million frames
  const auto events = node.TakeEvents();
  size_t frames = 0;
  for (const auto& e : events) frames += e.kind == AnimationEvent::Kind::FrameChange;
  EXPECT_GT(frames, 9000u);
  EXPECT_LE(frames, 10000u);
  // 10,000,000 = 3 * 3,333,333 + 1: one frame on from frame 1.
  EXPECT_EQ(node.CurrentFrame(), 2);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().frame, 2);
  node.Advance(INFINITY);
  node.Advance(-1);
  EXPECT_EQ(node.CurrentFrame(), 2);
  EXPECT_TRUE(node.TakeEvents().empty());
}

TEST(AnimatedClock, StepsOverLongAnimationsReportTheirLastFrames) {
  // One bone, 25,000 frames: longer than the events one step may queue.
  std::string smd = "version 1\nnodes\n0 \"b\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\n";
  for (int f = 1; f < 25000; ++f) smd += "time " + std::to_string(f) + "\n";
  smd += "end\ntriangles\nskin.png\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 0 0\n0 0 1 0 0 0 1 0 0\nend\n";
  struct Case {
    const char* what;
    const char* list;
    double frames;
    int lastEvent, frameAfter;
  };
  const Case cases[] = {
      {"once", "all 0 24999 once", 1e9, 24999, 24999},
      {"loop, part of a pass", "all 0 24999", 15000, 15000, 15000},
      {"loop, passes and a part", "all 0 24999", 3 * 25000 + 20000, 20000, 20000},
  };
  MemoryFiles files;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AnimatedMeshNode node;
    node.LoadAnimatedFromBytes("models/long.smd", smd);
    node.LoadAnimationList("long.aaf", c.list);
    ASSERT_TRUE(node.SwitchTo("all", false));
    node.SetInterval(1);
    node.Advance(c.frames / 1000.0);
    const auto events = node.TakeEvents();
    size_t frames = 0;
    for (const auto& e : events) frames += e.kind == AnimationEvent::Kind::FrameChange;
    EXPECT_EQ(frames, 10000u);
    int last = -1;
    for (const auto& e : events)
      if (e.kind == AnimationEvent::Kind::FrameChange) last = e.frame;
    EXPECT_EQ(last, c.lastEvent);
    EXPECT_EQ(node.CurrentFrame(), c.frameAfter);
  }
}

// ---------------------------------------------------------------- lists

TEST(AnimationList, ParsesWritesAndReadsBack) {
  std::vector<AnimationRange> list;
  std::string error;
  ASSERT_TRUE(ParseAnimationList("a.aaf", "# actor\n\nwalk 0 3  # steps\n  die 4 9 once\r\nidle 10 10 loop\n", list,
                                 error))
      << error;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "walk");
  EXPECT_TRUE(list[0].loop);
  EXPECT_EQ(list[1].start, 4);
  EXPECT_EQ(list[1].end, 9);
  EXPECT_FALSE(list[1].loop);
  std::vector<AnimationRange> again;
  ASSERT_TRUE(ParseAnimationList("b.aaf", WriteAnimationList(list), again, error)) << error;
  ASSERT_EQ(again.size(), list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(again[i].name, list[i].name);
    EXPECT_EQ(again[i].start, list[i].start);
    EXPECT_EQ(again[i].end, list[i].end);
    EXPECT_EQ(again[i].loop, list[i].loop);
  }
}

TEST(AnimationList, BadLinesNameFileAndLineAndChangeNothing) {
  const char* bad[] = {"walk 3 1", "walk -1 2", "walk 1", "walk x 2", "walk 1 2 sometimes", "walk 1 2 loop more",
                       "walk 0 99999999999"};
  for (const char* line : bad) {
    std::vector<AnimationRange> list{{"keep", 0, 0, true}};
    std::string error;
    EXPECT_FALSE(ParseAnimationList("dir/hero.aaf", std::string("ok 0 1\n") + line + "\n", list, error)) << line;
    EXPECT_EQ(error.rfind("dir/hero.aaf: line 2: ", 0), 0u) << line << ": " << error;
    ASSERT_EQ(list.size(), 1u) << line;
    EXPECT_EQ(list[0].name, "keep");
  }
  // The node also refuses frames its model does not have, keeping its list.
  MemoryFiles files;
  AnimatedMeshNode node;
  node.LoadAnimatedFromBytes("models/hero.md2", TestMd2());
  EXPECT_THROW(node.LoadAnimationList("hero.aaf", "walk 0 6\n"), EKavoError);
  EXPECT_EQ(node.Animations().size(), 3u);
}

// ---------------------------------------------------------------- broken files

std::string ExpectLoadFails(const std::string& name, const std::string& bytes) {
  AnimatedModelData data;
  data.animations.push_back({"untouched", 0, 0, true});
  std::string error;
  EXPECT_FALSE(LoadAnimatedModel(name, bytes, data, error));
  EXPECT_NE(error.find(name), std::string::npos) << error;
  EXPECT_EQ(data.animations.size(), 1u);
  return error;
}

TEST(AnimatedBrokenFiles, SmdLinesNamedWithTheirReason) {
  const std::string nodes = "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 0\nend\n";  // lines 1-5
  const std::string skeleton = "skeleton\ntime 0\n0 0 0 0 0 0 0\nend\n";             // lines 6-9
  const std::string tri = "triangles\nskin.png\n";                                   // lines 10-11
  const std::string v = "0 0 0 0 0 0 1 0 0\n";
  struct Case {
    const char* what;
    std::string text;
    const char* want;
  };
  const Case cases[] = {
      {"cut bone pose", nodes + "skeleton\ntime 0\n0 0 0 0 0 0\nend\n", "line 8:"},
      {"NaN", nodes + "skeleton\ntime 0\n0 nan 0 0 0 0 0\nend\n", "line 8:"},
      {"infinity", nodes + skeleton + tri + v + "0 inf 0 0 0 0 1 0 0\n" + v + "end\n", "line 13:"},
      {"unknown bone pose", nodes + "skeleton\ntime 0\n2 0 0 0 0 0 0\nend\n", "line 8: unknown bone 2"},
      {"pose before time", nodes + "skeleton\n0 0 0 0 0 0 0\nend\n", "line 7:"},
      {"unknown vertex bone", nodes + skeleton + tri + "5 0 0 0 0 0 1 0 0\n" + v + v + "end\n", "line 12:"},
      {"unknown link bone", nodes + skeleton + tri + "0 0 0 0 0 0 1 0 0 1 7 0.5\n" + v + v + "end\n", "line 12:"},
      {"cut links", nodes + skeleton + tri + "0 0 0 0 0 0 1 0 0 2 1 0.5\n" + v + v + "end\n", "line 12:"},
      {"too many links", nodes + skeleton + tri + "0 0 0 0 0 0 1 0 0 99999999 1 0.5\n" + v + v + "end\n",
       "line 12:"},
      {"negative weight", nodes + skeleton + tri + "0 0 0 0 0 0 1 0 0 1 1 -0.5\n" + v + v + "end\n", "line 12:"},
      {"cut triangle", nodes + skeleton + tri + v + v + "end\n", "line 14:"},
      {"parent not earlier", "version 1\nnodes\n0 \"a\" 0\nend\n", "line 3:"},
      {"bones out of order", "version 1\nnodes\n1 \"a\" -1\nend\n", "line 3:"},
      {"no closing quote", "version 1\nnodes\n0 \"a -1\nend\n", "line 3:"},
      {"no version", "nodes\nend\n", "line 1:"},
      {"version 2", "version 2\n", "line 1:"},
      {"ends in a section", nodes + "skeleton\ntime 0\n", "line 7:"},
      {"empty", "", "empty"},
      {"no triangles", nodes + skeleton, "no triangles"},
      {"no vertices", nodes + skeleton + "triangles\nend\n", "no triangles"},
      {"no skeleton", nodes + tri + v + v + v + "end\n", "no skeleton frame"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string error = ExpectLoadFails("models/bad.smd", c.text);
    EXPECT_NE(error.find(c.want), std::string::npos) << error;
  }
}

TEST(AnimatedBrokenFiles, Md2CountsAndOffsetsChecked) {
  const std::string good = TestMd2();
  const size_t size = good.size();
  const size_t ofsTris = size_t(GetI32(good, kOfsTris)), ofsFrames = size_t(GetI32(good, kOfsFrames));
  struct Case {
    const char* what;
    std::function<void(std::string&)> spoil;
  };
  auto field = [](Md2Field f, int32_t v) { return [f, v](std::string& s) { PutI32(s, size_t(f) * 4, v); }; };
  const Case cases[] = {
      {"cut header", [](std::string& s) { s.resize(40); }},
      {"cut frames", [](std::string& s) { s.resize(s.size() - 1); }},
      {"magic", [](std::string& s) { s[3] = '3'; }},
      {"version", field(kVersion, 7)},
      {"zero vertices", field(kNumXyz, 0)},
      {"too many vertices", field(kNumXyz, 100000)},
      {"frames past the end", field(kNumFrames, 1000)},
      {"frame offset past the end", field(kOfsFrames, int32_t(size))},
      {"negative triangle offset", field(kOfsTris, -12)},
      {"triangles past the end", field(kNumTris, 0x7fffffff)},
      {"st past the end", field(kNumSt, 0x10000)},
      {"frame size too small", field(kFrameSize, 20)},
      {"zero skin width", field(kSkinW, 0)},
      {"skins past the end", field(kNumSkins, 30)},
      {"vertex index", [ofsTris](std::string& s) { s[ofsTris] = 4; }},
      {"st index", [ofsTris](std::string& s) { s[ofsTris + 6] = 9; }},
      {"NaN scale", [ofsFrames](std::string& s) { PutF32(s, ofsFrames + 4, NAN); }},
      {"infinite translate", [ofsFrames](std::string& s) { PutF32(s, ofsFrames + 12, INFINITY); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.spoil(bytes);
    ExpectLoadFails("models/bad.md2", bytes);
  }
  // Appending frames of other vertices is refused with the model unchanged.
  AnimatedModelData data;
  std::string error;
  ASSERT_TRUE(LoadAnimatedModel("hero.md2", good, data, error)) << error;
  const std::string other = MakeMd2(3, {{0, 0}}, {{0, 1, 2, 0, 0, 0}}, {{"x", {1, 1, 1}, {}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}},
                                    "");
  EXPECT_FALSE(AppendAnimationFile("other.md2", other, data, error));
  EXPECT_NE(error.find("other.md2"), std::string::npos) << error;
  EXPECT_EQ(data.FrameCount(), 6);
  EXPECT_FALSE(AppendAnimationFile("walk.smd", kWaveSmd, data, error));
}

}  // namespace
}  // namespace kavo::scene
