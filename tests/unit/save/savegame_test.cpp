// Saved games: strings and numbers read back exactly, every global engine
// object comes back with the same lines in a fresh engine, the file's layout
// (creation lines in creation order, ID lines last, shared objects once),
// failures that leave the previous save and the game as they were, nested
// saves, timers a load makes stale, queued speech, and the thumbnail.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "game/gameservices.h"
#include "game/kavogame.h"
#include "game/savegame.h"
#include "platform/files.h"
#include "scene/view.h"
#include "script/context.h"
#include "support/game_fixture.h"
#include "support/pictures.h"
#include "support/wav.h"
#include "world/kavoactor.h"

namespace kavo::test {
namespace {

class SaveGameTest : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/scripts/GUI.lua",
              "function onGeneralBeforeSave() Game.LOG('before save') end\n"
              "function onGeneralAfterSave() Game.LOG('after save') end\n"
              "function onGeneralBeforeLoad() Game.LOG('before load') end\n"
              "function onGeneralAfterLoad() Game.LOG('after load') end\n");
    dir.Write("data/scripts/hall.lua", "function onhallLoad() Game.LOG('hall loaded') end\n");
    dir.Write("data/rooms/hall.obj", "v 0 0 0\nv 10 0 0\nv 0 0 10\nf 1 2 3\n");
    dir.Write("data/GUI/panel.png", EncodePng(2, 1, {0, 0, 0, 255, 255, 255, 255, 255}));
    dir.Write("data/sounds/door.wav", MakeWav(22050, 1, 2205));
    StartGame(kConfig);
  }
  static constexpr const char* kConfig =
      "Game = TGame.Create()\nGame.Debug = false\nGame.GUIScript = 'GUI.lua'\n"
      "hall = TRoom.Create() hall.Name = 'hall' hall.FileName = 'rooms\\\\hall.obj' hall.ScriptFile = 'hall.lua'\n";
  // A fresh engine on the same game folder.
  void Restart() {
    form.reset();
    Start();
  }
  std::string Eval(const std::string& expr) {
    Run("Game.LOG('=' .. tostring(" + expr + "))");
    auto log = Log();
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->rfind("=", 0) == 0) return it->substr(1);
    return "<nothing>";
  }
  std::string SaveFile(const std::string& name) { return ReadFileText(dir.Path() + "data/" + name); }
  std::vector<std::string> SaveLines(const std::string& name) {
    std::vector<std::string> lines;
    for (const std::string& l : LogLines(dir.Path() + "data/" + name)) lines.push_back(l);
    return lines;
  }
  // Every global engine object's own save lines, by global name.
  std::map<std::string, std::vector<std::string>> ObjectLines(const std::vector<std::string>& names) {
    std::map<std::string, std::vector<std::string>> all;
    for (const std::string& n : names) {
      form->services.saveBuffer.clear();
      Run(n + ".Save('" + n + "')");
      all[n] = form->services.saveBuffer;
    }
    form->services.saveBuffer.clear();
    return all;
  }
};

TEST_F(SaveGameTest, StringsAndNumbersReadBackExactly) {
  // Every byte value in one string, and the strings and numbers that break
  // naive writers.
  Run("local b = {} for i = 0, 255 do b[#b + 1] = string.char(i) end allbytes = table.concat(b)");
  Run("quotes = [[it's \"quoted\" \\ ]] .. ']]' crlf = 'a\\r\\nb\\rc\\nd' nul = 'x\\0y' path = 'GUI\\\\speechfont.gsf'");
  Run("n1 = 2^24 + 1 n2 = 2147483647 n3 = -2147483648 n4 = 2^53 n5 = 5.25 n6 = 0.1 n7 = 1/3 n8 = 0/0 "
      "n9 = math.huge n10 = -math.huge n11 = 2^60 n12 = -0.000001 flag = true off = false");
  Run("nested = {1, 'two', {three = 3, [4] = false}, ['with space'] = 'ok'}");
  Run("Game.SaveGame('values.txt')");
  const std::string check =
      "local b = {} for i = 0, 255 do b[#b + 1] = string.char(i) end "
      "ok = allbytes == table.concat(b) and quotes == [[it's \"quoted\" \\ ]] .. ']]' and crlf == 'a\\r\\nb\\rc\\nd' "
      "and nul == 'x\\0y' and path == 'GUI\\\\speechfont.gsf' and n1 == 2^24 + 1 and n2 == 2147483647 "
      "and n3 == -2147483648 and n4 == 2^53 and n5 == 5.25 and n6 == 0.1 and n7 == 1/3 and n8 ~= n8 "
      "and n9 == math.huge and n10 == -math.huge and n11 == 2^60 and n12 == -0.000001 and flag == true "
      "and off == false and nested[1] == 1 and nested[2] == 'two' and nested[3].three == 3 and nested[3][4] == false "
      "and nested['with space'] == 'ok'";
  Restart();
  Run("Game.LoadGame('values.txt')");
  Run(check);
  EXPECT_EQ(Eval("ok"), "true");
}

TEST_F(SaveGameTest, EveryObjectComesBackWithTheSameLinesInAFreshEngine) {
  const std::string make =
      "hall.Load() "
      "d = TDummy.Create() d.SetPosition(1.5, 2, -3) d.SetScale(2, 2, 2) d.TurnAngle = 33 d.OnMouseDown = 'x\"y' "
      "m = TMesh.Create() m.Load('rooms\\\\hall.obj') m.SetPosition(0.1, 0.2, 0.3) m.Hint = 'a \"box\"' "
      "a = TActor.Create() a.SetPosition(5, 0, 5) a.WalkingSpeed = 123.25 a.OnActorTalk = 'talk' "
      "s = THudsprite.Create() s.Texture = 'GUI\\\\panel.png' s.TransparencyMode = 1 s.SetSize(64, 32) "
      "t = THudtext.Create() t.Text = 'caf\\195\\169' t.HAlign = 'left' t.Alpha = 0.3 "
      "snd = TSound.Create() Game.MouseX = 17";
  const std::vector<std::string> names = {"hall", "d", "m", "a", "s", "t", "snd"};
  Run(make);
  const auto before = ObjectLines(names);
  Run("Game.SaveGame('objects.txt')");
  Restart();
  Run("Game.LoadGame('objects.txt')");
  const auto after = ObjectLines(names);
  for (const std::string& n : names) EXPECT_EQ(after.at(n), before.at(n)) << n;
  EXPECT_TRUE(LogHas("  hall loaded"));  // the save's room line loads the room, inside the save's script
  EXPECT_EQ(Eval("Game.GameLoading"), "False");
  // The same run: change everything, load, and the lines are back.
  Run("d.SetPosition(9, 9, 9) t.Text = 'other' a.WalkingSpeed = 1");
  Run("Game.LoadGame('objects.txt')");
  EXPECT_EQ(ObjectLines(names), before);
}

TEST_F(SaveGameTest, TheFileIsLaidOutByWhatEachLineIs) {
  Run("hall.Load() first = TDummy.Create() second = TDummy.Create() alias = first "
      "note = 'a string holding x.Create(); and y.ID = 3' f = function() end");
  Run("Game.SaveGame()");
  const std::vector<std::string> lines = SaveLines("autosave.txt");
  ASSERT_GT(lines.size(), 8u);
  EXPECT_EQ(lines[0].rfind("--Save game autosave.txt, Date ", 0), 0u);
  EXPECT_EQ(lines[1], "Game.GameLoading = 1;");
  EXPECT_EQ(lines[2], "-- Loading current room");
  EXPECT_EQ(lines[3], "hall.Load(1);");
  EXPECT_EQ(lines[4], "-- Creating objects in case they aren't created");
  auto at = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  const long setting = at("-- Setting everything as they were");
  // Creation lines come first, in the order the objects were made: Game, hall, first, second.
  std::vector<std::string> creations(lines.begin() + 5, lines.begin() + setting);
  ASSERT_EQ(creations.size(), 4u);
  EXPECT_EQ(creations[0], "if (Game == nil) then Game = TGame.Create(); end");
  EXPECT_EQ(creations[2], "if (first == nil) then first = TDummy.Create(); end");
  EXPECT_EQ(creations[3], "if (second == nil) then second = TDummy.Create(); end");
  // A shared object is saved once; a string that looks like a line stays where it is.
  EXPECT_LT(at("alias = first;"), static_cast<long>(lines.size()));
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l == "-- Saving alias"; }), 0);
  EXPECT_GT(at("note = \"a string holding x.Create(); and y.ID = 3\";"), setting);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("f = ", 0) == 0; }), 0);
  // ID lines close the file; the Game object sets neither its loading flag nor GLSL support.
  size_t firstId = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find(".ID = ") != std::string::npos && lines[i].rfind("note", 0) != 0) firstId = std::min(firstId, i);
  for (size_t i = firstId; i < lines.size(); ++i) EXPECT_NE(lines[i].find(".ID = "), std::string::npos) << lines[i];
  EXPECT_EQ(at("Game.GameLoading = 0;"), static_cast<long>(lines.size()));
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("Game.GLSLSupport", 0) == 0; }), 0);
  // Every line ends in CR LF.
  const std::string text = SaveFile("autosave.txt");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(SaveGameTest, DestroyedObjectsAreMadeAgainByTheLoad) {
  Run("hall.Load() keep = TDummy.Create() keep.SetPosition(4, 5, 6) Game.SaveGame('one.txt') keep.Destroy()");
  Run("Game.LoadGame('one.txt')");
  EXPECT_EQ(Eval("keep.X"), "4");
  EXPECT_EQ(Eval("keep.Y"), "5");
}

TEST_F(SaveGameTest, FailuresLeaveThePreviousSaveAndTheGameAsTheyWere) {
  Run("hall.Load() v = 1 Game.SaveGame('slot.txt')");
  const std::string previous = SaveFile("slot.txt");
  ASSERT_FALSE(previous.empty());
  Run("v = 2");
  // A save that cannot be written: into a missing folder, or failing half-way.
  Run("Game.SaveGame('nofolder/slot.txt')");
  EXPECT_EQ(Eval("Game.GameLoading"), "False");
  EXPECT_FALSE(form->Game()->saveInProgress);
  Files().atomicWriteFaultAfter = 10;
  Run("Game.SaveGame('slot.txt')");
  Files().atomicWriteFaultAfter = -1;
  EXPECT_EQ(SaveFile("slot.txt"), previous);
  EXPECT_FALSE(form->Game()->saveInProgress);
  bool logged = false;
  for (const std::string& l : Log()) logged |= l.rfind("Save game: slot.txt was not written, the previous save stays", 0) == 0;
  EXPECT_TRUE(logged);

  // Loads that cannot run change nothing and raise no events.
  dir.Write("data/broken.txt", "v = 3\nthis is not lua\n");
  dir.Write("data/raises.txt", "v = 4\nerror('stop here')\nv = 5\n");
  struct Case {
    const char* file;
    const char* v;        // v afterwards
    bool events;          // the load events ran
  } cases[] = {{"missing.txt", "2", false}, {"broken.txt", "2", false}, {"raises.txt", "4", true}};
  for (const Case& c : cases) {
    NewLog();
    Run(std::string("Game.LoadGame('") + c.file + "')");
    auto log = NewLog();
    const bool events = std::find(log.begin(), log.end(), "after load") != log.end();
    EXPECT_EQ(events, c.events) << c.file;
    EXPECT_EQ(Eval("v"), c.v) << c.file;
    EXPECT_EQ(Eval("Game.GameLoading"), "False") << c.file;
    EXPECT_TRUE(form->cadencer->Enabled()) << c.file;
    Run("v = 2");
  }
  EXPECT_TRUE(LogHas("Script Manager: Unable to find scriptfile missing.txt"));
}

TEST_F(SaveGameTest, SavesInsideSavesAndLoadsInsideLoads) {
  // A save from a save event works; one from a save's own gathering is refused.
  dir.Write("data/scripts/GUI.lua",
            "function onGeneralBeforeSave() if not inner then inner = true Game.SaveGame('inner.txt') end end\n"
            "function onGeneralAfterLoad() Game.LoadGame('outer.txt') Game.LOG('after load') end\n");
  Restart();
  Run("hall.Load() sneaky = {} function sneaky.Save() Game.SaveGame('sneaky.txt') end");
  Run("Game.SaveGame('outer.txt')");
  EXPECT_FALSE(SaveFile("outer.txt").empty());
  EXPECT_FALSE(SaveFile("inner.txt").empty());
  EXPECT_TRUE(SaveFile("sneaky.txt").empty());
  EXPECT_TRUE(LogHas("Save game: a save is being written already; sneaky.txt is not saved"));
  NewLog();
  Run("Game.LoadGame('outer.txt')");
  auto log = NewLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "after load"), 1);
}

TEST_F(SaveGameTest, TimersBeforeTheRestoredClockAreDropped) {
  Run("hall.Load() Game.CurrentTime = 1000 Game.SaveGame('late.txt') Game.CurrentTime = 0");
  Run("function early() Game.LOG('early fired') end function later() Game.LOG('later fired') end");
  Run("Game.SetTimer(100, 'early') Game.SetTimer(2000, 'later')");
  Run("Game.LoadGame('late.txt')");
  ASSERT_EQ(form->services.timers.size(), 1u);
  EXPECT_EQ(form->services.timers[0].function, "later");
}

TEST_F(SaveGameTest, QueuedSpeechComesBack) {
  Run("hall.Load() x = TActor.Create() y = TActor.Create() y.Say('Hi\\nthere', 5000, 'done') x.SayBackground('Oh', 300)");
  Run("Game.SaveGame('speech.txt')");
  Restart();
  Run("Game.LoadGame('speech.txt')");
  const auto& q = form->services.speechQueue;
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0].text, "Hi\r\nthere");
  EXPECT_EQ(q[0].endFunction, "done");
  EXPECT_EQ(q[0].duration, 5000);
  EXPECT_TRUE(q[0].blocking);
  EXPECT_EQ(q[0].actorIndex, 1);
  EXPECT_EQ(q[0].speaker, form->Context().actors.At(1)->Handle());
  EXPECT_FALSE(q[1].blocking);
}

TEST_F(SaveGameTest, InventoryItemsOffThePageComeBackInTheirOrder) {
  // Four items in a bag of two cells: the last two are off the page.
  Run("hall.Load() bag = TInventory.Create() bag.XCount = 2 bag.YCount = 1 items = {} "
      "for i = 1, 4 do local m = TMesh.Create() m.Load('rooms\\\\hall.obj') m.InInventory = 0 _G['item' .. i] = m end");
  const std::string before = Eval("bag.GetMeshID(0) .. bag.GetMeshID(1) .. bag.GetMeshID(2) .. bag.GetMeshID(3)");
  Run("Game.SaveGame('bag.txt')");
  Restart();
  Run("Game.LoadGame('bag.txt')");
  EXPECT_EQ(Eval("bag.GetMeshID(0) .. bag.GetMeshID(1) .. bag.GetMeshID(2) .. bag.GetMeshID(3)"), before);
  // The next page shows the two that were off it.
  Run("bag.Start = 2");
  EXPECT_EQ(Eval("item3.Visible"), "True");
  EXPECT_EQ(Eval("item4.Visible"), "True");
  EXPECT_EQ(Eval("item1.Visible"), "False");
}

TEST(Thumbnail, KeepsTheSnapshotsProportionsBetweenBlackBands) {
  // An 800 x 600 red snapshot: 256 x 192 of red between bands of 32.
  std::vector<uint8_t> red(800 * 600 * 4);
  for (size_t i = 0; i < red.size(); i += 4) red[i] = 255, red[i + 3] = 255;
  const std::vector<uint8_t> t = scene::Thumbnail(red, 800, 600, 256);
  auto px = [&](int x, int y) { return t[(static_cast<size_t>(y) * 256 + x) * 4]; };
  for (const auto& [x, y, want] : std::vector<std::tuple<int, int, int>>{
           {0, 0, 0}, {128, 31, 0}, {128, 32, 255}, {255, 223, 255}, {0, 224, 0}, {128, 255, 0}})
    EXPECT_EQ(px(x, y), want) << x << ", " << y;
  // Nothing to show, or no height: all black.
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{0, 0}, {800, 0}, {0, 600}}) {
    const std::vector<uint8_t> black = scene::Thumbnail({}, w, h, 256);
    EXPECT_TRUE(std::all_of(black.begin(), black.end(), [i = 0](uint8_t v) mutable { return (i++ % 4 == 3) ? v == 255 : v == 0; }));
  }
  std::string jpeg;
  ASSERT_TRUE(scene::EncodeJPEG(t, 256, 256, 10, jpeg));
  EXPECT_EQ(jpeg.substr(0, 2), "\xff\xd8");
}

}  // namespace
}  // namespace kavo::test
