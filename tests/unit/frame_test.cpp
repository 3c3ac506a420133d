// The frame clock, the timers, the frame step's camera follow and the
// engine's fixed tree as drawn, with injected time and the renderer that
// draws nothing; and a few pictures on the offscreen GL context.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "game/kavogame.h"
#include "scene/bitmapfont.h"
#include "scene/staticmesh.h"
#include "scene/texture.h"
#include "core/cadencer.h"
#include "scene/scenetree.h"
#include "support/game_fixture.h"
#include "visual/kavomesh.h"

namespace kavo::test {
namespace {

struct ManualTime : TTimeSource {
  double Now() override { return t; }
  double t = 0;
};

TEST(FrameClock, LimitsPausesAndMultiplier) {
  ManualTime time;
  TCadencer c(time);
  c.SetEnabled(true);
  double d = 0;
  time.t = 0.00005;
  EXPECT_FALSE(c.Progress(d));  // below the smallest step nothing happens
  time.t = 0.016;
  ASSERT_TRUE(c.Progress(d));
  EXPECT_NEAR(d, 0.016, 1e-9);
  time.t += 2.0;  // a two second pause gives one 0.1 s step, not a burst
  ASSERT_TRUE(c.Progress(d));
  EXPECT_NEAR(d, 0.1, 1e-9);
  time.t += 0.016;
  ASSERT_TRUE(c.Progress(d));
  EXPECT_NEAR(d, 0.016, 1e-9);
  c.SetTimeMultiplier(2);
  time.t += 0.02;
  ASSERT_TRUE(c.Progress(d));
  EXPECT_NEAR(d, 0.04, 1e-9);
  time.t += 0.08;  // 0.16 scaled is cut to 0.1
  ASSERT_TRUE(c.Progress(d));
  EXPECT_NEAR(d, 0.1, 1e-9);
  // The current time is the sum of the deltas: changing the multiplier or
  // setting the time never makes it run backwards.
  double before = c.CurrentTime();
  c.SetTimeMultiplier(0.5);
  time.t += 0.02;
  ASSERT_TRUE(c.Progress(d));
  EXPECT_GT(c.CurrentTime(), before);
  c.SetCurrentTime(10);
  time.t += 0.01;
  ASSERT_TRUE(c.Progress(d));
  EXPECT_NEAR(c.CurrentTime(), 10.005, 1e-9);
}

TEST(FrameClock, TimersNeverBurst) {
  TKavoTimer t("t", 0.1);
  t.SetEnabled(true, 0.0);
  EXPECT_FALSE(t.Due(0.05));
  EXPECT_TRUE(t.Due(0.1));
  t.Fired(1.0);  // the loop was late by 0.9 s: one firing, then 0.1 s later
  EXPECT_FALSE(t.Due(1.05));
  EXPECT_TRUE(t.Due(1.1));
}

using FrameStep = GameFixture;

TEST_F(FrameStep, GameClockFollowsTheFixedStepAndMultiplier) {
  StartGame("Game = TGame.Create()");
  RunFrames(10);
  TGameClass* g = form->Game();
  EXPECT_NEAR(form->cadencer->CurrentTime(), 0.1, 1e-9);
  EXPECT_NEAR(g->DeltaTime, 0.01, 1e-9);
  Run("Game.TimeMultiplier = 0.5");
  RunFrames(10);
  EXPECT_NEAR(form->cadencer->CurrentTime(), 0.15, 1e-9);
  EXPECT_NEAR(g->DeltaTime, 0.005, 1e-9);
}

TEST_F(FrameStep, CameraFollowPerAxis) {
  StartGame("Game = TGame.Create()");
  TKavoScene& s = *form->scene;
  s.mainCamera->SetTag(1);
  struct Case {
    glm::vec3 gap;
    bool snaps;
  } cases[] = {{{0.05f, 0.05f, 0.05f}, true}, {{0.1f, 0.0f, 0.0f}, false}, {{0.0f, -3.0f, 0.0f}, false}};
  for (const Case& c : cases) {
    s.mainCamera->SetPosition(0, 0, 0);
    s.cameraposition->SetPosition(c.gap);
    RunFrames(1);
    glm::vec3 p = s.mainCamera->Position();
    if (c.snaps) {
      EXPECT_EQ(p, c.gap);
    } else {
      // Each axis closes its own gap at a rate of one per second; an axis
      // without a gap does not move.
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], c.gap[i] * 0.01f, 1e-6) << i;
    }
  }
  s.mainCamera->SetTag(0);  // without a glide the camera sits on its position
  s.cameraposition->SetPosition(5, 6, 7);
  RunFrames(1);
  EXPECT_EQ(s.mainCamera->Position(), glm::vec3(5, 6, 7));
}

TEST(SceneTree, DrawOrderOfTheFixedTree) {
  TKavoScene s(false);
  auto* sky = s.background->CreateChild<scene::HudSpriteNode>("sky");
  auto* prop = s.sceneNode->CreateChild<scene::SphereNode>("prop");
  auto* near = s.transparent->CreateChild<scene::SphereNode>("near glass");
  auto* far = s.transparent->CreateChild<scene::SphereNode>("far glass");
  near->material.blending = far->material.blending = scene::BlendingMode::Transparency;
  s.mainCamera->SetPosition(0, 0, 0);
  near->SetPosition(0, 0, 5);
  far->SetPosition(0, 0, 50);
  s.userhud->CreateChild<scene::HudSpriteNode>("script hud");
  s.inventories->CreateChild<scene::SphereNode>("inventory item");
  (void)sky;
  (void)prop;
  s.Render(false);
  std::vector<std::string> drawn = s.NullRendererForTests().Drawn();
  auto at = [&](const std::string& n) {
    auto it = std::find(drawn.begin(), drawn.end(), n);
    EXPECT_NE(it, drawn.end()) << n << " not drawn in " << ::testing::PrintToString(drawn);
    return it - drawn.begin();
  };
  EXPECT_LT(at("sky"), at("prop"));
  EXPECT_LT(at("prop"), at("far glass"));
  EXPECT_LT(at("far glass"), at("near glass"));
  EXPECT_LT(at("near glass"), at("postrender"));
  EXPECT_LT(at("postrender"), at("script hud"));
  EXPECT_LT(at("script hud"), at("GLDirectOpenGL1"));
  EXPECT_LT(at("GLDirectOpenGL1"), at("inventory item"));
  EXPECT_EQ(drawn.back(), "mousecursor");
  // Hidden nodes are not drawn.
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), "invlightcolors"), 0);
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), "walkpawns"), 0);
}

TEST(SceneTree, ProjectionSurvivesAZeroHeightViewport) {
  TKavoScene s(false);
  glm::mat4 p = s.mainCamera->ProjectionMatrix(800, 0);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(std::isfinite(p[i][j]));
}

// Pictures through the whole engine on the offscreen context.
class Pictures : public ::testing::Test {
 protected:
  void SetUp() override {
    platform = CreateSdlPlatform(true);
    dir.Write("data/config.lua", "Game = TGame.Create()\nGame.Debug = false\n");
    dir.Write("data/GUI/walkpawns.3ds", ReadFileText(std::string(KAVO_TEST_DATA) + "/models/walkpawns.3ds"));
    TKavoOptions o;
    o.executableDir = dir.Path();
    o.fixedStepMs = 10;
    o.screenshotPath = dir.Path() + "shot.png";
    form = std::make_unique<TKavoForm>(*platform, o);
    form->libraryCheck = [] { return std::string(); };
    form->Startup({dir.Path() + "kavo"});
    if (!form->scene->UsesGL()) GTEST_SKIP() << "no OpenGL context here";
    form->scene->windowView.SetCaptureFrames(true);  // every frame, for Pixel()
  }
  void Frame() {
    long long target = form->frameSteps + 1;
    while (form->frameSteps < target && !form->Terminated()) form->RunOnce();
  }
  glm::ivec4 Pixel(int x, int y) {
    const scene::View& v = form->scene->windowView;
    const auto& px = v.LastFramePixels();
    size_t i = (static_cast<size_t>(y) * v.LastFrameWidth() + x) * 4;
    return {px[i], px[i + 1], px[i + 2], px[i + 3]};
  }
  TempDir dir;
  std::unique_ptr<IPlatform> platform;
  std::unique_ptr<TKavoForm> form;
};

void ExpectColor(glm::ivec4 got, glm::ivec3 want) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 3) << "channel " << i;
}

TEST_F(Pictures, BackgroundColourFromTheGameObject) {
  form->Script().RunLine("Game.SetBackgroundRGB(255, 128, 0)");
  Frame();
  ExpectColor(Pixel(400, 300), {255, 128, 0});
  form->CloseMainWindow();
  EXPECT_TRUE(form->Terminated());
  EXPECT_GT(ReadFileText(dir.Path() + "shot.png").size(), 100u);  // --screenshot wrote the last frame
}

TEST_F(Pictures, FogColoursAFarMesh) {
  form->Script().RunLine("Game.SetFogRGB(0, 0, 255) Game.FogStart = 1 Game.FogEnd = 2 Game.SetBackgroundRGB(0, 0, 0)");
  TKavoScene& s = *form->scene;
  auto* ball = s.sceneNode->CreateChild<scene::SphereNode>("ball");
  ball->radius = 20;
  ball->material.unlit = true;
  ball->material.diffuse = {1, 0, 0, 1};
  s.cameraposition->SetPosition(0, 0, -100);
  s.mainCamera->SetPosition(0, 0, -100);
  s.cameratarget->SetPosition(0, 0, 0);
  Frame();
  ExpectColor(Pixel(400, 300), {0, 0, 255});
  ExpectColor(Pixel(795, 595), {0, 0, 0});
}


// The inventory pass: an inventory at SetPosition(0, 0) holds a red and a
// green cube (edge 2). Its grid lies straight ahead of the eye, so cell
// (0, 0) covers the view centre; cell (1, 0) lies one column along the
// grid's +x, which is to the left on screen (about 52 pixels at the
// default offset 2). A world ball right in front of the eye does not hide
// them: the inventory layer is drawn on a cleared depth buffer.
TEST_F(Pictures, InventoryCellsOnScreen) {
  const std::string cube =
      "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
      "f 1 2 3 4\nf 5 6 7 8\nf 1 2 6 5\nf 3 4 8 7\nf 1 5 8 4\nf 2 6 7 3\n";
  dir.Write("data/items/red.obj", "mtllib red.mtl\nusemtl Red\n" + cube);
  dir.Write("data/items/red.mtl", "newmtl Red\nKa 1 0 0\nKd 1 0 0\n");
  dir.Write("data/items/green.obj", "mtllib green.mtl\nusemtl Green\n" + cube);
  dir.Write("data/items/green.mtl", "newmtl Green\nKa 0 1 0\nKd 0 1 0\n");
  form->Script().RunLine(
      "Game.SetBackgroundRGB(0, 0, 0) bag = TInventory.Create() bag.SetPosition(0, 0) "
      "red = TMesh.Create() red.Load('items/red.obj') red.MoveToInventory(0) "
      "green = TMesh.Create() green.Load('items/green.obj') green.MoveToInventory(0)");
  TKavoScene& s = *form->scene;
  s.cameraposition->SetPosition(0, 0, -100);
  s.mainCamera->SetPosition(0, 0, -100);
  s.cameratarget->SetPosition(0, 0, 0);
  auto* ball = s.sceneNode->CreateChild<scene::SphereNode>("ball");
  ball->SetPosition(0, 0, -99);  // its near side 0.2 ahead of the eye, the items 0.4
  ball->radius = 0.8f;
  ball->material.unlit = true;
  ball->material.diffuse = {0, 0, 1, 1};
  Frame();
  Frame();
  for (const auto& [x, y, colour] : std::vector<std::tuple<int, int, glm::ivec3>>{
           {400, 300, {255, 0, 0}}, {380, 285, {255, 0, 0}}, {420, 315, {255, 0, 0}},  // cell (0, 0)
           {348, 300, {0, 255, 0}}, {330, 285, {0, 255, 0}},                           // cell (1, 0)
           {300, 300, {0, 0, 255}}, {440, 300, {0, 0, 255}}, {400, 340, {0, 0, 255}}}) {  // the ball
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
    ExpectColor(Pixel(x, y), colour);
  }
  // The rectangles the mouse tests use match the picture.
  const auto& reds = form->Context().meshes.At(0)->screenRect;
  const auto& greens = form->Context().meshes.At(1)->screenRect;
  EXPECT_TRUE(reds.left < 380 && reds.right > 420 && reds.top < 285 && reds.bottom > 315);
  EXPECT_TRUE(greens.left < 330 && greens.right > 348 && greens.right < 400);
}

TEST_F(Pictures, ASpeechTextShowsAboveItsActorInItsColour) {
  // A font whose every glyph is a white cell 8 pixels wide and 10 high.
  scene::BitmapFont font;
  font.data.charHeight = 10;
  font.data.horizontalSpacing = 0;
  for (int c = 32; c < 127; ++c) {
    font.data.widths[c] = 8;
    font.data.rects[c] = {0.0f, 1.0f, 1.0f, 0.0f};
  }
  font.picture.SetPixels(4, 4, std::vector<uint8_t>(64, 255), false);
  font.picture.SetFormat(scene::TextureFormat::RGBA);
  font.picture.SetAlphaMode(scene::TextureAlphaMode::BlackTransparent);
  form->Context().speechFont = &font;
  form->Script().RunLine(
      "Game.SetBackgroundRGB(0, 0, 0) a = TActor.Create() a.SetPosition(0, 0, 0) a.SpeechHeight = 100 "
      "a.SetSpeechColorRGB(0, 255, 0) a.SetSpeechText('XXXXXXXXXX')");
  TKavoScene& s = *form->scene;
  s.cameraposition->SetPosition(0, 0, -300);
  s.mainCamera->SetPosition(0, 0, -300);
  s.cameratarget->SetPosition(0, 0, 0);
  Frame();
  Frame();
  const glm::vec3 p = s.windowView.Project(glm::vec3(0.0f));
  const int x = int(p.x), y = s.windowView.Height() - int(p.y) - 100;
  SCOPED_TRACE("text centre " + std::to_string(x) + ", " + std::to_string(y));
  for (const auto& [dx, dy, green] : std::vector<std::tuple<int, int, bool>>{
           {0, 0, true}, {-38, 4, true}, {38, -4, true},  // 80 pixels wide about x, 10 high about y
           {-44, 0, false}, {44, 0, false}, {0, 8, false}, {0, -8, false}, {0, 100, false}}) {
    SCOPED_TRACE(std::to_string(dx) + ", " + std::to_string(dy));
    ExpectColor(Pixel(x + dx, y + dy), {0, green ? 255 : 0, 0});
  }
  form->Script().RunLine("a.SetSpeechText('')");
  Frame();  // the actors' step after the repaint hides it; the next frame shows that
  Frame();
  ExpectColor(Pixel(x, y), {0, 0, 0});
  form->Context().speechFont = nullptr;
}

TEST_F(Pictures, ASaveGamesThumbnailIsTheViewBetweenBlackBands) {
  form->Script().RunLine("Game.SetBackgroundRGB(0, 200, 0) Game.SaveGame('shot.txt')");
  std::string jpeg = ReadFileText(dir.Path() + "data/shot.jpg");
  ASSERT_FALSE(jpeg.empty());
  scene::Texture picture;
  std::string error;
  ASSERT_TRUE(picture.LoadFromBytes(jpeg, "shot.jpg", error)) << error;
  ASSERT_EQ(picture.Width(), 256);
  const std::vector<uint8_t>& px = picture.Pixels();
  auto at = [&](int x, int y) {
    const size_t i = (static_cast<size_t>(y) * 256 + static_cast<size_t>(x)) * 4;
    return glm::ivec4(px[i], px[i + 1], px[i + 2], px[i + 3]);
  };
  // 800 x 600 into 256 x 192: bands of 32 above and below (JPEG at quality 10 blurs the edges).
  for (const auto& [x, y, green] : std::vector<std::tuple<int, int, bool>>{
           {128, 5, false}, {128, 250, false}, {128, 128, true}, {20, 60, true}, {230, 200, true}}) {
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
    const glm::ivec4 c = at(x, y);
    EXPECT_NEAR(c.g, green ? 200 : 0, 40);
    EXPECT_LT(c.r, 40);
  }
}

}  // namespace
}  // namespace kavo::test
