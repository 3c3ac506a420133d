// THudsprite seen from scripts: its defaults, sizes and the mouse rectangle,
// the transparency modes on a picture's pixels (also written after the
// picture), layers, IDs, a missing picture and the save lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hud/kavohudsprite.h"
#include "platform/files.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "support/game_fixture.h"
#include "support/pictures.h"

namespace kavo::test {
namespace {

class HudSpriteTest : public GameFixture {
 protected:
  void SetUp() override {
    // Four pixels: black, a dark colour, white, and a red of 1 (not black).
    dir.Write("data/GUI/panel.png", EncodePng(4, 1, {0, 0, 0, 200, 10, 20, 31, 100, 255, 255, 255, 255, 1, 0, 0, 50}));
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
  TKavoContext& Ctx() { return form->Context(); }
  THudspriteClass& Sprite(size_t i) { return *Ctx().hudSprites.At(static_cast<int64_t>(i)); }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(tostring(" + expr + "))");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
  std::vector<int> Alphas(size_t i) {
    const std::vector<uint8_t>& px = Sprite(i).Sprite()->material.texture.image.Pixels();
    std::vector<int> a;
    for (size_t k = 3; k < px.size(); k += 4) a.push_back(px[k]);
    return a;
  }
};

TEST_F(HudSpriteTest, ANewSpriteCoversTheTopLeftCornerInFront) {
  Run("s = THudsprite.Create()");
  for (const auto& [expr, want] : std::vector<std::pair<std::string, std::string>>{
           {"s.ScaleX", "256"}, {"s.ScaleY", "256"}, {"s.TransparencyMode", "4"}, {"s.TextureRepeatX", "1"},
           {"s.X", "128"}, {"s.Y", "128"}, {"s.ID", "0"}})
    EXPECT_EQ(Eval(expr), want) << expr;
  THudspriteClass& s = Sprite(0);
  EXPECT_EQ(s.Node()->Parent(), Ctx().scene->userhud);
  EXPECT_TRUE(s.HitTest(0, 0));
  EXPECT_TRUE(s.HitTest(255, 255));
  EXPECT_FALSE(s.HitTest(256, 10));
}

TEST_F(HudSpriteTest, SetSizeSetsTheMouseRectangleAndScaleDoesNot) {
  Run("s = THudsprite.Create() s.SetSize(100, 40)");
  THudspriteClass& s = Sprite(0);
  EXPECT_EQ(Eval("s.ScaleX"), "100");
  EXPECT_EQ(Eval("s.ScaleY"), "40");
  EXPECT_EQ(s.mouseRight, 100);
  EXPECT_EQ(s.mouseBottom, 40);
  // The rectangle lies from the corner: centre (128, 128) minus half the size.
  EXPECT_TRUE(s.HitTest(78, 108));
  EXPECT_FALSE(s.HitTest(178, 108));
  Run("s.ScaleX = 300");
  EXPECT_EQ(Eval("s.ScaleX"), "300");
  EXPECT_EQ(s.mouseRight, 100);
  EXPECT_EQ(s.Sprite()->Scale().x, 300.0f);
  NewLog();
  Run("s.SetScale('x', 1)");
  auto log = NewLog();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log[0].find("Function (SetSize) requires integer in first argument."), std::string::npos) << log[0];
}

TEST_F(HudSpriteTest, TransparencyModesSetTheAlphaOfThePicture) {
  struct Case {
    int mode;
    std::vector<int> alphas;  // black, (10, 20, 31), white, (1, 0, 0)
    bool opaque;
  } cases[] = {
      {0, {255, 255, 255, 255}, true},
      {1, {0, 20, 255, 0}, false},           // (r + g + b) div 3
      {2, {0, 71, 255, 0}, false},           // round(255 * sqrt(20 / 255))
      {3, {200, 100, 255, 50}, false},       // the picture's own
      {4, {0, 255, 255, 255}, false},        // exactly black only
  };
  for (const Case& c : cases) {
    // Written before and after the picture: the same pixels.
    for (bool after : {false, true}) {
      Run("s = THudsprite.Create()");
      const std::string mode = "s.TransparencyMode = " + std::to_string(c.mode);
      if (!after) Run(mode);
      Run("s.Texture = 'GUI/panel.png'");
      if (after) Run(mode);
      THudspriteClass& s = *Ctx().hudSprites.Back();
      const std::vector<uint8_t>& px = s.Sprite()->material.texture.image.Pixels();
      std::vector<int> got;
      for (size_t k = 3; k < px.size(); k += 4) got.push_back(px[k]);
      EXPECT_EQ(got, c.alphas) << "mode " << c.mode << (after ? " after" : " before");
      EXPECT_EQ(s.Sprite()->material.blending == scene::BlendingMode::Opaque, c.opaque) << c.mode;
      Run("s.Destroy()");
    }
  }
  // Another value keeps blending and modulate, and reads back.
  Run("s = THudsprite.Create() s.TransparencyMode = 0 s.TransparencyMode = 7");
  EXPECT_EQ(Eval("s.TransparencyMode"), "7");
  EXPECT_EQ(Ctx().hudSprites.Back()->Sprite()->material.blending, scene::BlendingMode::Transparency);
  EXPECT_EQ(Ctx().hudSprites.Back()->Sprite()->material.texture.mode, scene::TextureMode::Modulate);
}

TEST_F(HudSpriteTest, LayersAndIds) {
  Run("a = THudsprite.Create() b = THudsprite.Create() c = THudsprite.Create()");
  Run("a.MoveBackground()");
  EXPECT_EQ(Sprite(0).Node()->Parent(), Ctx().scene->background);
  Run("a.MoveFront()");
  EXPECT_EQ(Sprite(0).Node()->Parent(), Ctx().scene->userhud);
  EXPECT_EQ(Ctx().scene->userhud->Child(Ctx().scene->userhud->ChildCount() - 1), Sprite(0).Node());
  Run("a.Destroy()");
  EXPECT_EQ(Eval("c.ID"), "1");
}

TEST_F(HudSpriteTest, AMissingPictureIsLoggedAndTheDataFolderIsCurrentAgain) {
  const std::string before = Files().CurrentDir();
  Run("s = THudsprite.Create() s.Texture = 'GUI/ghost.png'");
  EXPECT_TRUE(LogHas("Couldn't find texture for hudsprite (GUI/ghost.png)."));
  // An empty name (what a save writes for a sprite without a picture) is no picture, not a missing one.
  NewLog();
  Run("Game.Debug = true e = THudsprite.Create() e.Texture = ''");
  for (const std::string& l : NewLog()) EXPECT_EQ(l.find("Couldn't find"), std::string::npos) << l;
  EXPECT_FALSE(form->Context().halted);
  EXPECT_EQ(Files().CurrentDir(), before);
  EXPECT_EQ(Eval("s.Texture"), "GUI/ghost.png");
  Run("Game.Debug = true s.Texture = 'GUI/ghost.png'");
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, 11);
  EXPECT_EQ(Files().CurrentDir(), before);
}

TEST_F(HudSpriteTest, SaveLinesWriteTheTextureBeforeItsMode) {
  Run("s = THudsprite.Create() s.Texture = 'GUI/panel.png' s.TransparencyMode = 1 s.SetSize(64, 32) s.Rotation = 30");
  std::vector<std::string> lines;
  Sprite(0).WriteSave("s", lines);
  auto at = [&](const std::string& prefix) {
    return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }) -
           lines.begin();
  };
  ASSERT_LT(at("s.Texture"), static_cast<long>(lines.size()));
  EXPECT_LT(at("s.Texture"), at("s.TransparencyMode"));
  // Read back into a fresh sprite, the pixels are those of the saved one.
  std::string script = "t = THudsprite.Create()\n";
  for (const std::string& l : lines)
    if (l.rfind("s.", 0) == 0 && l.find("SetRawRotations") == std::string::npos) script += "t" + l.substr(1) + "\n";
  Run(script);
  EXPECT_EQ(Alphas(1), Alphas(0));
  EXPECT_EQ(Eval("t.ScaleX"), "64");
  EXPECT_EQ(Eval("t.Rotation"), "30");
}

}  // namespace
}  // namespace kavo::test
