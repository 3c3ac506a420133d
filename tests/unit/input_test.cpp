// Input dispatch as a table: event and setup to the handler calls it makes,
// on a room with a prop and a dummy, with the renderer that draws nothing.
#include <gtest/gtest.h>

#include "game/kavogame.h"
#include "shell/input.h"
#include "scene/scenetree.h"
#include "support/game_fixture.h"

namespace kavo::test {
namespace {

const char kFloor[] =
    "o floor\nv -100 -100 0\nv 100 -100 0\nv 100 100 0\nv -100 100 0\nf 1 2 3 4\n";
const char kCrate[] =
    "o crate\nv -10 -10 0\nv 10 -10 0\nv 10 10 0\nv -10 10 0\nv -10 -10 20\nv 10 -10 20\nv 10 10 20\nv -10 10 20\n"
    "f 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\nf 5 6 7 8\n";

// The camera looks straight down at the origin from 300 up: the view centre
// (400, 300) is the origin of the floor, where the crate stands; (100, 300)
// is bare floor to the side.
const char kConfig[] = R"(
Game = TGame.Create()
Game.Debug = false
cam = TCamera.Create()
cam.SetPosition(0, 300, -1)
cam.SetTargetPosition(0, 0, 0)
hall = TRoom.Create()
hall.Name = "hall"
hall.FileName = "floor.obj"
hall.ScriptFile = "hall.lua"
hall.Load()
crate = TMesh.Create()
crate.Load("crate.obj")
crate.OnMouseDown = "crateDown"
crate.OnMouseUp = "crateUp"
crate.OnMouseWheel = "crateWheel"
crate.OnMouseMove = "crateMove"
)";

const char kRoomScript[] = R"(
function onhallMouseDown(b) Game.LOG("room down " .. b) end
function onhallMouseUp(b) Game.LOG("room up " .. b) end
function onhallMouseWheel(d) Game.LOG("room wheel " .. d) end
function onhallMouseMove() Game.LOG("room move") end
function crateDown(b) Game.LOG("crate down " .. b) end
function crateUp(b) Game.LOG("crate up " .. b) end
function crateWheel(d) Game.LOG("crate wheel " .. d) end
function crateMove() Game.LOG("crate move") end
function boxDown(b) Game.LOG("dummy down " .. b) end
function boxMove() Game.LOG("dummy move") end
function bound(d) Game.LOG("binding " .. tostring(d)) end
)";

class Input : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/floor.obj", kFloor);
    dir.Write("data/crate.obj", kCrate);
    dir.Write("data/scripts/hall.lua", kRoomScript);
    StartGame(kConfig);
    ASSERT_TRUE(platform.dialogs.empty()) << platform.dialogs[0].text;
    form->Context().LoadRoomScript();
    NewLog();
  }
  // Log lines the handlers wrote (script loading lines left out).
  std::vector<std::string> Calls() {
    std::vector<std::string> out;
    for (const std::string& l : NewLog())
      if (l.find("Script Manager") == std::string::npos) out.push_back(l);
    return out;
  }
  TKavoInput& In() { return *form->input; }
};

using V = std::vector<std::string>;

TEST_F(Input, ButtonsOnAPropAndOnTheFloor) {
  struct Case {
    const char* name;
    const char* setup;  // Lua run first
    TMouseButton button;
    TShiftState shift;
    int x, y;
    V calls;
    bool walks;
  } cases[] = {
      {"left on the prop", "", TMouseButton::Left, kShiftLeft, 400, 300, {"crate down 1"}, false},
      {"right on the prop", "", TMouseButton::Right, kShiftRight, 400, 300, {"crate down 2"}, false},
      {"middle on the prop", "", TMouseButton::Middle, kShiftMiddle, 400, 300, {"crate down 4"}, false},
      {"left on the floor", "", TMouseButton::Left, kShiftLeft, 300, 300, {"room down 1"}, true},
      {"right on the floor", "", TMouseButton::Right, kShiftRight, 300, 300, {"room down 2"}, false},
      {"ctrl left on the floor", "", TMouseButton::Left, kShiftLeft | kShiftCtrl, 300, 300, {"room down 1"}, false},
      {"hidden prop", "crate.Visible = false", TMouseButton::Left, kShiftLeft, 400, 300, {"room down 1"}, true},
      {"scene disabled", "Game.DisableScene = true", TMouseButton::Left, kShiftLeft, 400, 300, {}, false},
      {"mouse disabled", "Game.MouseEnabled = false", TMouseButton::Left, kShiftLeft, 400, 300, {}, false},
      {"no handler", "crate.OnMouseDown = ''", TMouseButton::Left, kShiftLeft, 400, 300, {"room down 1"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run("crate.Visible = true crate.OnMouseDown = 'crateDown' Game.DisableScene = false Game.MouseEnabled = true");
    form->scene->walkpawns->Hide();
    if (*c.setup) Run(c.setup);
    NewLog();
    In().MouseDown(c.button, c.shift, c.x, c.y);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(form->scene->walkpawns->Visible(), c.walks);
  }
}

TEST_F(Input, ReleasesWheelsAndBindings) {
  TGameClass* g = form->Game();
  g->bindings.push_back({1, false, "bound"});   // left button, on press
  g->bindings.push_back({1, true, "bound"});    // left button, on release
  g->bindings.push_back({128, false, "bound"});  // the wheel
  In().MouseUp(TMouseButton::Left, 0, 400, 300);
  EXPECT_EQ(Calls(), (V{"binding nil", "crate up 1"}));
  In().MouseWheel(0, -240, 400, 300);
  EXPECT_EQ(Calls(), (V{"binding -240", "crate wheel -240"}));
  // With the mouse switched off, bindings still get their events.
  Run("Game.MouseEnabled = false");
  NewLog();
  In().MouseDown(TMouseButton::Left, kShiftLeft, 400, 300);
  EXPECT_EQ(Calls(), (V{"binding nil"}));
}

TEST_F(Input, HoverPickingAndDummyTargets) {
  // The box stands on the floor point under pixel (300, 300).
  Run("box = TDummy.Create() box.SetPosition(Game.Get3DX(300, 300), 0, Game.Get3DZ(300, 300)) "
      "box.SetScale(20, 20, 20) box.OnMouseDown = 'boxDown' box.OnMouseMove = 'boxMove'");
  NewLog();
  // A click on the box's floor reaches the dummy only once the hover
  // picking has moved Mousedummy into the box.
  In().MouseMove(0, 300, 300);
  In().MouseDown(TMouseButton::Left, kShiftLeft, 300, 300);
  V first = Calls();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.back(), "room down 1");
  form->input->HoverPicking();
  EXPECT_EQ(Calls(), (V{"dummy move"}));
  In().MouseDown(TMouseButton::Left, kShiftLeft, 300, 300);
  EXPECT_EQ(Calls(), (V{"dummy down 1"}));
  // Over the prop, the prop gets the move; over bare floor, the room.
  In().MouseMove(0, 400, 300);
  form->input->HoverPicking();
  EXPECT_EQ(Calls(), (V{"crate move"}));
  In().MouseMove(0, 500, 300);
  form->input->HoverPicking();
  EXPECT_EQ(Calls(), (V{"room move"}));
}

TEST_F(Input, KeysInDebugModeAndReleaseBindings) {
  form->Game()->bindings.push_back({'A', true, "bound"});
  form->Game()->bindings.push_back({0x1B, true, "bound"});
  In().KeyUp('A', 0);
  EXPECT_EQ(Calls(), (V{"binding nil"}));
  Run("Game.Debug = true");
  In().KeyUp(0x77, 0);  // F8 shows the dummies' boxes
  EXPECT_TRUE(form->Context().pointer.mouseTargetsVisible);
  In().KeyUp(0x1B, 0);  // Escape closes, even with a binding for it
  EXPECT_TRUE(form->Terminated());
}

TEST_F(Input, ProcessClickIsARightOrLeftPressWithoutShift) {
  Run("Game.ProcessClick(300, 300, 0)");
  EXPECT_EQ(Calls(), (V{"room down 2"}));
  Run("Game.ProcessClick(400, 300, 1)");
  EXPECT_EQ(Calls(), (V{"crate down 1"}));
  Run("Game.ProcessClick(300, 300, 1)");  // never a walk: no shift state
  EXPECT_EQ(Calls(), (V{"room down 1"}));
  EXPECT_FALSE(form->scene->walkpawns->Visible());
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

// Mouse buttons held by scripted input count as held keys: Game.IsKeyDown
// sees them and a binding of VK_LBUTTON fires every frame they are down.
class HeldButtons : public GameFixture {
 protected:
  void SetUp() override {
    options.inputText = "50 down left 100 100\n150 up left 100 100\n200 down right 10 10\n";
    StartGame(
        "Game = TGame.Create()\nGame.Debug = false\nheld = 0\n"
        "function whileHeld() held = held + 1 end\n");
    Run("Game.Bind(VK_LBUTTON, 'whileHeld')");
    NewLog();
  }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(" + expr + ")");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
};

TEST_F(HeldButtons, CountForIsKeyDownAndHeldBindings) {
  EXPECT_EQ(Eval("Game.IsKeyDown(VK_LBUTTON)"), "0");
  RunFrames(10);  // 100 ms of 10 ms frames: the button went down at 50
  EXPECT_EQ(Eval("Game.IsKeyDown(VK_LBUTTON) .. Game.IsKeyDown(VK_RBUTTON)"), "10");
  const int afterDown = std::stoi(Eval("held"));
  EXPECT_GE(afterDown, 4);  // the press itself, then every frame while held
  RunFrames(15);
  EXPECT_EQ(Eval("Game.IsKeyDown(VK_LBUTTON) .. Game.IsKeyDown(VK_RBUTTON)"), "01");
  const int total = std::stoi(Eval("held"));
  EXPECT_GE(total, afterDown + 4);
  RunFrames(5);
  EXPECT_EQ(Eval("held"), std::to_string(total));  // released: no more
}

}  // namespace
}  // namespace kavo::test
