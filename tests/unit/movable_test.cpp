// Movable objects through a dummy: position, scale and angle operations and
// their argument checks, menu membership and visibility, the raw matrix and
// the save record.
#include <gtest/gtest.h>

#include "hud/kavomenu.h"
#include "scene/node.h"
#include "scene/scenetree.h"
#include "support/game_fixture.h"
#include "world/kavodummy.h"

namespace kavo::test {
namespace {

class Movable : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\nd = TDummy.Create()\n");
    NewLog();
  }
  std::string Eval(const std::string& expr) {
    Run("Game.LOG(" + expr + ")");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
};

TEST_F(Movable, PositionScaleAndAnglesFromScripts) {
  struct Case {
    const char* code;
    const char* expr;
    const char* value;
  } cases[] = {
      {"d.SetPosition(5)", "d.X .. ',' .. d.Y .. ',' .. d.Z", "5,0,0"},
      {"d.SetPosition(1, 2, 3)", "d.X .. ',' .. d.Y .. ',' .. d.Z", "1,2,3"},
      {"d.SetScale(2, 3)", "d.ScaleX .. ',' .. d.ScaleY .. ',' .. d.ScaleZ", "2,3,1"},
      {"d.SetRotation(90)", "d.TurnAngle", "90"},
      {"d.PitchAngle = 10", "d.TurnAngle .. ',' .. d.PitchAngle", "90,10"},
      {"d.SetPosition(3, 4, 0)", "d.DistanceToPoint(0, 0, 0)", "5"},
  };
  for (const Case& c : cases) {
    Run(c.code);
    EXPECT_EQ(Eval(c.expr), c.value) << c.code;
  }
}

TEST_F(Movable, ChecksRunInOrderAndEarlierArgumentsStay) {
  Run("d.SetPosition(0, 0, 0) d.SetPosition(5, 'x')");
  auto log = NewLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "Script Error: Calling object property failed: (Function (SetPosition) requires float in second argument.)!");
  EXPECT_EQ(Eval("d.X"), "5");
  Run("d.PointTo(1, 2)");
  EXPECT_EQ(NewLog()[0],
            "Script Error: Calling object property failed: (Function (PointTo) requires number in third argument.)!");
}

TEST_F(Movable, MenuMembershipIsASetAndGatesVisibility) {
  auto* dummy = static_cast<TKavoMovableClass*>(form->Context().dummies.At(0));
  auto* defaultMenu = static_cast<TMenuClass*>(form->Context().menus.At(0));
  EXPECT_EQ(std::count(defaultMenu->Members().begin(), defaultMenu->Members().end(), dummy), 1);
  Run("m = TMenu.Create() Game.LOG(m.ID)");
  EXPECT_EQ(NewLog().back(), "2");  // the default menu holds places 0 and 1
  Run("d.InMenu = 2 d.InMenu = 2");
  auto* menu = static_cast<TMenuClass*>(form->Context().menus.At(2));
  EXPECT_EQ(std::count(menu->Members().begin(), menu->Members().end(), dummy), 1);
  EXPECT_EQ(std::count(defaultMenu->Members().begin(), defaultMenu->Members().end(), dummy), 0);
  Run("m.Hide() d.Visible = true");
  EXPECT_EQ(Eval("d.Visible"), "True");   // the stored flag
  EXPECT_FALSE(dummy->Node()->Visible());  // but the menu is hidden
  Run("m.Show()");
  EXPECT_TRUE(dummy->Node()->Visible());
  Run("d.Visible = false m.Show()");
  EXPECT_FALSE(dummy->Node()->Visible());
  Run("d.Destroy()");
  EXPECT_TRUE(menu->Members().empty());  // destroyed objects leave their menu
  Run("e = TDummy.Create() e.MoveToMenu(9)");
  EXPECT_EQ(NewLog().back(), "Script Error: Calling object property failed: (List index out of bounds (9))!");
  EXPECT_EQ(Eval("e.InMenu"), "9");
}

TEST_F(Movable, RawMatrixRoundTripAndSaveRecord) {
  Run("d.ScriptName = 'd' d.SetPosition(1, 2, 3) d.SetRawRotations(2,0,0,0, 0,1,0,0, 0,0,1,0, 4,5,6,1)");
  EXPECT_EQ(Eval("d.ScaleX .. ',' .. d.X .. ',' .. d.Z"), "2,4,6");
  Run("e = TDummy.Create() e.ScriptName = 'e'");
  NewLog();
  std::vector<std::string> lines;
  form->Context().objects.Back()->WriteSave("e", lines);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "if (e == nil) then e = TDummy.Create(); end");
  EXPECT_EQ(lines.back(),
            "e.SetRawRotations(1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1);");
  auto has = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
  EXPECT_TRUE(has("e.ScriptName = \"e\";"));
  EXPECT_TRUE(has("e.Visible = 1;"));
  EXPECT_TRUE(has("e.ActorDistanceTrigger = 10;"));
  // A zero scale keeps its axis: no NaN reaches nodes or saves.
  Run("e.SetScale(0, 1, 1) e.SetRawRotations(0,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1)");
  lines.clear();
  form->Context().objects.Back()->WriteSave("e", lines);
  EXPECT_EQ(lines.back().find("nan"), std::string::npos) << lines.back();
}

TEST_F(Movable, DummyBoxesLeaveTheTargetsWhenDestroyed) {
  Run("a = TDummy.Create() b = TDummy.Create() a.Destroy()");
  auto& targets = *form->scene->mousetargets;
  ASSERT_EQ(targets.ChildCount(), 2u);  // d and b
  auto* b = static_cast<TDummyClass*>(form->Context().dummies.Back());
  EXPECT_EQ(form->Context().nodeOwners.at(targets.Child(1)), b->Handle());
}

}  // namespace
}  // namespace kavo::test
