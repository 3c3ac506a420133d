// THudtext seen from scripts: its defaults, alignment names, the UTF-8 to
// code page conversion of Text with the width it measures, the mouse
// rectangle per alignment, colours and their argument checks, and the save
// lines read back into a fresh text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hud/kavohudtext.h"
#include "scene/bitmapfont.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "support/game_fixture.h"

namespace kavo::test {
namespace {

class HudTextTest : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    // A font of known widths: every code 10 wide except "i" (4); code 233
    // (é in the Western page) 12; spacing 1, line height 20.
    font.data.widths.fill(10);
    font.data.widths['i'] = 4;
    font.data.widths[233] = 12;
    font.data.charHeight = 20;
    font.data.horizontalSpacing = 1;
    Ctx().speechFont = &font;
    NewLog();
  }
  TKavoContext& Ctx() { return form->Context(); }
  THudtextClass& Text(size_t i) { return *Ctx().hudTexts.At(static_cast<int64_t>(i)); }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(tostring(" + expr + "))");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
  scene::BitmapFont font;
};

TEST_F(HudTextTest, ANewTextIsCentredWhiteAndEnabled) {
  Run("t = THudtext.Create()");
  for (const auto& [expr, want] : std::vector<std::pair<std::string, std::string>>{
           {"t.Enabled", "1"}, {"t.HAlign", "center"}, {"t.VAlign", "center"}, {"t.Alpha", "1"}, {"t.ID", "0"},
           {"t.Text", ""}})
    EXPECT_EQ(Eval(expr), want) << expr;
  THudtextClass& t = Text(0);
  EXPECT_EQ(t.Node()->Parent(), Ctx().scene->userhud);
  EXPECT_EQ(t.TextNode()->font, &font);
  EXPECT_EQ(t.TextNode()->colour, glm::vec4(1, 1, 1, 1));
  Run("t.ID = 7 u = THudtext.Create()");
  EXPECT_EQ(Eval("t.ID"), "0");
  EXPECT_EQ(Eval("u.ID"), "1");
  Run("t.Destroy()");
  EXPECT_EQ(Eval("u.ID"), "0");
}

TEST_F(HudTextTest, AlignmentNamesIgnoreCaseAndUnknownWordsChangeNothing) {
  Run("t = THudtext.Create() t.HAlign = 'RIGHT' t.VAlign = 'Top'");
  EXPECT_EQ(Eval("t.HAlign"), "right");
  EXPECT_EQ(Eval("t.VAlign"), "top");
  Run("t.HAlign = 'middle' t.VAlign = ''");
  EXPECT_EQ(Eval("t.HAlign"), "right");
  EXPECT_EQ(Eval("t.VAlign"), "top");
  Run("t.HAlign = 'left' t.VAlign = 'bottom'");
  EXPECT_EQ(Text(0).TextNode()->hAlign, scene::HudTextNode::HAlign::Left);
  EXPECT_EQ(Text(0).TextNode()->vLayout, scene::HudTextNode::VLayout::Bottom);
}

TEST_F(HudTextTest, TextIsKeptInTheCodePageAndMeasuredInIt) {
  struct Case {
    const char* name;
    std::string utf8, stored;
    float width;
  } cases[] = {
      {"ascii", "Hi", "Hi", 10 + 4 + 1},
      {"e acute", "caf\xc3\xa9", "caf\xe9", 30 + 12 + 3},
      {"euro", "\xe2\x82\xac", "\x80", 10},
      {"l with stroke", "\xc5\x82", "?", 10},
      {"emoji", "\xf0\x9f\x98\x80", "?", 10},
      {"not UTF-8", "caf\xe9", "caf\xe9", 30 + 12 + 3},
      {"empty", "", "", 0},
  };
  Run("t = THudtext.Create()");
  THudtextClass& t = Text(0);
  for (const Case& c : cases) {
    t.SetText(c.utf8);
    EXPECT_EQ(t.TextNode()->text, c.stored) << c.name;
    EXPECT_EQ(t.textWidth, c.width) << c.name;
    EXPECT_EQ(t.textHeight, c.width > 0 ? 20.0f : t.textHeight) << c.name;
  }
  // Read back and written again, a text does not change.
  Run("t.Text = 'na\xc3\xafve \xe2\x82\xac' t.Text = t.Text");
  EXPECT_EQ(t.TextNode()->text, "na\xefve \x80");
  Run("Game.LOG(string.len(t.Text))");
  EXPECT_EQ(NewLog().back(), "7");
}

TEST_F(HudTextTest, TheMouseRectangleFollowsHAlignAndIgnoresVAlign) {
  Run("t = THudtext.Create() t.X = 100 t.Y = 50 t.Text = 'WWW'");  // 32 wide, 20 high
  THudtextClass& t = Text(0);
  struct Case {
    const char* hAlign;
    int left, right;  // first and one past the last column inside
  } cases[] = {{"center", 84, 116}, {"left", 100, 132}, {"right", 68, 100}};
  for (const Case& c : cases) {
    for (const char* vAlign : {"top", "center", "bottom"}) {
      Run(std::string("t.HAlign = '") + c.hAlign + "' t.VAlign = '" + vAlign + "'");
      const std::string what = std::string(c.hAlign) + "/" + vAlign;
      EXPECT_TRUE(t.HitTest(c.left, 40)) << what;
      EXPECT_TRUE(t.HitTest(c.right - 1, 59)) << what;
      EXPECT_FALSE(t.HitTest(c.left - 1, 50)) << what;
      EXPECT_FALSE(t.HitTest(c.right, 50)) << what;
      EXPECT_FALSE(t.HitTest(c.left, 39)) << what;
      EXPECT_FALSE(t.HitTest(c.left, 60)) << what;
    }
  }
}

TEST_F(HudTextTest, ColourAndAlpha) {
  Run("t = THudtext.Create() t.Alpha = 0.5 t.SetColorRGB(255, 51, 0)");
  EXPECT_EQ(Text(0).TextNode()->colour, glm::vec4(1.0f, 0.2f, 0.0f, 0.5f));
  for (const auto& [call, message] : std::vector<std::pair<std::string, std::string>>{
           {"t.SetColorRGB('a', 1, 1)", "Function (SetColorRGB) requires integer in first argument."},
           {"t.SetColorRGB(1, 1.5, 1)", "Function (SetColorRGB) requires integer in second argument."},
           {"t.SetColorRGB(1, 1)", "Function (SetColorRGB) requires integer in third argument."}}) {
    NewLog();
    Run(call);
    auto log = NewLog();
    ASSERT_FALSE(log.empty()) << call;
    EXPECT_NE(log[0].find(message), std::string::npos) << log[0];
  }
  EXPECT_EQ(Text(0).TextNode()->colour, glm::vec4(1.0f, 0.2f, 0.0f, 0.5f));
}

TEST_F(HudTextTest, SaveLinesReadBackIntoTheSameText) {
  Run("t = THudtext.Create() t.Text = 'caf\xc3\xa9 \xe2\x82\xac' t.HAlign = 'left' t.VAlign = 'bottom' "
      "t.Enabled = 0 t.Alpha = 0.25 t.X = 300 t.Y = 40");
  std::vector<std::string> lines;
  Text(0).WriteSave("t", lines);
  std::string script;
  for (const std::string& l : lines)
    if (l.rfind("t.", 0) == 0 && l.find("SetRawRotations") == std::string::npos) script += "u" + l.substr(1) + "\n";
  Run("u = THudtext.Create()\n" + script);
  THudtextClass& a = Text(0);
  THudtextClass& b = Text(1);
  EXPECT_EQ(b.TextNode()->text, a.TextNode()->text);
  EXPECT_EQ(b.TextNode()->hAlign, scene::HudTextNode::HAlign::Left);
  EXPECT_EQ(b.TextNode()->vLayout, scene::HudTextNode::VLayout::Bottom);
  EXPECT_EQ(b.Enabled, 0);
  EXPECT_EQ(b.TextNode()->colour.a, 0.25f);
  EXPECT_EQ(b.TextNode()->X(), 300.0f);
  EXPECT_EQ(b.textWidth, a.textWidth);
}

}  // namespace
}  // namespace kavo::test
