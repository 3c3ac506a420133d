// Start-up and shutdown on the platform test double: argument lists and
// folder contents to the exact log bytes, the dialog and the exit status.
#include <gtest/gtest.h>

#include "game/kavogame.h"
#include "script/environment.h"
#include "support/game_fixture.h"

namespace kavo::test {
namespace {

using Startup = GameFixture;

const char kBanner[] = "Kavo - Kavoscape 0.4.6 beta";

TEST_F(Startup, MinimalGameLogsExactlyAndClosesInOrder) {
  StartGame("Game = TGame.Create()\nd = TDummy.Create()\nd.ScriptName = 'd'\n");
  EXPECT_TRUE(form->startupFinished);
  form->CloseMainWindow();
  EXPECT_TRUE(form->Terminated());
  EXPECT_EQ(form->ExitStatus(), 0);
  std::string expected = std::string(kBanner) +
                         "\r\n"
                         "Object manager: Created new object TMenu\r\n"
                         "Script Manager: Loading scriptfile config.lua\r\n"
                         "  Object manager: Created new object TGame\r\n"
                         "  Object manager: Created new object TDummy\r\n"
                         "Script Manager: Loaded scriptfile config.lua\r\n"
                         "Kavo Core:\xA0" "Closing Kavo..\r\n"
                         "Kavo Core: Destroying script objects..\r\n"
                         "Object manager: Destroyed object TMenu\r\n"
                         "Object manager: Destroyed object TGame\r\n"
                         "Object manager: Destroyed object [d] - TDummy\r\n"
                         "Kavo Core: Have a nice day!\r\n";
  EXPECT_EQ(ReadFileText(dir.Path() + "log.txt"), expected);
  EXPECT_EQ(platform.caption, "Kavo Core is shutting down...");
  EXPECT_TRUE(platform.dialogs.empty());
}

TEST_F(Startup, WindowIsSizedCentredAndCaptioned) {
  StartGame("Game = TGame.Create() Game.Caption = 'My game' Game.Title = 'T'");
  EXPECT_EQ(platform.windowLog.front(), "create 240x0");
  EXPECT_EQ(platform.width, 800);
  EXPECT_EQ(platform.height, 600);
  EXPECT_TRUE(platform.centered);
  EXPECT_EQ(platform.caption, "My game");
  EXPECT_EQ(platform.title, "T");
  EXPECT_TRUE(platform.cursorHidden);
}

struct FailCase {
  const char* name;
  const char* config;      // data/config.lua, "" for none
  bool walkpawns;
  std::vector<std::string> missing;  // runtime pieces reported missing
  int number;
  const char* dialog;
};

class StartupFailures : public GameFixture, public ::testing::WithParamInterface<FailCase> {};

TEST_P(StartupFailures, EndInTheNumberedDialog) {
  const FailCase& c = GetParam();
  if (*c.config) dir.Write("data/config.lua", c.config);
  if (c.walkpawns) dir.Write("data/GUI/walkpawns.3ds", ReadFileText(std::string(KAVO_TEST_DATA) + "/models/walkpawns.3ds"));
  if (std::string(c.name) == "nodata") {
    // no data folder at all
  } else {
    dir.Write("data/.keep", "");
  }
  TKavoOptions o;
  o.executableDir = dir.Path();
  o.fixedStepMs = 10;
  form = std::make_unique<TKavoForm>(platform, o);
  auto missing = c.missing;
  form->libraryCheck = [missing] { return missing.empty() ? std::string() : missing.front(); };
  form->Startup({dir.Path() + "kavo"});
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, c.number);
  EXPECT_EQ(platform.dialogs[0].text, c.dialog);
  EXPECT_EQ(platform.dialogs[0].caption, "Kavo Core Error");
  EXPECT_TRUE(form->Context().halted);
  EXPECT_EQ(form->Run(), 1);
  // No close sequence after a fatal error.
  auto log = Log();
  EXPECT_TRUE(std::find(log.begin(), log.end(), "Kavo Core: Have a nice day!") == log.end());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupFailures,
    ::testing::Values(
        FailCase{"library", "Game = TGame.Create()", true, {"libvorbisfile.so.3", "libSDL2-2.0.so.0"}, 2,
                 "Unable to find Kavo Engine core file (libvorbisfile.so.3). Try to reinstall Kavo."},
        FailCase{"nodata", "", false, {}, 2, "Unable to find Kavo Engine core file (\\data\\). Try to reinstall Kavo."},
        FailCase{"noconfig", "", false, {}, 2,
                 "Unable to find Kavo Engine core file (\\data\\config.txt). Try to reinstall Kavo."},
        FailCase{"nogame", "x = 1", true, {}, 1, "Unable to find TGame object."},
        FailCase{"nowalkpawns", "Game = TGame.Create()", false, {}, 2,
                 "Unable to find Kavo Engine core file (\\data\\GUI\\walkpawns.3ds). Try to reinstall Kavo."},
        FailCase{"scripterror", "Game = TGame.Create() x = nil .. 1", true, {}, 13,
                 "Script Manager: Error while trying to load config.lua (config.lua:1: attempt to concatenate a nil "
                 "value)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Startup, ProjectFileSetsTheDataRoot) {
  dir.Write("game/data/config.lua", "Game = TGame.Create()");
  dir.Write("game/data/GUI/walkpawns.3ds", ReadFileText(std::string(KAVO_TEST_DATA) + "/models/walkpawns.3ds"));
  dir.Write("launch/a.KAVOGAME", "-- comment\n--\n<ThisFile>..\\game\r\nignored\n");
  dir.Write("second.kavogame", "<KavoCore>\\nothing\n");
  Start({"-logtoconsole", dir.Path() + "launch/a.KAVOGAME", dir.Path() + "second.kavogame"});
  ASSERT_TRUE(platform.dialogs.empty()) << platform.dialogs[0].text;
  auto log = Log();
  EXPECT_EQ(log[1], "Parameter[1]=-logtoconsole");
  EXPECT_EQ(log[2], "Parameter[2]=" + dir.Path() + "launch/a.KAVOGAME");
  EXPECT_EQ(log[3], "Setting data folder as " + dir.Path() + "launch/../game/");
  EXPECT_EQ(log[4], "Object manager: Created new object TMenu");  // the second project file is not logged
}

TEST_F(Startup, KavoCoreNamesTheExecutableFolderWithoutItsSlash) {
  dir.Write("data2/data/config.lua", "Game = TGame.Create()");
  dir.Write("data2/data/GUI/walkpawns.3ds", ReadFileText(std::string(KAVO_TEST_DATA) + "/models/walkpawns.3ds"));
  dir.Write("p.kavogame", "<kavocore>\\data2\n");
  Start({dir.Path() + "p.kavogame"});
  ASSERT_TRUE(platform.dialogs.empty()) << platform.dialogs[0].text;
  EXPECT_EQ(Log()[2], "Setting data folder as " + dir.Path() + "data2/");
}

TEST_F(Startup, EmptyProjectFileIsAListIndexError) {
  dir.Write("p.kavogame", "-- only a comment\n");
  Start({dir.Path() + "p.kavogame"});
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].numberText, "Error 0000");
  EXPECT_EQ(platform.dialogs[0].text, "List index out of bounds (1)");
}

TEST_F(Startup, PluginSwitches) {
  StartGame("Game = TGame.Create()", {"-p", "a", "b", "-noauto", "-p"});
  EXPECT_EQ(form->commandLinePlugins, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(form->pluginAutoLoad);
}

TEST_F(Startup, InputBeforeStartupEndsIsIgnored) {
  TInputEvent key;
  key.kind = TInputEvent::Kind::KeyUp;
  key.key = 0x1B;  // Escape would close a debug game
  platform.Inject(key);
  StartGame("Game = TGame.Create()");
  EXPECT_FALSE(form->Terminated());
  platform.Inject(key);
  form->RunOnce();
  EXPECT_TRUE(form->Terminated());
  EXPECT_TRUE(LogHas("Kavo Core: Have a nice day!"));
}

TEST_F(Startup, QuitRequestClosesOnTheNextHoverTick) {
  StartGame("Game = TGame.Create()");
  Run("Game.Close()");
  EXPECT_FALSE(form->Terminated());
  RunFrames(12);  // 120 ms of fixed steps: the 100 ms hover tick has come
  EXPECT_TRUE(form->Terminated());
  EXPECT_EQ(form->ExitStatus(), 0);
}

TEST(ErrorDialog, NumbersTextsAndLinks) {
  EXPECT_EQ(TKavoForm::ErrorNumberText(2), "Error 0002");
  EXPECT_EQ(TKavoForm::ErrorNumberText(12), "Error 0012");
  EXPECT_EQ(TKavoForm::ErrorNumberText(1234), "Error 1234");
  EXPECT_EQ(TKavoForm::ErrorLink(2).substr(TKavoForm::ErrorLink(2).size() - 33), "/articles/view/errorkb/error0002/");
  struct Case {
    int n;
    const char* text;
  } cases[] = {
      {0, "M"},
      {1, "M"},
      {2, "Unable to find Kavo Engine core file (M). Try to reinstall Kavo."},
      {3, "Unable to activate plugin"},
      {4, "Unable to deactivate plugin"},
      {10, "Unable to find file (M)."},
      {11, "M"},
      {12, "M"},
      {20, "Unable to find actor model from file (M)."},
      {21, "Unable to find actor shadow model from file (M)."},
      {30, "Unable to find room model from file (M)."},
      {31, "Loading walkarea for room failed. Check TRoom.Walkarea, that you are using file that exists. Tried to "
           "load (M)."},
      {32, "M"},
      {40, "M"},
      {77, "M"},
  };
  for (const Case& c : cases) EXPECT_EQ(TKavoForm::ErrorDialogText("M", c.n), c.text) << c.n;
}

TEST_F(Startup, GlobalsRightAfterRegistration) {
  StartGame("Game.LOG = 1");  // Game does not exist yet: this fails
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, 1);  // only no Game object: the config error is not fatal without Game
  lua_State* L = form->Script().State();
  const char* classes[] = {"TRoom", "TActor", "TCamera", "TLight", "TDummy", "THudsprite", "THudtrackbar",
                           "THudtext", "TMesh", "TMenu", "TSprite", "TGame", "TShader", "TPostEffect",
                           "TSkybox", "TSound", "TInventory", "TAnimation", "TConversation", "TMaterials"};
  for (const char* c : classes) {
    lua_getglobal(L, c);
    EXPECT_TRUE(lua_istable(L, -1)) << c;
    lua_pop(L, 1);
  }
  EXPECT_EQ(form->Script().ReservedNames().size(), 27u);
  EXPECT_EQ(kKeyCodeCount, 102u);
  lua_getglobal(L, "VK_F1");
  EXPECT_EQ(lua_tonumber(L, -1), 112);
  lua_pop(L, 1);
}

}  // namespace
}  // namespace kavo::test
