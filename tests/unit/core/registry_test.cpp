// Typed registries: positions as IDs, the list-index error scripts see, and
// walks that survive the objects they call creating and destroying others.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/context.h"
#include "support/game_fixture.h"
#include "visual/kavomesh.h"
#include "hud/kavomenu.h"
#include "world/kavodummy.h"

namespace kavo::test {
namespace {

class Registry : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(" + expr + ")");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
  TKavoContext& Ctx() { return form->Context(); }
};

TEST_F(Registry, IdsArePositionsAndCloseUpAfterADestroy) {
  Run("a = TMesh.Create() b = TMesh.Create() c = TMesh.Create()");
  EXPECT_EQ(Eval("a.ID .. b.ID .. c.ID"), "012");
  TMeshClass* a = Ctx().meshes.At(0);
  TMeshClass* c = Ctx().meshes.At(2);
  Run("a.Destroy()");  // freed between loop passes: the address is still ours here
  EXPECT_FALSE(Ctx().meshes.Contains(a));
  EXPECT_FALSE(Ctx().objects.Contains(a));
  EXPECT_EQ(Eval("b.ID .. c.ID"), "01");
  EXPECT_EQ(Ctx().meshes.IndexOf(c), 1);
  EXPECT_EQ(Ctx().meshes.Count(), 2u);
  // Writing ID is taken and ignored.
  Run("c.ID = 7");
  EXPECT_EQ(NewLog(), std::vector<std::string>{});
  EXPECT_EQ(Eval("c.ID"), "1");
}

TEST_F(Registry, PositionsOutsideRaiseTheListError) {
  Run("a = TMesh.Create()");
  for (int64_t i : {-1, 1, 1000}) {
    try {
      Ctx().meshes.At(i);
      ADD_FAILURE() << i;
    } catch (const EKavoError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(i) + ")");
    }
    EXPECT_EQ(Ctx().meshes.Find(i), nullptr);
  }
  // Scripts see the same error through the methods that take a mesh ID.
  Run("b = TMesh.Create() b.MoveToMesh(5)");
  auto log = NewLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Script Error: Calling object property failed: (List index out of bounds (5))!");
}

TEST_F(Registry, AWalkSurvivesItsCalleeDestroyingAndCreating) {
  Run("d0 = TDummy.Create() d1 = TDummy.Create() d2 = TDummy.Create() d3 = TDummy.Create()");
  std::vector<TDummyClass*> seen;
  Ctx().dummies.ForEachLive([&](TDummyClass& d) {
    seen.push_back(&d);
    // The first visit destroys the next dummy and makes a new one.
    if (seen.size() == 1) Run("d1.Destroy() d4 = TDummy.Create()");
  });
  ASSERT_EQ(seen.size(), 3u);  // d0, d2, d3: d1 died, d4 waits for the next walk
  EXPECT_EQ(Ctx().dummies.IndexOf(seen[1]), 1);
  EXPECT_EQ(Ctx().dummies.Count(), 4u);
  // Returning false ends a walk.
  int visits = 0;
  Ctx().dummies.ForEachLiveNewestFirst([&](TDummyClass&) { return ++visits < 2; });
  EXPECT_EQ(visits, 2);
}

TEST_F(Registry, TheDefaultMenuStandsTwiceAndLeavesOnce) {
  // Start-up put the default menu at 0 and at 1; the first script menu is 2.
  Run("m = TMenu.Create()");
  EXPECT_EQ(Ctx().menus.Count(), 3u);
  EXPECT_EQ(Ctx().menus[0], Ctx().menus[1]);
  EXPECT_EQ(Eval("m.ID"), "2");
  Ctx().menus.Leave(Ctx().menus[0]);
  EXPECT_EQ(Ctx().menus.Count(), 2u);
  EXPECT_EQ(Eval("m.ID"), "1");
}

}  // namespace
}  // namespace kavo::test
