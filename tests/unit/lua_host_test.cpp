// The script host: loading files once or forced, failures and their lines,
// nested indentation, calling functions by name, the Lua libraries.
#include <gtest/gtest.h>

#include "script/environment.h"
#include "support/game_fixture.h"
#include "world/kavodummy.h"

namespace kavo::test {
namespace {

class LuaHost : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/scripts/room1.txt", "Game.LOG('room1 runs')\n");
    dir.Write("data/scripts/outer.txt", "Game.LOG('outer')\nGame.LoadScript('scripts/inner.txt')\n");
    dir.Write("data/scripts/inner.txt", "Game.LOG('inner')\n");
    dir.Write("data/scripts/bad.txt", "this is not lua\n");
    dir.Write("data/scripts/funcs.txt",
              "function ok(a, b, c) Game.LOG(type(a) .. ':' .. tostring(a) .. ',' .. tostring(b) .. ',' .. "
              "tostring(c)) end\nfunction fails() error('x') end\nnotfunc = 5\n");
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
  TKavo_ScriptEnvoirement& S() { return form->Script(); }
};

TEST_F(LuaHost, LoadOnceIgnoresCaseAndSeparators) {
  S().LoadFile("scripts/room1.txt", false);
  S().LoadFile("SCRIPTS\\ROOM1.TXT", false);
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"Script Manager: Loading scriptfile scripts\\room1.txt",
                                                 "  room1 runs", "Script Manager: Loaded scriptfile scripts\\room1.txt"}));
  S().LoadFile("scripts/room1.txt", true);
  EXPECT_EQ(NewLog().size(), 3u);  // a forced load runs it again
}

TEST_F(LuaHost, MissingAndFailingFilesAreLoggedAndNotRetried) {
  S().LoadFile("scripts/none.txt", false);
  S().LoadFile("scripts/none.txt", false);
  S().LoadFile("scripts/bad.txt", false);
  S().LoadFile("scripts/bad.txt", false);
  auto log = NewLog();
  ASSERT_EQ(log.size(), 4u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[0], "Script Manager: Unable to find scriptfile scripts\\none.txt");
  EXPECT_EQ(log[1], "Script Manager: Loading scriptfile scripts\\bad.txt");
  EXPECT_EQ(log[2].rfind("  Script Manager: Error while trying to load scripts\\bad.txt (", 0), 0u) << log[2];
  EXPECT_EQ(log[3], "Script Manager: Loaded scriptfile scripts\\bad.txt");
}

TEST_F(LuaHost, NamesWithoutAFilePartLoadNothing) {
  const float before = form->Script().Host().LastLoadMs();
  S().LoadFile("scripts\\", false);
  S().LoadFile("scripts/", false);  // "/" becomes "\" before the test
  S().LoadFile("", false);
  EXPECT_TRUE(NewLog().empty());
  EXPECT_EQ(form->Script().Host().LastLoadMs(), before);
  EXPECT_TRUE(form->Script().Host().LoadedScripts().size() == 1u);  // only config.lua
}

TEST_F(LuaHost, NestedLoadsIndentTheirLines) {
  S().LoadFile("scripts/outer.txt", false);
  EXPECT_EQ(NewLog(), (std::vector<std::string>{
                          "Script Manager: Loading scriptfile scripts\\outer.txt", "  outer",
                          "  Script Manager: Loading scriptfile scripts\\inner.txt", "    inner",
                          "  Script Manager: Loaded scriptfile scripts\\inner.txt",
                          "Script Manager: Loaded scriptfile scripts\\outer.txt"}));
}

TEST_F(LuaHost, CallingFunctionsByName) {
  S().LoadFile("scripts/funcs.txt", false);
  NewLog();
  EXPECT_EQ(S().CallWithNumberAndTexts("ok", "b", "c", 1.5f), 0);
  EXPECT_EQ(S().CallWithInteger("ok", 7), 0);
  EXPECT_EQ(S().CallNoArgs("undefined"), -1);
  EXPECT_EQ(S().CallNoArgs("notfunc"), -1);
  EXPECT_EQ(S().CallNoArgs("fails"), 1);
  auto log = NewLog();
  ASSERT_EQ(log.size(), 3u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[0], "number:1.5,b,c");
  EXPECT_EQ(log[1], "number:7,nil,nil");
  EXPECT_EQ(log[2], "Warning: While calling function fails (scripts\\funcs.txt:2: x)");
  EXPECT_EQ(lua_gettop(S().State()), 0);
}

TEST_F(LuaHost, AnEngineExceptionInACallReportsFailure) {
  S().RunLine("function f(...) end");
  TKavo_ScriptFunctionData d;
  d.Args.assign(20000, TVariant(int64_t(1)));  // more than the Lua stack can take
  EXPECT_EQ(S().CallWithData("f", d), 1);
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].numberText, "Error 0000");
  EXPECT_EQ(platform.dialogs[0].text, "Core error: Calling function (f) failed! Unknown error. Lua stack overflow");
  EXPECT_EQ(lua_gettop(S().State()), 0);
}

TEST_F(LuaHost, OnlyTheFourLibrariesAndTheClassTables) {
  S().RunLine(
      "Game.LOG(tostring(io) .. tostring(os) .. tostring(package) .. tostring(debug) .. ' ' .. type(string.format) "
      ".. type(math.floor) .. type(table.insert) .. type(coroutine.create))");
  S().RunLine("local n = 0 for k, v in pairs(TRoom) do n = n + 1 end Game.LOG(n)");
  auto log = NewLog();
  EXPECT_EQ(log[0], "nilnilnilnil functionfunctionfunctionfunction");
  EXPECT_EQ(log[1], "1");
}

TEST_F(LuaHost, LoadingAConfigScriptHoldsTheClockAndRestoresIt) {
  dir.Write("data/config.txt", "Game.LOG(tostring(clockOn()))\n");
  dir.Write("data/sub/config.txt", "Game.LOG(tostring(clockOn()))\n");
  static TKavoForm* current = nullptr;
  current = form.get();
  form->Script().Host().RegisterFunction(
      [](lua_State* L) -> int {
        lua_pushboolean(L, current->cadencer->Enabled());
        return 1;
      },
      "clockOn");
  form->cadencer->SetEnabled(false);
  S().LoadFile("config.txt", true);
  EXPECT_FALSE(form->cadencer->Enabled());  // left as it was, not switched on
  form->cadencer->SetEnabled(true);
  S().LoadFile("config.txt", true);
  S().LoadFile("sub/config.txt", true);
  auto log = NewLog();
  EXPECT_EQ(log[1], "  false");
  EXPECT_EQ(log[4], "  false");
  EXPECT_EQ(log[7], "  true");
  EXPECT_TRUE(form->cadencer->Enabled());
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

// A game that guards its globals the common way: reading or writing an
// undeclared global raises. The engine's own look-ups and writes never
// trip over it, and missing handlers are skipped as ever.
class StrictGlobals : public GameFixture {
 protected:
  void SetUp() override {
    StartGame(
        "Game = TGame.Create()\nGame.Debug = false\n"
        "setmetatable(_G, {__index = function(t, k) error('undeclared global ' .. tostring(k), 2) end,\n"
        "                  __newindex = function(t, k, v) error('assignment to undeclared ' .. tostring(k), 2) end})\n");
    NewLog();
  }
};

TEST_F(StrictGlobals, MissingHandlersAreSkippedAndNothingPanics) {
  EXPECT_EQ(form->Script().CallNoArgs("onhallMouseMove"), -1);
  // From inside a script call too: the engine's call returns, the script goes on.
  Run("rawset(_G, 'after', 0) Game.CallFunction('nothingHere') rawset(_G, 'after', 1)");
  Run("Game.LOG(rawget(_G, 'after'))");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"1"}));
  // Engine globals are set past the guard.
  form->Script().SetGlobal(TVariant(7), "EngineValue");
  Run("Game.LOG(rawget(_G, 'EngineValue'))");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"7"}));
  // Name synchronisation walks the guarded globals without raising.
  Run("rawset(_G, 'd', TDummy.Create())");
  NewLog();
  EXPECT_EQ(form->Script().CallNoArgs("x"), -1);
  form->Script().SynchronizeNames();
  EXPECT_EQ(form->Context().dummies.Front()->ScriptName, "d");
  // Hover picking calls the room's move function by name every tick.
  RunFrames(30);
  EXPECT_FALSE(form->Terminated());
}

// The watchdog ends a call into Lua that runs too long, with a message
// naming where it was, through the usual error path.
class Watchdog : public GameFixture {
 protected:
  void SetUp() override {
    options.scriptTimeout = 0.2;
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
};

TEST_F(Watchdog, EndlessLoopsEndWithAScriptError) {
  struct Case {
    const char* script;
  } cases[] = {
      {"function spin() while true do end end"},
      // A script's own pcall cannot keep the loop alive.
      {"function spin() while true do pcall(function() while true do end end) end end"},
      // Nor a loop one engine call further in.
      {"function inner() while true do end end function spin() Game.CallFunction('inner') while true do end end"},
  };
  for (const Case& c : cases) {
    Run(c.script);
    NewLog();
    EXPECT_EQ(form->Script().CallNoArgs("spin"), 1) << c.script;
    auto log = NewLog();
    ASSERT_FALSE(log.empty()) << c.script;
    EXPECT_EQ(log.back().rfind("Warning: While calling function spin (", 0), 0u) << log.back();
    EXPECT_NE(log.back().find("Script timeout: "), std::string::npos) << log.back();
    EXPECT_NE(log.back().find("line 1) ran longer than 0.2 s"), std::string::npos) << log.back();
  }
  // The engine goes on, and the next call gets its full time again.
  Run("Game.LOG('alive')");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"alive"}));
}

TEST_F(Watchdog, AnEndlessConfigurationScriptEndsTheStart) {
  options.scriptTimeout = 0.2;
  form.reset();
  dir.Write("data/config.lua", "Game = TGame.Create()\nwhile true do end\n");
  Start();
  EXPECT_TRUE(form->Terminated());
  ASSERT_FALSE(platform.dialogs.empty());
  EXPECT_EQ(platform.dialogs[0].number, 13);
  EXPECT_NE(platform.dialogs[0].text.find("Script timeout: "), std::string::npos) << platform.dialogs[0].text;
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

class LongTexts : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
};

TEST_F(LongTexts, LinesAreCutAndLongNamesAreNotLookedFor) {
  Run("Game.LOG(string.rep('a', 100000))");
  auto log = NewLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].size(), 65536u + std::string(" [... 34464 more bytes cut]").size());
  EXPECT_EQ(log[0].substr(65536), " [... 34464 more bytes cut]");
  // A file name longer than any file system takes is refused at once, and
  // the messages show its start only.
  Run("name = string.rep('n', 10000) Game.LoadScript(name) Game.LoadTextFile(name) TMesh.Create().Load(name)");
  log = NewLog();
  ASSERT_GE(log.size(), 3u) << ::testing::PrintToString(log);
  for (const std::string& line : log) EXPECT_LT(line.size(), 1300u) << line.substr(0, 80);
  EXPECT_EQ(log[0].rfind("Script Manager: Unable to find scriptfile nnn", 0), 0u);
  EXPECT_NE(log[0].find("... (8976 more bytes)"), std::string::npos);
  EXPECT_TRUE(form->Script().Host().LoadedScripts().size() == 1u);  // not remembered
}

}  // namespace
}  // namespace kavo::test
