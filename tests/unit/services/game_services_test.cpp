// The Game object's services as scripts use them: key bindings and key
// state, script timers, text files, the mouse cursor, shadow mode, object
// names by index, room picking and the raw speech-line data.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cstdio>

#include "archive/archive.h"
#include "game/gameservices.h"
#include "game/kavogame.h"
#include "platform/files.h"
#include "scene/view.h"
#include "script/environment.h"
#include "scene/scenetree.h"
#include "support/game_fixture.h"

namespace kavo::test {
namespace {

using Lines = std::vector<std::string>;

std::string Failed(const std::string& message) {
  return "Script Error: Calling object property failed: (" + message + ")!";
}

class GameServices : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/scripts/GUI.txt", "");
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
  TGameClass& Game() { return *form->Game(); }
  // Log lines since the last call, without the GUI script's loading lines
  // (the GUI progress timer loads it once).
  Lines GameLog() {
    Lines out;
    for (std::string& l : NewLog())
      if (l.rfind("Script Manager: Load", 0) != 0) out.push_back(std::move(l));
    return out;
  }
  // Runs one line of Lua and returns the log lines it wrote.
  Lines Lua(const std::string& line) {
    NewLog();
    Run(line);
    return NewLog();
  }
};

TEST_F(GameServices, BindReplacesTheKeysBindingAndUnbindOfAnUnboundKeyDoesNothing) {
  Run("Game.Bind(VK_SPACE, 'f') Game.Bind(VK_RETURN, 'r') Game.Bind(VK_SPACE, 'g', 0)");
  auto& b = Game().bindings;
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].key, 13);
  EXPECT_FALSE(b[0].onRelease);
  EXPECT_EQ(b[1].key, 32);  // the replacement goes to the end
  EXPECT_EQ(b[1].function, "g");
  EXPECT_TRUE(b[1].onRelease);  // any third value, even 0, means on release

  EXPECT_TRUE(Lua("Game.Unbind(VK_F1)").empty());
  EXPECT_EQ(b.size(), 2u);
  Run("Game.Unbind(VK_RETURN)");
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].key, 32);

  Run("Game.Bind(Game.Ord('A'), string.rep('x', 300))");
  EXPECT_EQ(b.back().key, 65);
  EXPECT_EQ(b.back().function.size(), 255u);

  EXPECT_EQ(Lua("Game.Bind('a', 'f')"), Lines{Failed("Function (Bind) requires virtual key code in first argument.")});
  EXPECT_EQ(Lua("Game.Bind(1, 2)"), Lines{Failed("Function (Bind) requires string in second argument.")});
  EXPECT_EQ(Lua("Game.Unbind()"), Lines{Failed("Function (Unbind) requires virtual key code in first argument.")});
}

TEST_F(GameServices, KeyStateAndCharacterCodes) {
  platform.heldKeys = {65, 134, 135, 1};
  struct Case {
    const char* expr;
    const char* logged;
  } cases[] = {
      {"Game.IsKeyDown(65)", "1"},        {"Game.IsKeyDown(VK_LBUTTON)", "1"}, {"Game.IsKeyDown(66)", "0"},
      {"Game.IsKeyDown(VK_F23)", "0"},    {"Game.IsKeyDown(VK_F24)", "0"},     {"Game.Ord('A')", "65"},
      {"Game.Ord('abc')", "97"},          {"Game.Ord('\\255')", "255"},        {"Game.Ord('')", "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Lua(std::string("Game.LOG(") + c.expr + ")"), Lines{c.logged}) << c.expr;
  EXPECT_EQ(Lua("Game.IsKeyDown(1.5)"),
            Lines{Failed("Function (IsKeyDown) requires virtual key code in first argument.")});
  EXPECT_EQ(Lua("Game.Ord(65)"), Lines{Failed("Function (Ord) requires string in first argument.")});
  EXPECT_EQ(Lua("Game.ProcessClick(1, 2, 'left')"),
            Lines{Failed("Function (ProcessClick) requires integer in third argument.")});
}

TEST_F(GameServices, TimersFireOnceInTheOrderSetAndRunOnGameTime) {
  Run("function t(n) return function() Game.LOG(n .. ' at ' .. string.format('%.2f', Game.CurrentTime)) end end "
      "a, b, late = t('a'), t('b'), t('late')");
  Run("Game.SetTimer(Game.CurrentTime + 0.455, 'late') Game.SetTimer(0, 'a') Game.SetTimer(0, 'b')");
  RunFrames(1);
  EXPECT_EQ(GameLog(), (Lines{"a at 0.01", "b at 0.01"}));
  RunFrames(10);
  EXPECT_TRUE(GameLog().empty());  // fired timers are gone
  RunFrames(60);
  EXPECT_EQ(GameLog(), Lines{"late at 0.46"});
  EXPECT_TRUE(form->services.timers.empty());

  // At half speed half a second of game time takes a whole real second.
  Run("Game.TimeMultiplier = 0.5 start = Game.CurrentTime Game.SetTimer(start + 0.5, 'half') "
      "function half() Game.LOG(string.format('%.3f', Game.CurrentTime - start)) end");
  const long long before = form->frameSteps;
  while (GameLog().empty() && form->frameSteps - before < 200) RunFrames(1);
  EXPECT_NEAR(static_cast<double>(form->frameSteps - before), 100.0, 1.0);  // 10 ms frames, 5 ms of game time each

  // A timer whose function does not exist is dropped silently.
  Run("Game.SetTimer(0, 'nothing_here')");
  RunFrames(1);
  EXPECT_TRUE(GameLog().empty());
  EXPECT_TRUE(form->services.timers.empty());

  EXPECT_EQ(Lua("Game.SetTimer('x', 'a')"), Lines{Failed("Function (SetTimer) requires number in first argument.")});
  EXPECT_EQ(Lua("Game.SetTimer(1)"), Lines{Failed("Function (SetTimer) requires string in second argument.")});
}

TKavoForm* g_form = nullptr;
int ClearTimersFromLua(lua_State*) {
  g_form->services.timers.clear();  // as loading a saved game does
  return 0;
}

TEST_F(GameServices, TimerWalkSurvivesFunctionsThatChangeTheTimerList) {
  // A timer set by a timer function waits for the next frame; a timer may
  // set itself again (it is off the list while its function runs).
  Run("n = 0 function again() n = n + 1 Game.LOG('again ' .. n) if n < 3 then Game.SetTimer(0, 'again') end end");
  Run("Game.SetTimer(0, 'again')");
  RunFrames(1);
  EXPECT_EQ(GameLog(), Lines{"again 1"});
  RunFrames(5);
  EXPECT_EQ(GameLog(), (Lines{"again 2", "again 3"}));

  // The first function drops every timer and sets new ones, and destroys an
  // object: the second timer of the walk is gone and must not fire; the new
  // timers fire in the next frame, none is lost.
  g_form = form.get();
  lua_register(form->Script().State(), "ClearTimers", ClearTimersFromLua);
  Run("d = TDummy.Create() "
      "function first() Game.LOG('first') d.Destroy() ClearTimers() Game.SetTimer(0, 'n1') Game.SetTimer(0, 'n2') end "
      "function second() Game.LOG('second') end "
      "function n1() Game.LOG('n1') end function n2() Game.LOG('n2') end");
  Run("Game.SetTimer(0, 'first') Game.SetTimer(0, 'second')");
  GameLog();
  RunFrames(1);
  EXPECT_EQ(GameLog(), (Lines{"first", "Object manager: Destroyed object TDummy"}));
  RunFrames(1);
  EXPECT_EQ(GameLog(), (Lines{"n1", "n2"}));
  EXPECT_TRUE(form->services.timers.empty());
}

TEST_F(GameServices, TextFilesLoadReadAndForget) {
  dir.Write("data/texts/Story.TXT", "one\r\ntwo\nthree\rfour");
  dir.Write("data/texts/empty.txt", "");
  dir.Write("data/texts/tail.txt", "only\r\n");
  dir.Write("data/notes.kvo", BuildKavoArchive(TKavoPackMethod::Block, {{"inside.txt", "packed 1\npacked 2"}}));

  struct Case {
    const char* lua;
    Lines logged;
  } cases[] = {
      // The name resolves whatever its letter case; the table keeps it as passed.
      {"Game.LOG(Game.LoadTextFile('texts\\\\story.txt'))",
       {"File Manager: Tried to load file [texts\\story.txt], but the case sensitive filename was not found, so "
        "loaded (texts\\Story.TXT).",
        "0"}},
      {"Game.LOG(Game.LoadTextFile('notes\\\\inside.txt'))", {"1"}},
      {"Game.LOG(Game.ReadLine('texts\\\\story.txt'))", {"four"}},
      {"Game.LOG(Game.ReadLine('TEXTS\\\\STORY.TXT', 0))", {"one"}},
      {"Game.LOG(Game.ReadLine('texts\\\\story.txt', 2))", {"three"}},
      {"Game.LOG(Game.ReadLine('texts\\\\story.txt', 4))", {"0"}},
      {"Game.LOG(Game.ReadLine('notes\\\\inside.txt', 1))", {"packed 2"}},
      {"Game.LOG('[' .. Game.ReadLine('never.txt') .. ']')", {"[]"}},
      {"Game.ReadLine('texts\\\\story.txt', -1)", {Failed("List index out of bounds (-1)")}},
      {"Game.ReadLine('texts\\\\story.txt', 'x')", {Failed("Function (ReadLine) requires integer in second argument.")}},
      {"Game.LOG(Game.LoadTextFile('texts\\\\empty.txt'))", {"2"}},
      {"Game.LOG(Game.ReadLine('texts\\\\empty.txt'))", {"0"}},  // an empty file has no last line
      {"Game.LOG(Game.LoadTextFile('texts\\\\tail.txt'))", {"3"}},
      {"Game.LOG(Game.ReadLine('texts\\\\tail.txt'))", {"only"}},  // a final line break adds no line
      {"Game.LoadTextFile('texts\\\\missing.txt')",
       {Failed("Cannot open file \"texts\\missing.txt\". File not found")}},
      {"Game.LOG(Game.ForgetTextFile('never.txt'))", {"0"}},
      {"Game.LOG(Game.ForgetTextFile('Texts\\\\Story.txt'))", {"1"}},
      {"Game.LOG(Game.LoadTextFile('notes\\\\inside.txt'))", {"0"}},  // moved down one place
      {"Game.LOG(Game.ReadLine('texts\\\\story.txt'))", {""}},
      {"Game.LoadTextFile(3)", {Failed("Function (LoadTextFile) requires string in first argument.")}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lua(c.lua), c.logged) << c.lua;
  EXPECT_EQ(Game().textFileNames, (Lines{"notes\\inside.txt", "texts\\empty.txt", "texts\\tail.txt"}));

  // Reloading under another letter case keeps the place and replaces the lines.
  dir.Write("data/texts/tail.txt", "new 1\nnew 2\n");
  EXPECT_EQ(Lua("Game.LOG(Game.LoadTextFile('TEXTS\\\\TAIL.TXT'))").back(), "2");
  EXPECT_EQ(Game().textFiles[2].Lines(), (Lines{"new 1", "new 2"}));
  EXPECT_EQ(Game().textFileNames[2], "texts\\tail.txt");
}

TEST_F(GameServices, MouseCursorLoadsOnceAndReportsAMissingPicture) {
  const std::vector<uint8_t> rgba(2 * 3 * 4, 200);
  ASSERT_TRUE(scene::SavePNG(dir.Path() + "data/GUI/Cursor.png", rgba, 2, 3, nullptr));
  std::string packed;
  {
    std::string png;
    ASSERT_TRUE(scene::SavePNG(dir.Path() + "tmp.png", std::vector<uint8_t>(4 * 4 * 4, 9), 4, 4, nullptr));
    png = ReadFileText(dir.Path() + "tmp.png");
    dir.Write("data/cursors.kvo", BuildKavoArchive(TKavoPackMethod::Stored, {{"hand.png", png}}));
  }
  scene::Material& m = form->scene->mousecursor->material;

  EXPECT_EQ(Lua("Game.SetMouseCursor('gui\\\\cursor.png')"),
            Lines{"File Manager: Tried to load file [gui\\cursor.png], but the case sensitive filename was not found, "
                  "so loaded (GUI\\Cursor.png)."});
  EXPECT_EQ(m.texture.image.Width(), 2);
  EXPECT_EQ(m.texture.image.Height(), 3);
  EXPECT_TRUE(m.texture.enabled);
  EXPECT_EQ(Files().CurrentDir(), form->DataFolder());

  // The same name again loads nothing: the file is no longer needed.
  std::remove((dir.Path() + "data/GUI/Cursor.png").c_str());
  EXPECT_TRUE(Lua("Game.SetMouseCursor('gui\\\\cursor.png')").empty());
  EXPECT_EQ(m.texture.image.Width(), 2);

  EXPECT_TRUE(Lua("Game.SetMouseCursor('cursors\\\\hand.png')").empty());
  EXPECT_EQ(m.texture.image.Width(), 4);

  EXPECT_EQ(Lua("Game.SetMouseCursor('gui\\\\cursor.png')"),
            Lines{Failed("Mouse needed texture (gui\\cursor.png), which couldn't be found.")});
  EXPECT_EQ(Game().currentCursorFile, "gui\\cursor.png");  // kept although it failed
  EXPECT_EQ(Lua("Game.SetMouseCursor(1)"), Lines{Failed("Function (SetMouseCursor) requires string in first argument.")});
}

TEST_F(GameServices, CursorLookOffsetAndShadowMode) {
  using B = scene::BlendingMode;
  using M = scene::TextureMode;
  using A = scene::TextureAlphaMode;
  scene::Material& m = form->scene->mousecursor->material;
  struct Case {
    int mode;
    B blending;
    M texture;
    A alpha;
  } cases[] = {{1, B::Transparency, M::Modulate, A::FromIntensity},
               {0, B::Opaque, M::Replace, A::Opaque},
               {2, B::Transparency, M::Modulate, A::FromSqrtLuminance},
               {3, B::Transparency, M::Modulate, A::Default},
               {7, B::Transparency, M::Modulate, A::Default}};  // other: alpha unchanged
  for (const Case& c : cases) {
    Run("Game.SetMouseTransparency(" + std::to_string(c.mode) + ")");
    EXPECT_EQ(m.blending, c.blending) << c.mode;
    EXPECT_EQ(m.texture.mode, c.texture) << c.mode;
    EXPECT_EQ(m.AlphaMode(), c.alpha) << c.mode;
  }
  EXPECT_EQ(m.texture.image.Format(), scene::TextureFormat::RGBA);  // from mode 3

  Run("Game.SetMouseOffset(-4, 7)");
  EXPECT_EQ(form->services.cursor.offsetX, -4);
  EXPECT_EQ(form->services.cursor.offsetY, 7);
  EXPECT_EQ(Lua("Game.SetMouseOffset(1, 'y')"),
            Lines{Failed("Function (SetMouseOffset) requires integer in second argument.")});

  EXPECT_EQ(form->services.shadowMode, 2);  // accurate, as the scene tree starts
  for (auto [mode, after] : {std::pair{0, 0}, {3, 0}, {1, 1}, {-1, 1}, {2, 2}}) {
    Run("Game.SetShadowMode(" + std::to_string(mode) + ")");
    EXPECT_EQ(form->services.shadowMode, after) << mode;
  }
  EXPECT_EQ(Lua("Game.SetShadowMode(true and 'x')"),
            Lines{Failed("Function (SetShadowMode) requires integer in first argument.")});
}

TEST_F(GameServices, NameGettersSynchroniseNamesAndCheckTheIndex) {
  Run("first = TDummy.Create() second = TDummy.Create()");
  Run("Game.LOG(Game.GetDummyName(1) .. ' ' .. Game.GetDummyName(0))");
  Run("first.Destroy()");
  auto log = NewLog();
  EXPECT_EQ(log[log.size() - 2], "second first");
  EXPECT_EQ(Lua("Game.LOG(Game.GetDummyName(0))"), Lines{"second"});
  EXPECT_EQ(Lua("Game.GetDummyName(1)"), Lines{Failed("List index out of bounds (1)")});
  EXPECT_EQ(Lua("Game.GetMeshName(0)"), Lines{Failed("List index out of bounds (0)")});
  for (const char* m : {"GetMeshName", "GetDummyName", "GetActorName", "GetHudspriteName", "GetHudtextName"})
    EXPECT_EQ(Lua(std::string("Game.") + m + "('0')"),
              Lines{Failed(std::string("Function (") + m + ") requires integer in first argument.")});
}

TEST_F(GameServices, RoomPickingCastsThroughTheWindowViewPixel) {
  form->scene->roomModel->LoadFromBytes(
      "floor.obj", "v -1000 -1000 0\nv 1000 -1000 0\nv 1000 1000 0\nv -1000 1000 0\nf 1 2 3 4\n");
  // (the room model stands pitched as 3D Studio rooms need: file z is up)
  form->scene->mainCamera->SetPosition(0, 100, 60);
  form->scene->cameratarget->SetPosition(10, 0, 20);
  // The view's centre pixel looks at the camera target; y counts from the top.
  const int cx = form->scene->windowView.Width() / 2, cy = form->scene->windowView.Height() / 2;
  const std::string at = std::to_string(cx) + ", " + std::to_string(cy);
  EXPECT_EQ(Lua("Game.LOG(string.format('%.2f %.2f %.2f', Game.Get3DX(" + at + "), Game.Get3DY(" + at +
                "), Game.Get3DZ(" + at + ")))"),
            Lines{"10.00 0.00 20.00"});
  // A pixel above the centre looks further away (smaller z here).
  Run("Game.LOG(Game.Get3DZ(" + std::to_string(cx) + ", " + std::to_string(cy - 100) + ") < 20)");
  EXPECT_EQ(NewLog(), Lines{"True"});
  // Looking up into the sky misses the room: 0.
  form->scene->cameratarget->SetPosition(0, 500, 60.5f);
  EXPECT_EQ(Lua("Game.LOG(Game.Get3DX(" + at + ") .. ' ' .. Game.Get3DZ(" + at + "))"), Lines{"0 0"});
  EXPECT_EQ(Lua("Game.Get3DY(1, 'y')"), Lines{Failed("Function (Get3DY) requires number in second argument.")});
  // The floor's two triangles meet in a diagonal right under the view's
  // centre: the pointer there still finds the floor.
  form->scene->mainCamera->SetPosition(0, 100, 60);
  form->scene->cameratarget->SetPosition(0, 0, 0);
  EXPECT_EQ(Lua("Game.LOG(string.format('%.2f %.2f %.2f', Game.Get3DX(" + at + "), Game.Get3DY(" + at +
                "), Game.Get3DZ(" + at + ")))"),
            Lines{"0.00 0.00 0.00"});
}

TEST_F(GameServices, RawConversationDataQueuesSpeechLines) {
  Run("Game.AddRawConversationData(1.6, 'a\\nb\\r\\nc\\rd', '250.5', 1200, 1, 'done')");
  Run("Game.AddRawConversationData(0, 42)");
  ASSERT_EQ(form->services.speechQueue.size(), 2u);
  const TSpeechObject& s = form->services.speechQueue[0];
  EXPECT_EQ(s.actorIndex, 2);
  EXPECT_EQ(s.text, "a\r\nb\r\nc\r\nd");
  EXPECT_FLOAT_EQ(s.startTime, 250.5f);
  EXPECT_EQ(s.duration, 1200);
  EXPECT_TRUE(s.blocking);
  EXPECT_EQ(s.endFunction, "done");
  EXPECT_TRUE(s.sound.empty());
  EXPECT_EQ(form->services.speechQueue[1].text, "42");

  form->services.speechInProgress = true;
  Run("Game.SkipToNextConversation()");
  EXPECT_FALSE(form->services.speechSkip);  // no actor shows a speech text
  Run("Game.ClearConversations()");
  EXPECT_TRUE(form->services.speechQueue.empty());
  EXPECT_FALSE(form->services.speechInProgress);
}

}  // namespace
}  // namespace kavo::test
