// Static collision bodies: registration, activation, layers, and the sphere
// sweep and slide that actors will move with.
#include "scene/collision.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

namespace kavo::scene {
namespace {

// A 20 x 20 floor in the z-up plane of a model file (as a room is modelled
// before its node pitches it upright) and a wall standing on it.
std::vector<glm::vec3> FloorZUp() {
  return {{-10, -10, 0}, {10, -10, 0}, {10, 10, 0}, {-10, -10, 0}, {10, 10, 0}, {-10, 10, 0}};
}

// The node's matrix for a pitch of 90 degrees: model +z becomes world +y.
glm::mat4 Pitch90() { return glm::rotate(glm::mat4(1.0f), glm::radians(-90.0f), glm::vec3(1, 0, 0)); }

TEST(CollisionManager, DefaultsAndBodyBookkeeping) {
  CollisionManager cm;
  EXPECT_FLOAT_EQ(cm.Gravity(), -300.0f);
  EXPECT_FLOAT_EQ(cm.WorldScale(), 1.0f);
  EXPECT_FLOAT_EQ(cm.MovementScale(), 1.0f);

  BodyId walk = cm.AddStaticBody(FloorZUp(), Pitch90(), WalkAreaBody());
  BodyId mesh = cm.AddStaticBody(FloorZUp(), glm::translate(glm::mat4(1.0f), {0, 0, 50}), MeshCollisionBody());
  EXPECT_NE(walk, mesh);
  EXPECT_EQ(cm.BodyCount(), 2u);
  EXPECT_FLOAT_EQ(cm.Desc(walk)->bounce, 0.5f);
  EXPECT_FLOAT_EQ(cm.Desc(walk)->friction, 10.0f);
  EXPECT_FLOAT_EQ(cm.Desc(mesh)->bounce, 10.0f);
  EXPECT_FLOAT_EQ(cm.Desc(mesh)->friction, 0.0f);
  EXPECT_EQ(cm.Desc(mesh)->layer, 0);

  cm.Step(0.02);
  cm.Step(-1.0);  // ignored
  EXPECT_DOUBLE_EQ(cm.Time(), 0.02);
  EXPECT_EQ(cm.Steps(), 1u);

  EXPECT_TRUE(cm.RemoveBody(mesh));
  EXPECT_FALSE(cm.RemoveBody(mesh));
  EXPECT_FALSE(cm.HasBody(mesh));
  EXPECT_EQ(cm.Desc(mesh), nullptr);
  EXPECT_FALSE(cm.SetActive(mesh, true));
}

TEST(CollisionManager, SphereFallsOntoThePitchedWalkArea) {
  CollisionManager cm;
  BodyId walk = cm.AddStaticBody(FloorZUp(), Pitch90(), WalkAreaBody());
  // Straight down from 10 with radius 1: contact after 9 of 20 units.
  auto hit = cm.SweepSphere({2, 10, 3}, 1.0f, {0, -20, 0});
  ASSERT_TRUE(hit);
  EXPECT_NEAR(hit->fraction, 0.45f, 1e-5f);
  EXPECT_NEAR(hit->centre.y, 1.0f, 1e-4f);
  EXPECT_NEAR(hit->normal.y, 1.0f, 1e-5f);
  EXPECT_EQ(hit->body, walk);

  // Sliding diagonally down: ends resting on the floor, moved fully in x.
  bool touched = false;
  glm::vec3 end = cm.SlideSphere({0, 3, 0}, 1.0f, {5, -10, 0}, kAllLayers, 4, &touched);
  EXPECT_TRUE(touched);
  EXPECT_NEAR(end.x, 5.0f, 1e-3f);
  EXPECT_NEAR(end.y, 1.0f, 2e-3f);
  EXPECT_GE(end.y, 1.0f);

  // Inactive bodies and other layers are not met.
  cm.SetActive(walk, false);
  EXPECT_FALSE(cm.SweepSphere({2, 10, 3}, 1.0f, {0, -20, 0}));
  cm.SetActive(walk, true);
  EXPECT_FALSE(cm.SweepSphere({2, 10, 3}, 1.0f, {0, -20, 0}, LayerBit(1)));
  EXPECT_TRUE(cm.SweepSphere({2, 10, 3}, 1.0f, {0, -20, 0}, LayerBit(0)));

  // Rays through the bodies.
  BodyId which = kNoBody;
  auto ray = cm.CastRay({{1, 5, 1}, {0, -1, 0}}, 100.0f, kAllLayers, &which);
  ASSERT_TRUE(ray);
  EXPECT_NEAR(ray->distance, 5.0f, 1e-5f);
  EXPECT_EQ(which, walk);

  // Moving the body moves its triangles.
  cm.SetBodyTransform(walk, glm::translate(glm::mat4(1.0f), {0, 2, 0}) * Pitch90());
  ray = cm.CastRay({{1, 5, 1}, {0, -1, 0}}, 100.0f);
  ASSERT_TRUE(ray);
  EXPECT_NEAR(ray->distance, 3.0f, 1e-5f);
}

TEST(SphereSweep, FaceEdgeCornerMissAndOverlap) {
  const glm::vec3 a(0, 0, 0), b(4, 0, 0), c(0, 0, 4);  // in the y = 0 plane
  struct Case {
    const char* what;
    glm::vec3 from, move;
    bool hits;
    float fraction;
    glm::vec3 point;
  } cases[] = {
      {"face from above", {1, 5, 1}, {0, -10, 0}, true, 0.4f, {1, 0, 1}},
      {"face from below (both sides count)", {1, -5, 1}, {0, 10, 0}, true, 0.4f, {1, 0, 1}},
      {"corner a head-on", {-5, 0, 0}, {10, 0, 0}, true, 0.4f, {0, 0, 0}},
      {"edge ab from the side", {2, 0, -5}, {0, 0, 10}, true, 0.4f, {2, 0, 0}},
      // Beside the hypotenuse x + z = 4, 0.707 from it: the edge stops the
      // sphere at height 0.707 above (2, 0, 2).
      {"edge bc grazed from above", {2.5f, 3, 2.5f}, {0, -10, 0}, true, 0.2292893f, {2, 0, 2}},
      {"passing beside", {-5, 0.5f, 8}, {10, 0, 0}, false, 0, {}},
      {"stopping short", {1, 5, 1}, {0, -3, 0}, false, 0, {}},
      {"moving away", {1, 2, 1}, {0, 5, 0}, false, 0, {}},
  };
  for (const Case& k : cases) {
    auto hit = SweepSphereTriangle(k.from, 1.0f, k.move, a, b, c);
    ASSERT_EQ(bool(hit), k.hits) << k.what;
    if (!hit) continue;
    EXPECT_NEAR(hit->fraction, k.fraction, 1e-4f) << k.what;
    EXPECT_NEAR(glm::length(hit->point - k.point), 0.0f, 1e-3f) << k.what;
    EXPECT_NEAR(glm::length(hit->centre - hit->point), 1.0f, 1e-3f) << k.what;
    EXPECT_LE(glm::dot(hit->normal, k.move), 0.0f) << k.what;
  }
  // Already overlapping: fraction 0 with the depth.
  auto overlap = SweepSphereTriangle({1, 0.5f, 1}, 1.0f, {5, 0, 0}, a, b, c);
  ASSERT_TRUE(overlap);
  EXPECT_FLOAT_EQ(overlap->fraction, 0.0f);
  EXPECT_NEAR(overlap->penetration, 0.5f, 1e-5f);
  EXPECT_NEAR(overlap->normal.y, 1.0f, 1e-5f);
}

}  // namespace
}  // namespace kavo::scene
