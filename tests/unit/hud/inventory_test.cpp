// TInventory seen from scripts: the grid node, the layout (paging, hidden
// items, when it does not run), the item queries, the mouse tests (order,
// borders, button codes, the wheel, the frame step's hover test), the
// dispatch's inventory layer, what a destroyed inventory does to its items
// and to later inventories, and the save lines with a load that keeps the
// item order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "game/kavogame.h"
#include "hud/kavoinventory.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "shell/input.h"
#include "support/game_fixture.h"
#include "visual/kavomesh.h"

namespace kavo::test {
namespace {

// A cube two units wide about its origin.
const char kCube[] =
    "o cube\nv -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
    "f 1 2 3 4\nf 5 6 7 8\nf 1 2 6 5\nf 3 4 8 7\n";

const char kRoomScript[] = R"(
function itemDown(b) Game.LOG("down " .. b) end
function itemUp(b) Game.LOG("up " .. b) end
function itemWheel(d) Game.LOG("wheel " .. d) end
function itemMove() Game.LOG("move") end
function otherDown(b) Game.LOG("other down " .. b) end
function grab(b) Game.LOG("grab") bag.Destroy() end
)";

class InventoryTest : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/cube.obj", kCube);
    dir.Write("data/scripts/hall.lua", kRoomScript);
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    dir.Write("data/scripts/GUI.txt", "");
    form->Context().roomScriptFile = "hall.lua";
    // Both scripts loaded once, so the log shows the calls alone.
    form->Context().LoadRoomScript();
    LoadGuiScript(form->Context());
    NewLog();
  }
  TKavoContext& Ctx() { return form->Context(); }
  TInventoryClass& Inv(size_t i) { return *Ctx().inventories.At(static_cast<int64_t>(i)); }
  TMeshClass& Mesh(size_t i) { return *Ctx().meshes.At(static_cast<int64_t>(i)); }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(tostring(" + expr + "))");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
  // n meshes with the cube model, m0 .. m(n-1), all put into inventory `inv`.
  void Items(int n, const std::string& inv = "bag") {
    Run("m = {} for i = 0, " + std::to_string(n - 1) +
        " do m[i] = TMesh.Create() m[i].Load('cube.obj') m[i].MoveToInventory(" + inv + ".ID) end");
  }
  // Where each item is: visible, and its cell position in grid units.
  std::string Cells(TInventoryClass& inv) {
    std::string out;
    for (TMeshClass* mesh : inv.items) {
      const scene::Node& n = *mesh->Node();
      char buf[64];
      std::snprintf(buf, sizeof buf, "%s(%g,%g) ", n.Visible() ? "" : "-", n.Position().x + 0.0f,
                    n.Position().y + 0.0f);
      out += buf;
    }
    return out;
  }
};

TEST_F(InventoryTest, ANewInventoryHasItsGridNode) {
  Run("bag = TInventory.Create()");
  TInventoryClass& bag = Inv(0);
  auto* grid = bag.Grid();
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->Parent(), Ctx().scene->inventories);
  EXPECT_EQ(grid->Scale(), glm::vec3(0.1f));
  EXPECT_FLOAT_EQ(grid->CubeSize(), 1.5f);
  EXPECT_FALSE(grid->VisibleAtRunTime());
  EXPECT_TRUE(grid->Visible());
  EXPECT_EQ(grid->Hint(), "TInventory");
  for (const auto& [expr, want] : std::vector<std::pair<std::string, std::string>>{
           {"bag.XCount", "3"}, {"bag.YCount", "3"}, {"bag.XOffset", "2"}, {"bag.YOffset", "2"},
           {"bag.Start", "0"}, {"bag.Count", "0"}, {"bag.ID", "0"}, {"bag.Visible", "True"}})
    EXPECT_EQ(Eval(expr), want) << expr;
  Run("bag.SetPosition(10, 5)");
  EXPECT_EQ(grid->Position(), glm::vec3(10, 5, 2));
  // ID and Count take writes and keep their readings.
  Run("bag.ID = 4 bag.Count = 9");
  EXPECT_EQ(Eval("bag.ID .. ' ' .. bag.Count"), "0 0");
}

TEST_F(InventoryTest, ArgumentErrors) {
  Run("bag = TInventory.Create()");
  for (const auto& [lua, message] : std::vector<std::pair<std::string, std::string>>{
           {"bag.SetPosition('x', 1)", "Function (SetPosition) requires number in first argument."},
           {"bag.SetPosition(1)", "Function (SetPosition) requires number in second argument."},
           {"bag.Has('x')", "Function (Has) requires Mesh.ID in first argument."},
           {"bag.Has(1.5)", "Function (Has) requires Mesh.ID in first argument."},
           {"bag.GetMeshID('1')", "Function (GetMeshID) requires integer in first argument."},
           {"bag.GetMeshID(2.5)", "Function (GetMeshID) requires integer in first argument."},
       }) {
    NewLog();
    Run(lua);
    auto log = NewLog();
    ASSERT_FALSE(log.empty()) << lua;
    EXPECT_NE(log[0].find(message), std::string::npos) << lua << ": " << log[0];
  }
}

// Each row: the script that sets the inventory up (ten items m[0] .. m[9]
// in bag), and where the items are afterwards: "-" marks an invisible one,
// then its position in grid units.
TEST_F(InventoryTest, LayOut) {
  struct Case {
    const char* lua;
    const char* cells;
  } cases[] = {
      // Three by three: the seventh item sits at (0, 4); the tenth is off the page.
      {"", "(0,0) (2,0) (4,0) (0,2) (2,2) (4,2) (0,4) (2,4) (4,4) -(0,6) "},
      // Only the tenth on the page, in the first cell; the others keep the
      // next free cell, which stays the first.
      {"bag.Start = 9", "-(0,0) -(0,0) -(0,0) -(0,0) -(0,0) -(0,0) -(0,0) -(0,0) -(0,0) (0,0) "},
      // A hidden item takes no cell (and keeps its place); the next moves
      // into its cell, and it still uses up a page position.
      {"m[1].Visible = false",
       "(0,0) -(2,0) (2,0) (4,0) (0,2) (2,2) (4,2) (0,4) (2,4) -(4,4) "},
      {"bag.XCount = 4 bag.YCount = 2 bag.XOffset = 1.5 bag.YOffset = -1",
       "(0,0) (1.5,0) (3,0) (4.5,0) (0,-1) (1.5,-1) (3,-1) (4.5,-1) -(0,-2) -(0,-2) "},
      {"bag.Start = 2 bag.XCount = 2 bag.YCount = 1",
       "-(0,0) -(0,0) (0,0) (2,0) -(0,2) -(0,2) -(0,2) -(0,2) -(0,2) -(0,2) "},
      // No columns at all: every item starts a row of its own.
      {"bag.XCount = 0", "-(0,0) -(0,2) -(0,4) -(0,6) -(0,8) -(0,10) -(0,12) -(0,14) -(0,16) -(0,18) "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lua);
    Run("if bag then bag.Destroy() end for i = 0, 9 do if m and m[i] then m[i].Destroy() end end");
    Run("bag = TInventory.Create()");
    Items(10);
    Run(c.lua);
    EXPECT_EQ(Cells(Inv(0)), c.cells);
  }
}

// Layout runs only on its triggers, and never while the game saves or loads
// or while the grid is hidden: the values are stored all the same.
TEST_F(InventoryTest, NoLayoutWhileSavingLoadingOrHidden) {
  Run("bag = TInventory.Create()");
  Items(4);
  const std::string before = Cells(Inv(0));
  for (const auto& [lua, undo] : std::vector<std::pair<std::string, std::string>>{
           {"Game.GameLoading = true", "Game.GameLoading = false"},
           {"bag.Visible = false", "bag.Visible = true"},
       }) {
    SCOPED_TRACE(lua);
    Run(lua);
    Run("bag.XCount = 1 bag.Start = 1");
    EXPECT_EQ(Eval("bag.XCount .. ' ' .. bag.Start"), "1 1");
    EXPECT_EQ(Cells(Inv(0)), before) << "laid out anyway";
    Run("bag.XCount = 3 bag.Start = 0");
    Run(undo);
  }
  Ctx().game->saveInProgress = true;
  Run("bag.XCount = 1");
  EXPECT_EQ(Cells(Inv(0)), before);
  Ctx().game->saveInProgress = false;
  Run("bag.XCount = 1");  // a trigger outside those times lays out
  EXPECT_EQ(Cells(Inv(0)), "(0,0) (0,2) (0,4) -(0,6) ");
}

TEST_F(InventoryTest, QueriesAndEmpty) {
  Run("bag = TInventory.Create() box = TInventory.Create()");
  Run("a = TMesh.Create() b = TMesh.Create() c = TMesh.Create() d = TMesh.Create()");
  Run("a.MoveToInventory(0) b.MoveToInventory(0) c.InInventory = 0 d.MoveToInventory(1)");
  for (const auto& [expr, want] : std::vector<std::pair<std::string, std::string>>{
           {"bag.Count", "3"}, {"bag.Has(c.ID)", "2"}, {"bag.Has(d.ID)", "-1"}, {"box.Has(d.ID)", "0"},
           {"bag.GetMeshID(1)", "1"}, {"bag.GetMeshID(-1)", "-1"}, {"bag.GetMeshID(3)", "-1"},
           {"bag.Has(99)", "-1"}})
    EXPECT_EQ(Eval(expr), want) << expr;
  Run("bag.Empty()");
  EXPECT_EQ(Eval("bag.Count .. ' ' .. a.InInventory"), "3 0");
}

// The mouse tests on rectangles set by hand: which item takes the event and
// with what. Items 0 and 1 overlap in 10..20; item 2 has no handlers.
TEST_F(InventoryTest, ItemHitTest) {
  Run("bag = TInventory.Create()");
  Items(3);
  Run("for i = 0, 1 do m[i].OnMouseDown = 'itemDown' m[i].OnMouseUp = 'itemUp' m[i].OnMouseWheel = 'itemWheel' "
      "m[i].OnMouseMove = 'itemMove' end m[1].OnMouseDown = 'otherDown'");
  TInventoryClass& bag = Inv(0);
  Mesh(0).screenRect = {0, 0, 20, 20};
  Mesh(1).screenRect = {10, 10, 30, 30};
  Mesh(2).screenRect = {0, 0, 100, 100};
  struct Case {
    const char* setup;
    int x, y;
    TMouseButton button;
    bool taken;
    const char* log;
  } cases[] = {
      {"", 15, 15, TMouseButton::Left, true, "other down 1"},  // the later item wins
      {"", 5, 5, TMouseButton::Right, true, "down 2"},
      {"", 0, 0, TMouseButton::Middle, true, "down 4"},  // left and top inside
      {"", 19, 5, TMouseButton::Other, true, "down 0"},
      {"", 20, 5, TMouseButton::Left, false, ""},  // right outside
      {"", 5, 20, TMouseButton::Left, false, ""},  // bottom outside
      {"", 50, 50, TMouseButton::Left, false, ""},  // only the item without handlers
      {"m[1].Visible = false", 15, 15, TMouseButton::Left, true, "down 1"},
      {"m[1].OnMouseDown = ''", 15, 15, TMouseButton::Left, true, "down 1"},
      {"bag.Visible = false", 5, 5, TMouseButton::Left, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setup) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
    Run(c.setup);
    NewLog();
    EXPECT_EQ(bag.MouseDown(c.button, c.x, c.y), c.taken);
    auto log = NewLog();
    EXPECT_EQ(log, c.taken ? std::vector<std::string>{c.log} : std::vector<std::string>{});
    Run("bag.Visible = true m[1].Visible = true m[1].OnMouseDown = 'otherDown'");
    Mesh(1).screenRect = {10, 10, 30, 30};  // a layout may not touch it, but be sure
  }
  // The other events: release with the button code, the wheel with its
  // delta, the move without arguments.
  NewLog();
  EXPECT_TRUE(bag.MouseUp(TMouseButton::Right, 5, 5));
  EXPECT_TRUE(bag.MouseWheel(15, 15, -240));
  EXPECT_TRUE(bag.MouseMove(15, 15));
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"up 2", "wheel -240", "move"}));
}

// Through the engine: the inventory pass measures the items, the dispatch
// asks the inventories before the HUD, and the frame step's move test sets
// the 2D-hover flag.
TEST_F(InventoryTest, DispatchAndHover) {
  Run("panel = THudsprite.Create() panel.SetSize(800, 600) panel.SetPosition(400, 300, 0) "
      "panel.OnMouseDown = 'otherDown'");
  Run("bag = TInventory.Create() bag.SetPosition(0, 0)");
  Items(2);
  Run("m[0].OnMouseDown = 'itemDown' m[1].OnMouseDown = 'itemDown' m[1].OnMouseMove = 'itemMove' "
      "m[1].OnMouseWheel = 'itemWheel'");
  RunFrames(1);
  const scene::ScreenRect r0 = Mesh(0).screenRect, r1 = Mesh(1).screenRect;
  // Cell (0, 0) lies on the view centre, cell (1, 0) to its left.
  EXPECT_TRUE(r0.left <= 400 && 400 < r0.right && r0.top <= 300 && 300 < r0.bottom)
      << r0.left << " " << r0.top << " " << r0.right << " " << r0.bottom;
  EXPECT_LT(r1.right, r0.right);
  EXPECT_EQ(r1.top, r0.top);
  EXPECT_NE(Inv(0).screenRect.right, 0);

  NewLog();
  form->input->MouseDown(TMouseButton::Left, kShiftLeft, 400, 300);
  form->input->MouseDown(TMouseButton::Left, kShiftLeft, 10, 10);  // beside the items: the HUD sprite
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"down 1", "other down 1"}));

  Ctx().pointer.hover2D = false;
  Run("Game.MouseX = 10 Game.MouseY = 10");
  RunFrames(1);
  EXPECT_FALSE(Ctx().pointer.hover2D);
  Run("Game.MouseX = " + std::to_string((r1.left + r1.right) / 2) + " Game.MouseY = 300");
  RunFrames(1);
  EXPECT_TRUE(Ctx().pointer.hover2D);
  EXPECT_EQ(NewLog(), std::vector<std::string>{"move"});
  form->input->MouseWheel(0, 120, 0, 0);  // the wheel at Game.MouseX/Y
  EXPECT_EQ(NewLog(), std::vector<std::string>{"wheel 120"});
  Run("Game.MouseEnabled = false");
  Ctx().pointer.hover2D = false;
  RunFrames(1);
  EXPECT_FALSE(Ctx().pointer.hover2D);
  EXPECT_EQ(NewLog(), std::vector<std::string>{});
}

TEST_F(InventoryTest, AHandlerThatDestroysTheInventory) {
  Run("bag = TInventory.Create() spare = TInventory.Create()");
  Items(2);
  Run("m[1].OnMouseDown = 'grab' m[1].OnMouseMove = 'grab'");
  Mesh(1).screenRect = {0, 0, 50, 50};
  NewLog();
  form->input->MouseDown(TMouseButton::Left, kShiftLeft, 5, 5);
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"grab", "Object manager: Destroyed object TInventory"}));
  EXPECT_EQ(Ctx().inventories.Count(), 1u);
  EXPECT_EQ(Mesh(1).InInventory, -1);
  RunFrames(2);  // the pass and the move test go on with what is left

  // A room script whose first load destroys the item about to be called.
  dir.Write("data/scripts/trap.lua", "Game.LOG('trap') m[0].Destroy()\n");
  Ctx().roomScriptFile = "trap.lua";
  Run("m[0].MoveToInventory(0) m[0].OnMouseDown = 'itemDown'");
  Mesh(0).screenRect = {0, 0, 50, 50};
  NewLog();
  EXPECT_TRUE(Inv(0).MouseDown(TMouseButton::Left, 5, 5));
  auto log = NewLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "  trap"), log.end());  // inside the script's load
  EXPECT_EQ(std::find(log.begin(), log.end(), "down 1"), log.end());
  EXPECT_TRUE(Inv(0).items.empty());
}

// A destroyed inventory sends its items back to the room as InInventory = -1
// does; the meshes of later inventories follow their inventory's new ID.
TEST_F(InventoryTest, DestroyReturnsTheItemsAndShiftsLaterIds) {
  Run("i0 = TInventory.Create() i1 = TInventory.Create() i2 = TInventory.Create()");
  Run("a = TMesh.Create() b = TMesh.Create() c = TMesh.Create() d = TMesh.Create()");
  Run("a.MoveToInventory(1) b.InInventory = 1 c.MoveToInventory(2) d.MoveToInventory(0)");
  Run("i1.Destroy()");
  for (size_t id : {size_t(0), size_t(1)}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(Mesh(id).InInventory, -1);
    EXPECT_TRUE(Mesh(id).inRoom);
    EXPECT_EQ(Mesh(id).Node()->Parent(), Ctx().scene->sceneNode);
  }
  EXPECT_EQ(Eval("c.InInventory .. ' ' .. d.InInventory .. ' ' .. i2.ID"), "1 0 1");
  EXPECT_EQ(Mesh(2).Node()->Parent(), Inv(1).ItemsNode());
  // The meshes name the right inventories: moves still work by ID.
  Run("c.InInventory = -1 a.MoveToInventory(1)");
  EXPECT_EQ(Inv(1).items, std::vector<TMeshClass*>{&Mesh(0)});
  EXPECT_TRUE(Inv(0).items == std::vector<TMeshClass*>{&Mesh(3)});
  RunFrames(1);
}

TEST_F(InventoryTest, SaveLines) {
  Run("bag = TInventory.Create() bag.SetPosition(3, 4) bag.XCount = 5");
  Ctx().host.SaveBuffer().clear();
  Run("bag.Save('bag')");
  const std::vector<std::string>& lines = Ctx().host.SaveBuffer();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "if (bag == nil) then bag = TInventory.Create(); end");
  EXPECT_EQ(lines.back(), "bag.Empty();");
  EXPECT_EQ(lines[lines.size() - 2].rfind("bag.SetRawRotations(", 0), 0u);
  for (const char* line : {"bag.XCount = 5;", "bag.X = 3;", "bag.Z = 2;",
                           "bag.Visible = 1;", "bag.ID = 0;"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  Ctx().host.SaveBuffer().clear();
}

// A save and its load, in the same run (after the items were reordered)
// and in a fresh one: the inventory's settings and its item order come back.
class InventorySaveTest : public InventoryTest {
 protected:
  // The objects' save lines, creation lines first, as a saved game has them.
  std::vector<std::string> Save(const std::string& globals) {
    auto& buffer = Ctx().host.SaveBuffer();
    buffer.clear();
    Run("for _, name in ipairs({" + globals + "}) do _G[name].Save(name) end");
    std::vector<std::string> lines, rest;
    for (const std::string& l : buffer) (l.find(".Create();") != std::string::npos ? lines : rest).push_back(l);
    lines.insert(lines.end(), rest.begin(), rest.end());
    buffer.clear();
    return lines;
  }
  void Load(const std::vector<std::string>& lines) {
    Run("Game.GameLoading = true");
    for (const std::string& l : lines) Run(l);
    Run("Game.GameLoading = false");
    // As Game.LoadGame does once the save has run.
    Ctx().inventories.ForEachLive([](TInventoryClass& inv) {
      inv.LayOut();
      return true;
    });
  }
  std::string Order() { return Eval("bag.GetMeshID(0)..bag.GetMeshID(1)..bag.GetMeshID(2)"); }
};

TEST_F(InventorySaveTest, ALoadKeepsTheItemOrder) {
  Run("bag = TInventory.Create() bag.XCount = 2 bag.Start = 1 bag.SetPosition(1, 2)");
  Run("a = TMesh.Create() b = TMesh.Create() c = TMesh.Create()");
  Run("c.MoveToInventory(0) a.MoveToInventory(0) b.MoveToInventory(0)");
  EXPECT_EQ(Order(), "201");
  // Saved in another order than the items have.
  const std::vector<std::string> lines = Save("'a', 'b', 'bag', 'c'");
  const std::string cells = Cells(Inv(0));

  // Same run: the order changed since, and the load puts it back.
  Run("a.InInventory = -1 a.InInventory = 0 c.InInventory = -1 c.InInventory = 0");
  EXPECT_EQ(Order(), "102");
  Load(lines);
  EXPECT_EQ(Order(), "201");
  EXPECT_EQ(Cells(Inv(0)), cells);

  // A fresh run.
  form.reset();
  Start();
  Load(lines);
  EXPECT_EQ(Eval("bag.XCount .. ' ' .. bag.Start .. ' ' .. bag.Count .. ' ' .. bag.X .. ' ' .. bag.Z"),
            "2 1 3 1 2");
  EXPECT_EQ(Eval("a.InInventory .. ' ' .. b.InInventory .. ' ' .. c.InInventory"), "0 0 0");
  // The meshes were created a, b, c: the items' IDs in order are c, a, b.
  EXPECT_EQ(Order(), "201");
  EXPECT_EQ(Cells(Inv(0)), cells);
}

}  // namespace
}  // namespace kavo::test
