// Script objects seen from Lua: creation, properties, methods, their error
// lines, checked handles and name synchronisation.
#include <gtest/gtest.h>

#include "game/kavogame.h"
#include "scene/scenetree.h"
#include "script/environment.h"
#include "support/game_fixture.h"

namespace kavo::test {
namespace {

class ObjectModel : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
};

TEST_F(ObjectModel, CreateGivesDistinctTablesWithOwnClosures) {
  Run("a = TDummy.Create() b = TDummy.Create() Game.LOG(tostring(a ~= b) .. ' ' .. tostring(a.Destroy ~= b.Destroy))");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"Object manager: Created new object TDummy",
                                                 "Object manager: Created new object TDummy", "true true"}));
}

TEST_F(ObjectModel, PropertiesIgnoreCaseMethodsDoNot) {
  Run("Game.debug = 'false' Game.LOG(Game.DEBUG)");
  Run("Game.mousex = 5 Game.LOG(Game.MouseX) Game.MouseX = 0 Game.LOG(Game.MouseX)");
  Run("Game.log('x')");
  auto log = NewLog();
  ASSERT_EQ(log.size(), 5u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[0], "False");
  EXPECT_EQ(log[1], "5");
  EXPECT_EQ(log[2], "5");
  // Method keys keep their case: "log" is no method, so it reads as an
  // unknown property (which yields its name) and the call fails in Lua.
  EXPECT_EQ(log[3], "Script Error: Property TGame.log is not defined, but tried to get in Game.log('x')");
  EXPECT_EQ(log[4], "Script Manager: Error while trying execute line [string \"Game.log('x')\"]:1: "
                    "attempt to call field 'log' (a string value)");
}

TEST_F(ObjectModel, UnknownPropertiesAreLoggedAndNotStored) {
  Run("Game.Nothing = 5");
  Run("Game.LOG(Game.Nothing)");
  auto log = NewLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "Script Error: Property TGame.Nothing is not defined, but tried to set in Game.Nothing = 5");
  EXPECT_EQ(log[1], "Script Error: Property TGame.Nothing is not defined, but tried to get in Game.LOG(Game.Nothing)");
  EXPECT_EQ(log[2], "Nothing");  // the read yields the key itself
}

TEST_F(ObjectModel, BooleanWritesAndReads) {
  struct Case {
    const char* value;
    const char* read;
    bool accepted;
  } cases[] = {{"'true'", "True", true}, {"false", "False", true}, {"1", "True", true},
               {"0", "False", true},     {"2", "False", false},    {"'maybe'", "False", false}};
  for (const Case& c : cases) {
    Run("Game.MouseLook = false");
    NewLog();
    Run(std::string("Game.MouseLook = ") + c.value);
    Run("Game.LOG(Game.MouseLook)");
    auto log = NewLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), c.read) << c.value;
    EXPECT_EQ(log.size(), c.accepted ? 1u : 2u) << c.value;
  }
}

TEST_F(ObjectModel, MethodErrorsLogAndReturnTheLastArgument) {
  Run("r = Game.SetFogRGB(1, 2) Game.LOG(r)");
  Run("r = Game.SetFogRGB(1, 'x', 3) Game.LOG(r)");
  Run("r = Game:SetFogRGB(1, 2, 3) Game.LOG(type(r))");
  Run("r = Game.ShowMenu(7)");
  auto log = NewLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0], "Script Error: Calling object property failed: (Function (SetFogRGB) requires number in third argument.)!");
  EXPECT_EQ(log[1], "2");
  EXPECT_EQ(log[2], "Script Error: Calling object property failed: (Function (SetFogRGB) requires number in second argument.)!");
  EXPECT_EQ(log[3], "3");
  EXPECT_EQ(log[4], "Script Error: Calling object property failed: (Function (SetFogRGB) requires number in first argument.)!");
  EXPECT_EQ(log[5], "number");
  EXPECT_EQ(log[6], "Script Error: Calling object property failed: (List index out of bounds (7))!");
}

TEST_F(ObjectModel, ColourArgumentsUseTheLowByteOfTheRoundedValue) {
  Run("Game.SetBackgroundRGB(255, 128, 0)");
  EXPECT_EQ(form->scene->windowSettings.backgroundColor, 0x0080FFu);
  Run("Game.SetBackgroundRGB(256, -1, 2.5)");
  EXPECT_EQ(form->scene->windowSettings.backgroundColor, 0x02FF00u);
}

TEST_F(ObjectModel, DestroyedObjectsAreRefusedThroughTheirHandles) {
  Run("m = TMenu.Create() m.Name = 'x' m.Destroy() m.Show() m.Name = 'y' Game.LOG(tostring(m.Name))");
  auto log = NewLog();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1], "Object manager: Destroyed object TMenu");
  EXPECT_EQ(log[2], "Script Error: Calling object property failed: (Object TMenu was destroyed)!");
  EXPECT_NE(log[3].find("was destroyed, but tried to set Name"), std::string::npos);
  EXPECT_NE(log[4].find("was destroyed, but tried to get Name"), std::string::npos);
  EXPECT_EQ(log[5], "nil");
}

TEST_F(ObjectModel, CyclicTableArgumentFailsAsAConversion) {
  Run("t = {} t.self = t Game.LOG(t) Game.LOG(_G)");
  auto log = NewLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find("Could not convert table"), std::string::npos) << log[0];
}

TEST_F(ObjectModel, NameSynchronisationSetsScriptNamesDirectly) {
  Run("door = TMesh.Create() plain = {} string2 = TDummy.Create() VK_thing = TDummy.Create()");
  form->Script().SynchronizeNames();
  Run("Game.LOG(door.ScriptName .. ',' .. plain.ScriptName .. ',' .. string2.ScriptName .. ',' .. VK_thing.ScriptName)");
  auto log = NewLog();
  EXPECT_EQ(log.back(), "door,plain,string2,");
}

TEST_F(ObjectModel, DebugModeMakesScriptErrorsFatal) {
  Run("Game.Debug = true Game.SetFogRGB()");
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].numberText, "Error 0012");
  EXPECT_EQ(platform.dialogs[0].text,
            "Script Error: Calling object property failed: (Function (SetFogRGB) requires number in first argument.)!");
  EXPECT_TRUE(form->Context().halted);
  EXPECT_TRUE(form->Terminated());
  EXPECT_EQ(form->ExitStatus(), 1);
  // Halted: calls into Lua return at once.
  EXPECT_EQ(form->Script().CallNoArgs("print"), 0);
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

class ViewSize : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
};

TEST_F(ViewSize, GameWidthAndHeightStayWithinWhatCanBeDrawn) {
  // Headless: at most 8192 by 8192; at least one pixel.
  Run("Game.Width = 30000 Game.Height = -5");
  EXPECT_EQ(platform.width, 8192);
  EXPECT_EQ(platform.height, 1);
  Run("Game.Width = 640 Game.Height = 480 Game.LOG(Game.Width .. 'x' .. Game.Height)");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"640x480"}));
  RunFrames(2);
  EXPECT_EQ(form->scene->windowView.Width(), 640);
  EXPECT_EQ(form->scene->fullscreenSettings.width, 640);
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

class Fullscreen : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/scripts/GUI.txt", "");
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
};

TEST_F(Fullscreen, TheViewTakesTheGamesSizeFogAndColoursAndTheStatusTickSwitches) {
  Run("Game.Width = 640 Game.Height = 400 Game.FogStart = 5 Game.FogEnd = 50 Game.SetBackgroundRGB(0, 0, 255) "
      "Game.Fullscreen = true");
  EXPECT_FALSE(platform.fullscreen);  // the status tick switches, not the write
  RunFrames(12);                      // past one 100 ms status tick
  EXPECT_TRUE(platform.fullscreen);
  EXPECT_TRUE(form->scene->fullscreenActive);
  const scene::View& v = form->scene->fullscreenView;
  EXPECT_EQ(v.Width(), 640);
  EXPECT_EQ(v.Height(), 400);
  EXPECT_FLOAT_EQ(v.fog.start, 5.0f);
  EXPECT_FLOAT_EQ(v.fog.end, 50.0f);
  EXPECT_FLOAT_EQ(v.background.b, 1.0f);
  // A new size reaches the view on show at once.
  Run("Game.Width = 320");
  RunFrames(1);
  EXPECT_EQ(form->scene->fullscreenView.Width(), 320);
  // Held-key bindings wait while the full-screen view is on show; F10 (in
  // debug) asks for the window again, which the next status tick applies.
  Run("Game.Debug = true");
  platform.Inject({TInputEvent::Kind::KeyUp, TMouseButton::Left, 0, 0, 0, 0, 0x79});
  RunFrames(12);
  EXPECT_FALSE(platform.fullscreen);
  EXPECT_FALSE(form->scene->fullscreenActive);
  // On at the tick, on again with the new size, off at the tick after F10.
  EXPECT_EQ(platform.windowLog.back(), "fullscreen off");
}

}  // namespace
}  // namespace kavo::test
