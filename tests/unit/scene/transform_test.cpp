// The transform conventions everything else builds on: angle signs, the
// raw matrix layout and its round trip, and the node operations that move
// nodes around each other.
#include "scene/nodes.h"
#include "scene/view.h"

#include <gtest/gtest.h>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <functional>

using namespace kavo::scene;

namespace {

void ExpectVec(const glm::vec3& got, const glm::vec3& want, const char* what) {
  EXPECT_NEAR(got.x, want.x, 1e-5f) << what;
  EXPECT_NEAR(got.y, want.y, 1e-5f) << what;
  EXPECT_NEAR(got.z, want.z, 1e-5f) << what;
}

struct OrientationCase {
  const char* name;
  std::function<void(Node&)> apply;
  glm::vec3 direction, up, xAxis;
};

}  // namespace

TEST(SceneTransform, AngleConventionsTable) {
  const OrientationCase cases[] = {
      {"fresh node", [](Node&) {}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
      {"turn 90: +z to -x", [](Node& n) { n.SetTurnAngle(90); }, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {"turn -90: +z to +x", [](Node& n) { n.SetTurnAngle(-90); }, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
      {"pitch 90: +z to +y", [](Node& n) { n.SetPitchAngle(90); }, {0, 1, 0}, {0, 0, -1}, {1, 0, 0}},
      {"roll 90: up +y to +x", [](Node& n) { n.SetRollAngle(90); }, {0, 0, 1}, {1, 0, 0}, {0, -1, 0}},
      {"turn 90 then pitch 90 about the turned X axis",
       [](Node& n) {
         n.SetTurnAngle(90);
         n.SetPitchAngle(90);
       },
       {0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
      {"angle set twice rotates by the change only",
       [](Node& n) {
         n.SetTurnAngle(30);
         n.SetTurnAngle(90);
       },
       {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {"Turn() about own up, angle values untouched", [](Node& n) { n.Turn(90); }, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {"reset after angles",
       [](Node& n) {
         n.SetTurnAngle(33);
         n.SetPitchAngle(12);
         n.SetRollAngle(-70);
         n.ResetRotation();
       },
       {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
  };
  for (const auto& c : cases) {
    Node n("n");
    c.apply(n);
    ExpectVec(n.Direction(), c.direction, c.name);
    ExpectVec(n.Up(), c.up, c.name);
    ExpectVec(n.XAxis(), c.xAxis, c.name);
  }
}

TEST(SceneTransform, AngleValuesAndResetKeepPositionAndScale) {
  Node n("n");
  n.SetPosition(1, 2, 3);
  n.SetScale(2, 3, 4);
  n.SetTurnAngle(90);
  n.SetPitchAngle(10);
  EXPECT_FLOAT_EQ(n.TurnAngle(), 90.0f);
  EXPECT_FLOAT_EQ(n.PitchAngle(), 10.0f);
  n.Turn(45);  // does not count as an angle value
  EXPECT_FLOAT_EQ(n.TurnAngle(), 90.0f);
  n.ResetRotation();
  EXPECT_EQ(n.TurnAngle(), 0.0f);
  EXPECT_EQ(n.PitchAngle(), 0.0f);
  ExpectVec(n.Position(), {1, 2, 3}, "position kept");
  ExpectVec(n.Scale(), {2, 3, 4}, "scale kept");
}

TEST(SceneTransform, RawMatrixLayoutAndRoundTrip) {
  Node n("n");
  n.SetTurnAngle(90);  // X axis +z, up +y, direction -x
  n.SetScale(2, 3, 4);
  n.SetPosition(5, 6, 7);
  const auto m = n.RawMatrix();
  const float want[16] = {0, 0, 2, 0,    // row 1: X axis * ScaleX
                          0, 3, 0, 0,    // row 2: up * ScaleY
                          -4, 0, 0, 0,   // row 3: direction * ScaleZ
                          5, 6, 7, 1};   // row 4: position, 1
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], want[i], 1e-5f) << "element " << i;

  // A model vertex (x,y,z) lands at position + x*X*sx + y*Y*sy + z*Z*sz.
  glm::vec3 p = glm::vec3(n.LocalMatrix() * glm::vec4(1, 1, 1, 1));
  ExpectVec(p, glm::vec3(5 - 4, 6 + 3, 7 + 2), "vertex");

  Node copy("copy");
  copy.SetRawMatrix(m.data());
  ExpectVec(copy.Direction(), {-1, 0, 0}, "direction from row 3");
  ExpectVec(copy.Up(), {0, 1, 0}, "up from row 2");
  ExpectVec(copy.Scale(), {2, 3, 4}, "scale from row lengths");
  ExpectVec(copy.Position(), {5, 6, 7}, "position from row 4");
  EXPECT_EQ(copy.TurnAngle(), 0.0f) << "angle values untouched";
  const auto back = copy.RawMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(back[i], m[i], 1e-5f) << "round trip " << i;
}

TEST(SceneTransform, ZeroScaleRowsKeepAxesAndNeverMakeNaN) {
  Node n("n");
  n.SetPitchAngle(90);  // direction +y, up -z
  const float raw[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 1};
  n.SetRawMatrix(raw);
  ExpectVec(n.Scale(), {0, 0, 0}, "zero scale");
  ExpectVec(n.Direction(), {0, 1, 0}, "direction kept");
  ExpectVec(n.Up(), {0, 0, -1}, "up kept");
  for (float v : n.RawMatrix()) EXPECT_TRUE(std::isfinite(v));
  glm::mat4 a = n.AbsoluteMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(glm::value_ptr(a)[i]));
}

TEST(SceneTransform, AbsoluteMatricesPointToAndOrbit) {
  Node root("root");
  Node* parent = root.CreateChild<Node>("parent");
  parent->SetPosition(10, 0, 0);
  parent->SetTurnAngle(90);  // parent's +z is world -x
  parent->SetScale(2, 2, 2);
  Node* child = parent->CreateChild<Node>("child");
  child->SetPosition(0, 0, 1);
  ExpectVec(child->AbsolutePosition(), {8, 0, 0}, "absolute position");
  ExpectVec(child->AbsoluteDirection(), {-1, 0, 0}, "absolute direction");
  EXPECT_NEAR(child->DistanceTo(*parent), 2.0f, 1e-5f);

  // Point-to works in world terms whatever the parent's rotation.
  child->PointTo({8, 0, 10}, {0, 1, 0});
  ExpectVec(child->AbsoluteDirection(), {0, 0, 1}, "points at the target");
  ExpectVec(child->AbsoluteUp(), {0, 1, 0}, "world up kept");

  // Orbiting keeps the distance and faces the target.
  Node* target = root.CreateChild<Node>("target");
  target->SetPosition(0, 10, 0);
  Node* cam = root.CreateChild<Node>("cam");
  cam->SetPosition(0, 10, -10);
  cam->MoveAroundTarget(*target, 0, 90);
  EXPECT_NEAR(cam->DistanceTo(*target), 10.0f, 1e-4f);
  ExpectVec(cam->Position(), {10, 10, 0}, "turn orbit");  // same sense as a turn: -z goes to +x
  cam->MoveAroundTarget(*target, 30, 0);
  EXPECT_NEAR(cam->DistanceTo(*target), 10.0f, 1e-4f);
  EXPECT_GT(cam->Position().y, 10.0f) << "positive pitch raises the orbiting node";
  ExpectVec(cam->Direction(), glm::normalize(target->Position() - cam->Position()), "faces target");
}

TEST(SceneTree, ParentingFindAndSiblingOrder) {
  Node root("root");
  Node* a = root.CreateChild<GroupNode>("a");
  Node* b = root.CreateChild<GroupNode>("b");
  Node* c = root.CreateChild<GroupNode>("c");
  Node* deep = b->CreateChild<Node>("deep");
  EXPECT_EQ(root.FindChild("deep"), deep);
  EXPECT_EQ(root.FindChild("nope"), nullptr);
  EXPECT_EQ(b->IndexInParent(), 1);

  auto order = [&] {
    std::string s;
    for (size_t i = 0; i < root.ChildCount(); ++i) s += root.Child(i)->Name();
    return s;
  };
  EXPECT_TRUE(c->MoveFirst());
  EXPECT_EQ(order(), "cab");
  EXPECT_FALSE(c->MoveFirst());
  EXPECT_FALSE(c->MoveUp());
  EXPECT_TRUE(c->MoveDown());
  EXPECT_EQ(order(), "acb");
  EXPECT_TRUE(a->MoveLast());
  EXPECT_EQ(order(), "cba");
  EXPECT_FALSE(a->MoveDown());
  EXPECT_TRUE(a->MoveUp());
  EXPECT_EQ(order(), "cab");

  // Re-parenting keeps the local transform and refuses cycles.
  deep->SetPosition(1, 2, 3);
  EXPECT_TRUE(deep->MoveTo(*a));
  EXPECT_EQ(deep->Parent(), a);
  EXPECT_EQ(b->ChildCount(), 0u);
  ExpectVec(deep->Position(), {1, 2, 3}, "local kept");
  EXPECT_FALSE(a->MoveTo(*deep));
  EXPECT_EQ(a->Parent(), &root);

  // Hidden parents hide the subtree; destroying removes it.
  a->Hide();
  EXPECT_FALSE(deep->VisibleInTree());
  a->Destroy();
  EXPECT_EQ(order(), "cb");
  EXPECT_EQ(root.FindChild("deep"), nullptr);
}

TEST(SceneNodes, GroupPointInsideFollowsScaleAndTurn) {
  Node root("root");
  GroupNode* g = root.CreateChild<GroupNode>("g");
  g->SetPosition(10, 0, 0);
  g->SetScale(4, 1, 1);
  g->SetTurnAngle(90);  // its X axis (length 4) now runs along world z
  EXPECT_TRUE(g->PointInside({10, 0, 1.9f}));
  EXPECT_FALSE(g->PointInside({11.9f, 0, 0}));
  EXPECT_TRUE(g->PointInside({10.4f, 0.4f, 0}));
  g->SetCubeSize(10);
  EXPECT_TRUE(g->PointInside({14, 0, 0}));
  g->SetScale(0, 1, 1);
  EXPECT_FALSE(g->PointInside({10, 0, 0})) << "a flattened box holds nothing";
}

TEST(SceneNodes, CameraProjectionAndPicking) {
  Node root("root");
  CameraNode* cam = root.CreateChild<CameraNode>("cam");
  cam->SetPosition(0, 0, -10);  // looking along +z at the origin
  View view;
  view.SetRoot(&root);
  view.SetCamera(cam);
  view.SetSize(200, 100);

  glm::vec3 centre = view.Project({0, 0, 0});
  EXPECT_NEAR(centre.x, 100.0f, 1e-3f);
  EXPECT_NEAR(centre.y, 50.0f, 1e-3f);
  EXPECT_GT(centre.z, 0.0f);
  EXPECT_LT(centre.z, 1.0f);
  // Vertical field of view = focal length: with 60 degrees a point at
  // height tan(30) * 10 sits on the top edge.
  glm::vec3 top = view.Project({0, std::tan(glm::radians(30.0f)) * 10.0f, 0});
  EXPECT_NEAR(top.y, 100.0f, 1e-2f);
  // Screen x grows towards the camera's right: world -x when looking along +z.
  EXPECT_GT(view.Project({-1, 0, 0}).x, 100.0f);

  Ray r = view.ScreenToRay(100, 50);
  ExpectVec(r.origin, {0, 0, -10}, "ray origin at the camera");
  ExpectVec(r.direction, {0, 0, 1}, "centre ray");
  // Round trip: a projected point is on the ray through its pixel.
  glm::vec3 p(3, -2, 5);
  glm::vec3 s = view.Project(p);
  Ray rp = view.ScreenToRay(s.x, s.y);
  ExpectVec(rp.direction, glm::normalize(p - rp.origin), "ray through projected point");

  // A target overrides the direction; a zero height never divides by zero.
  Node* target = root.CreateChild<Node>("t");
  target->SetPosition(0, 0, -20);
  cam->SetTarget(target);
  ExpectVec(view.ScreenToRay(100, 50).direction, {0, 0, -1}, "looks at its target");
  glm::mat4 pm = cam->ProjectionMatrix(100, 0);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(glm::value_ptr(pm)[i]));
  cam->SetProjection([](const CameraNode&, int, int) { return glm::mat4(2.0f); });
  EXPECT_EQ(view.ProjectionMatrix(), glm::mat4(2.0f));
}
