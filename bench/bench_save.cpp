// Saved games: SaveGame with 100, 1,000 and 5,000 global dummies (time and
// bytes) against writing the same bytes through the atomic write alone; and
// LoadGame of the same files against running the same text as plain Lua
// with plain tables standing in for the classes.
#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <memory>
#include <string>

#include "bench_support.h"
#include "platform/files.h"
#include "platform/test_platform.h"
#include "script/environment.h"
#include "shell/kavoform.h"

using namespace kavo;

namespace {

struct Engine {
  TTestPlatform platform;
  std::string dir;
  std::unique_ptr<TKavoForm> form;
  explicit Engine(int dummies) {
    dir = bench::MakeGameFolder("Game = TGame.Create() Game.Debug = false");
    form = bench::StartGame(platform, dir);
    form->Script().RunLine("for i = 1, " + std::to_string(dummies) +
                           " do local d = TDummy.Create() d.SetPosition(i, i * 0.5, -i) _G['dummy' .. i] = d end");
    form->Context().files.EnterDataFolder();
  }
  ~Engine() {
    form.reset();
    bench::RemoveGameFolder(dir);
  }
  std::string SaveText() {
    std::string text;
    Files().ReadFile(dir + "data/bench.txt", text);
    return text;
  }
};

void BM_SaveGame(benchmark::State& state) {
  Engine e(int(state.range(0)));
  for (auto _ : state) e.form->Script().RunLine("Game.SaveGame('bench.txt')");
  state.counters["bytes"] = double(e.SaveText().size());
}
BENCHMARK(BM_SaveGame)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_AtomicWriteAlone(benchmark::State& state) {
  Engine e(int(state.range(0)));
  e.form->Script().RunLine("Game.SaveGame('bench.txt')");
  const std::string text = e.SaveText();
  for (auto _ : state) Files().WriteFileAtomic(e.dir + "data/plain.txt", text);
  state.counters["bytes"] = double(text.size());
}
BENCHMARK(BM_AtomicWriteAlone)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_LoadGame(benchmark::State& state) {
  Engine e(int(state.range(0)));
  e.form->Script().RunLine("Game.SaveGame('bench.txt')");
  for (auto _ : state) e.form->Script().RunLine("Game.LoadGame('bench.txt')");
}
BENCHMARK(BM_LoadGame)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

// The same text as plain Lua: classes are plain tables whose Create makes a
// table, whose fields take the property lines and whose methods do nothing.
void BM_LoadAsPlainLua(benchmark::State& state) {
  Engine e(int(state.range(0)));
  e.form->Script().RunLine("Game.SaveGame('bench.txt')");
  const std::string text = e.SaveText();
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  const char* prelude =
      "local function class() local c = {} c.Create = function() local o = {} "
      "o.SetRawRotations = function() end o.Load = function() end return o end return c end "
      "TGame = class() TDummy = class() TRoom = class() "
      "Game = TGame.Create() Game.ClearConversations = function() end Game.SetMouseCursor = function() end";
  for (auto _ : state) {
    luaL_dostring(L, prelude);
    if (luaL_loadbuffer(L, text.data(), text.size(), "bench") == 0) lua_pcall(L, 0, 0, 0);
    else lua_pop(L, 1);
    lua_settop(L, 0);
  }
  lua_close(L);
}
BENCHMARK(BM_LoadAsPlainLua)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
