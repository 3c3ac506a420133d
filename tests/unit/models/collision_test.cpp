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
      // Resting exactly on the face: sliding along it is no contact, being
      // pressed into it (gravity) is one at once.
      {"sliding along the face it rests on", {1, 1, 1}, {1, 0, 1}, false, 0, {}},
      {"pressed into the face it rests on", {1, 1, 1}, {0.5f, -0.01f, 0.5f}, true, 0.0f, {1, 0, 1}},
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

namespace kavo::scene {
namespace {

constexpr double kFrame = 1.0 / 60.0;

// A walk area (floor at y = 0, 200 x 200) and a wall at x = 5 facing -x.
struct Room {
  CollisionManager cm;
  BodyId floor = kNoBody, wall = kNoBody;
  Room() {
    std::vector<glm::vec3> big;
    for (const glm::vec3& p : FloorZUp()) big.push_back(p * 10.0f);
    floor = cm.AddStaticBody(big, Pitch90(), WalkAreaBody());
  }
  void AddWall() {
    wall = cm.AddStaticBody({{5, 0, -50}, {5, 50, -50}, {5, 50, 50}, {5, 0, -50}, {5, 50, 50}, {5, 0, 50}},
                            glm::mat4(1.0f), MeshCollisionBody());
  }
  void Run(BodyId body, int frames, glm::vec3 ownPush = glm::vec3(0.0f)) {
    for (int i = 0; i < frames; ++i) {
      if (ownPush != glm::vec3(0.0f)) cm.AddOwnAcceleration(body, ownPush);
      cm.Step(kFrame);
    }
  }
};

TEST(DynamicBodies, FallsAndRestsOnTheWalkArea) {
  Room room;
  BodyId actor = room.cm.AddDynamicBody({0, 10, 0}, DynamicBodyDesc{});
  EXPECT_TRUE(room.cm.IsDynamic(actor));
  EXPECT_FALSE(room.cm.OnGround(actor));
  room.Run(actor, 120);
  EXPECT_TRUE(room.cm.OnGround(actor));
  EXPECT_NEAR(room.cm.Position(actor).y, 1.0f, 0.01f);
  EXPECT_GE(room.cm.Position(actor).y, 1.0f);
  EXPECT_NEAR(room.cm.Velocity(actor).y, 0.0f, 0.01f);
  // Resting for a long time does not sink or drift.
  room.Run(actor, 600);
  EXPECT_NEAR(room.cm.Position(actor).y, 1.0f, 0.01f);
  EXPECT_NEAR(room.cm.Position(actor).x, 0.0f, 1e-4f);

  // A tall ellipsoid rests on its lowest point.
  DynamicBodyDesc tall;
  tall.size = {0.5f, 2.0f, 0.5f};
  BodyId pole = room.cm.AddDynamicBody({50, 10, 50}, tall);
  room.Run(pole, 120);
  EXPECT_NEAR(room.cm.Position(pole).y, 2.0f, 0.01f);

  // An inactive body stays where it is and its pushes do not pile up.
  room.cm.SetActive(actor, false);
  room.cm.SetPosition(actor, {0, 10, 0});
  room.Run(actor, 30, {0, 0, 500});
  EXPECT_EQ(room.cm.Position(actor), glm::vec3(0, 10, 0));
}

TEST(DynamicBodies, OwnFramePushWalksAlongTheFacingAndWallsStopIt) {
  Room room;
  room.AddWall();
  BodyId actor = room.cm.AddDynamicBody({0, 1.001f, 0}, DynamicBodyDesc{});
  room.Run(actor, 10);
  // Turned to face +x: the body's own z axis is world +x.
  room.cm.SetOrientation(actor, glm::mat3(glm::vec3(0, 0, -1), glm::vec3(0, 1, 0), glm::vec3(1, 0, 0)));
  room.Run(actor, 120, {0, 0, 500});
  // Stopped by the wall one radius before it, still on the floor.
  glm::vec3 p = room.cm.Position(actor);
  EXPECT_NEAR(p.x, 4.0f, 0.01f);
  EXPECT_LE(p.x, 4.0f);
  EXPECT_NEAR(p.y, 1.0f, 0.01f);
  EXPECT_NEAR(p.z, 0.0f, 1e-3f);

  // Facing -x with the floor's friction: the speed levels off (push / friction).
  room.cm.SetOrientation(actor, glm::mat3(glm::vec3(0, 0, 1), glm::vec3(0, 1, 0), glm::vec3(-1, 0, 0)));
  room.Run(actor, 60, {0, 0, 500});
  const float speed = -room.cm.Velocity(actor).x;
  EXPECT_NEAR(speed, 500.0f / (0.7f * 10.0f), 3.0f);
  // Without a push friction brings it to a stop.
  room.Run(actor, 240);
  EXPECT_LT(std::fabs(room.cm.Velocity(actor).x), 0.01f);
}

TEST(DynamicBodies, ABodyPlacedExactlyTouchingAnEdgeSlidesAlongIt) {
  // The floor's two triangles share a diagonal through the origin; a body
  // whose sphere touches it exactly is pushed along it and must move.
  Room room;
  room.cm.SetGravity(0.0f);
  BodyId actor = room.cm.AddDynamicBody({0, 1, 0}, DynamicBodyDesc{});
  // Facing along the diagonal, world (1, 0, -1).
  room.cm.SetOrientation(actor, glm::mat3(glm::vec3(-0.7071068f, 0, -0.7071068f), glm::vec3(0, 1, 0),
                                          glm::vec3(0.7071068f, 0, -0.7071068f)));
  room.Run(actor, 10, {0, 0, 500});
  const glm::vec3 p = room.cm.Position(actor);
  EXPECT_GT(p.x, 0.5f);
  EXPECT_LT(p.z, -0.5f);
  EXPECT_NEAR(p.y, 1.0f, 0.01f);
}

TEST(DynamicBodies, JumpRisesAndLands) {
  Room room;
  BodyId actor = room.cm.AddDynamicBody({0, 3, 0}, DynamicBodyDesc{});
  EXPECT_FALSE(room.cm.Jump(actor, 5, 50));  // in the air: ignored
  room.Run(actor, 60);
  ASSERT_TRUE(room.cm.OnGround(actor));
  EXPECT_TRUE(room.cm.Jump(actor, 5, 50));
  EXPECT_FALSE(room.cm.Jump(actor, 5, 50));  // already jumping
  float top = 0;
  int frames = 0;
  while (room.cm.Jumping(actor) && frames < 600) {
    room.cm.Step(kFrame);
    top = std::max(top, room.cm.Position(actor).y);
    ++frames;
  }
  EXPECT_LT(frames, 600);
  EXPECT_NEAR(top, 6.0f, 0.01f);
  EXPECT_TRUE(room.cm.OnGround(actor));
  EXPECT_NEAR(room.cm.Position(actor).y, 1.0f, 0.01f);
}

TEST(DynamicBodies, CallbackNamesTheOtherBodyAndCanPushIt) {
  Room room;
  DynamicBodyDesc desc;
  desc.tag = 1;
  BodyId a = room.cm.AddDynamicBody({0, 1.001f, 0}, desc);
  BodyId b = room.cm.AddDynamicBody({5, 1.001f, 0}, desc);
  std::vector<CollisionContact> seen;
  // As an actor does: push the other straight away with 400.
  room.cm.SetCallback(a, [&](const CollisionContact& c) {
    seen.push_back(c);
    if (c.otherTag > 0) {
      glm::vec3 v = room.cm.Position(c.other) - room.cm.Position(c.self);
      room.cm.ResetAbsoluteAcceleration(c.other);
      room.cm.AddAbsoluteAcceleration(c.other, glm::normalize(v) * 400.0f);
    }
  });
  room.cm.SetVelocity(a, {60, 0, 0});
  room.Run(a, 30);
  ASSERT_FALSE(seen.empty());
  bool metB = false, metFloor = false;
  for (const CollisionContact& c : seen) {
    EXPECT_EQ(c.self, a);
    metB = metB || (c.other == b && c.otherDynamic && c.otherTag == 1);
    metFloor = metFloor || (c.other == room.floor && !c.otherDynamic && c.otherTag == 0);
  }
  EXPECT_TRUE(metB);
  EXPECT_TRUE(metFloor);
  EXPECT_GT(room.cm.Position(b).x, 5.5f);  // pushed away along +x
  EXPECT_GE(glm::length(room.cm.Position(b) - room.cm.Position(a)), 2.0f - 1e-3f);  // never overlapping

  EXPECT_TRUE(room.cm.RemoveBody(b));
  EXPECT_FALSE(room.cm.HasBody(b));
  EXPECT_EQ(room.cm.BodyCount(), 2u);  // the floor and a
}

}  // namespace
}  // namespace kavo::scene
