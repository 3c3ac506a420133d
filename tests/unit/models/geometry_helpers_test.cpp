// The pure-maths helpers: point in a turned and scaled box, and a model's
// bounds projected to a screen rectangle (y down from the top).
#include "scene/geometry.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

namespace kavo::scene {
namespace {

TEST(PointInOrientedBox, TurnedScaledAndPlacedBox) {
  // Edge 1 scaled to 2 x 4 x 6, turned 45 degrees about y, centred at (5, 0, 0).
  const glm::mat4 m = glm::scale(glm::rotate(glm::translate(glm::mat4(1.0f), {5, 0, 0}), glm::radians(45.0f),
                                             glm::vec3(0, 1, 0)),
                                 {2, 4, 6});
  const glm::vec3 c(5, 0, 0);
  const glm::vec3 ax(0.70710678f, 0, -0.70710678f), az(0.70710678f, 0, 0.70710678f);
  struct Case {
    glm::vec3 p;
    bool inside;
  } cases[] = {
      {c, true},
      {c + glm::vec3(0, 1.9f, 0), true},
      {c + glm::vec3(0, 2.1f, 0), false},
      {c + ax * 0.99f, true},
      {c + ax * 1.01f, false},
      {c + az * 2.9f, true},
      {c + az * 3.1f, false},
      {c + glm::vec3(2, 0, 2), true},      // inside because the box is turned
      {c + glm::vec3(0, 0, 2.5f), false},  // inside the unturned box, not the turned one
  };
  for (const Case& k : cases) EXPECT_EQ(PointInOrientedBox(m, k.p), k.inside) << k.p.x << "," << k.p.y << "," << k.p.z;
  // A box flattened to nothing holds no point, not even its centre.
  EXPECT_FALSE(PointInOrientedBox(glm::scale(glm::mat4(1.0f), {1, 0, 1}), glm::vec3(0)));
}

TEST(ProjectBoundsToScreen, RectangleWithYDownAndRounding) {
  // A pixel projection of a 1024 x 512 view (sizes that keep the maths
  // exact): world x, y are window pixels with y up, so the rectangle's top
  // is 512 minus the box's highest y.
  const glm::mat4 vp = glm::ortho(0.0f, 1024.0f, 0.0f, 512.0f, -10.0f, 10.0f);
  const glm::ivec4 viewport(0, 0, 1024, 512);
  ScreenRect r;
  ASSERT_TRUE(ProjectBoundsToScreen({100, 50, 0}, {300, 150, 1}, glm::mat4(1.0f), vp, viewport, r));
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 300);
  EXPECT_EQ(r.top, 362);
  EXPECT_EQ(r.bottom, 462);

  // The model matrix places the box; halves round to even.
  ASSERT_TRUE(ProjectBoundsToScreen({0.5f, 0, 0}, {1.5f, 10, 0}, glm::translate(glm::mat4(1.0f), {100, 200, 0}), vp,
                                    viewport, r));
  EXPECT_EQ(r.left, 100);   // 100.5
  EXPECT_EQ(r.right, 102);  // 101.5
  EXPECT_EQ(r.top, 302);
  EXPECT_EQ(r.bottom, 312);

  // A perspective view: a box straddling the eye plane cannot be projected,
  // and the rectangle keeps its old value.
  const glm::mat4 persp = glm::perspective(glm::radians(60.0f), 800.0f / 600.0f, 0.1f, 600.0f) *
                          glm::lookAt(glm::vec3(0, 0, 10), glm::vec3(0), glm::vec3(0, 1, 0));
  ScreenRect before = r;
  const glm::ivec4 view800(0, 0, 800, 600);
  EXPECT_FALSE(ProjectBoundsToScreen({-1, -1, 5}, {1, 1, 15}, glm::mat4(1.0f), persp, view800, r));
  EXPECT_EQ(r.left, before.left);
  EXPECT_EQ(r.bottom, before.bottom);
  // In front of the eye: a rectangle around the view's centre.
  ASSERT_TRUE(ProjectBoundsToScreen({-1, -1, -1}, {1, 1, 1}, glm::mat4(1.0f), persp, view800, r));
  EXPECT_EQ(r.left + r.right, 800);
  EXPECT_EQ(r.top + r.bottom, 600);
  EXPECT_LT(r.left, r.right);
}

}  // namespace
}  // namespace kavo::scene
