// The script bridge against hand-written closures on the raw Lua C API doing
// the same work: a property read, a property write and a method call with
// three number arguments. Prints the ratios, against the raw closures in a
// table of their own ("Raw") and in a table laid out as the engine's Game
// table ("RawFull").
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <cstdlib>
#include <fstream>
#include <lua.hpp>
#include <memory>
#include <map>
#include <string>
#include <strings.h>

#include "bench_support.h"
#include "platform/test_platform.h"
#include "script/environment.h"
#include "shell/kavoform.h"

namespace {

struct Engine {
  Engine() {
    dir = kavo::bench::MakeGameFolder("Game = TGame.Create() Game.Debug = false");
    form = kavo::bench::StartGame(platform, dir);
    L = form->Script().State();
    InstallRaw();
  }
  ~Engine() {
    form.reset();
    kavo::bench::RemoveGameFolder(dir);
  }

  // The hand-written equivalents: one struct, three closures.
  struct Raw {
    float fogStart = 400;
    uint32_t fog = 0;
  } raw;
  static int RawIndex(lua_State* L) {
    Raw* r = static_cast<Raw*>(lua_touserdata(L, lua_upvalueindex(1)));
    const char* k = lua_tostring(L, 2);
    if (k && strcasecmp(k, "FogStart") == 0) {
      lua_pushnumber(L, r->fogStart);
      return 1;
    }
    lua_pushnil(L);
    return 1;
  }
  static int RawNewIndex(lua_State* L) {
    Raw* r = static_cast<Raw*>(lua_touserdata(L, lua_upvalueindex(1)));
    const char* k = lua_tostring(L, 2);
    if (k && strcasecmp(k, "FogStart") == 0 && lua_isnumber(L, 3)) r->fogStart = static_cast<float>(lua_tonumber(L, 3));
    return 0;
  }
  static int RawSetFog(lua_State* L) {
    Raw* r = static_cast<Raw*>(lua_touserdata(L, lua_upvalueindex(1)));
    uint32_t c = 0;
    for (int i = 1; i <= 3; ++i) {
      if (!lua_isnumber(L, i)) return 0;
      c |= (static_cast<uint32_t>(static_cast<long>(lua_tonumber(L, i))) & 0xFF) << (8 * (i - 1));
    }
    r->fog = c;
    lua_pushnil(L);
    return 1;
  }
  void InstallRaw() {
    lua_newtable(L);
    lua_pushlightuserdata(L, &raw);
    lua_pushcclosure(L, RawSetFog, 1);
    lua_setfield(L, -2, "SetFogRGB");
    lua_newtable(L);
    lua_pushlightuserdata(L, &raw);
    lua_pushcclosure(L, RawIndex, 1);
    lua_setfield(L, -2, "__index");
    lua_pushlightuserdata(L, &raw);
    lua_pushcclosure(L, RawNewIndex, 1);
    lua_setfield(L, -2, "__newindex");
    lua_setmetatable(L, -2);
    lua_setglobal(L, "Raw");
    // The same closures in an object table laid out as the engine's Game
    // table is: one field per published method. Lua's own look-up of the
    // key in the object table costs more in a bigger table, whoever binds it.
    luaL_dostring(L, "RawFull = {} for k, v in pairs(Game) do RawFull[k] = v end");
    lua_getglobal(L, "RawFull");
    lua_pushlightuserdata(L, &raw);
    lua_pushcclosure(L, RawSetFog, 1);
    lua_setfield(L, -2, "SetFogRGB");
    lua_getglobal(L, "Raw");
    lua_getmetatable(L, -1);
    lua_setmetatable(L, -3);
    lua_pop(L, 2);
  }
  void Loop(const std::string& body, int n) {
    std::string code = "local o = " + target + " for i = 1, " + std::to_string(n) + " do " + body + " end";
    if (luaL_dostring(L, code.c_str()) != 0) {
      std::fprintf(stderr, "%s\n", lua_tostring(L, -1));
      std::abort();
    }
  }

  std::string dir, target;
  kavo::TTestPlatform platform;
  std::unique_ptr<kavo::TKavoForm> form;
  lua_State* L = nullptr;
};

Engine& TheEngine() {
  static Engine e;
  return e;
}

constexpr int kOps = 10000;

void Run(benchmark::State& state, const char* target, const char* body) {
  Engine& e = TheEngine();
  e.target = target;
  for (auto _ : state) e.Loop(body, kOps);
  state.SetItemsProcessed(state.iterations() * kOps);
}

void BM_PropertyRead_Engine(benchmark::State& s) { Run(s, "Game", "local x = o.FogStart"); }
void BM_PropertyRead_Raw(benchmark::State& s) { Run(s, "Raw", "local x = o.FogStart"); }
void BM_PropertyWrite_Engine(benchmark::State& s) { Run(s, "Game", "o.FogStart = i"); }
void BM_PropertyWrite_Raw(benchmark::State& s) { Run(s, "Raw", "o.FogStart = i"); }
void BM_MethodCall3_Engine(benchmark::State& s) { Run(s, "Game", "o.SetFogRGB(i, 2, 3)"); }
void BM_MethodCall3_Raw(benchmark::State& s) { Run(s, "Raw", "o.SetFogRGB(i, 2, 3)"); }
void BM_PropertyRead_RawFull(benchmark::State& s) { Run(s, "RawFull", "local x = o.FogStart"); }
void BM_PropertyWrite_RawFull(benchmark::State& s) { Run(s, "RawFull", "o.FogStart = i"); }
void BM_MethodCall3_RawFull(benchmark::State& s) { Run(s, "RawFull", "o.SetFogRGB(i, 2, 3)"); }

BENCHMARK(BM_PropertyRead_Engine);
BENCHMARK(BM_PropertyRead_Raw);
BENCHMARK(BM_PropertyWrite_Engine);
BENCHMARK(BM_PropertyWrite_Raw);
BENCHMARK(BM_MethodCall3_Engine);
BENCHMARK(BM_MethodCall3_Raw);
BENCHMARK(BM_PropertyRead_RawFull);
BENCHMARK(BM_PropertyWrite_RawFull);
BENCHMARK(BM_MethodCall3_RawFull);

// Collects the per-item times of every repetition and prints engine / raw
// ratios at the end: of the fastest runs (the least disturbed by whatever
// else the machine does) and of the medians.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) times_[r.run_name.function_name].push_back(r.GetAdjustedRealTime());
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto stat = [&](const std::string& name, bool median) {
      std::vector<double> t = times_[name];
      if (t.empty()) return 0.0;
      std::sort(t.begin(), t.end());
      return median ? t[t.size() / 2] : t.front();
    };
    for (const char* raw : {"Raw", "RawFull"})
      for (const char* what : {"PropertyRead", "PropertyWrite", "MethodCall3"}) {
        const std::string e = std::string("BM_") + what + "_Engine", r = std::string("BM_") + what + "_" + raw;
        if (stat(r, false) > 0)
          std::printf("ratio %-14s engine/%-7s = %.2f (fastest runs), %.2f (medians)\n", what, raw,
                      stat(e, false) / stat(r, false), stat(e, true) / stat(r, true));
      }
  }

 private:
  std::map<std::string, std::vector<double>> times_;
};

}  // namespace

// `--measure NAME` runs one loop of 100,000 operations and nothing else, so
// that `bench/bridge_instructions.sh` can count its instructions under
// callgrind: a figure that, unlike time, does not move with the machine.
__attribute__((noinline)) void MeasureLoop(Engine& e, const std::string& body) { e.Loop(body, 100000); }

int Measure(const std::string& name) {
  static const std::map<std::string, std::pair<const char*, const char*>> loops = {
      {"PropertyRead_Engine", {"Game", "local x = o.FogStart"}}, {"PropertyRead_Raw", {"Raw", "local x = o.FogStart"}},
      {"PropertyWrite_Engine", {"Game", "o.FogStart = i"}},      {"PropertyWrite_Raw", {"Raw", "o.FogStart = i"}},
      {"MethodCall3_Engine", {"Game", "o.SetFogRGB(i, 2, 3)"}},  {"MethodCall3_Raw", {"Raw", "o.SetFogRGB(i, 2, 3)"}},
      {"PropertyRead_RawFull", {"RawFull", "local x = o.FogStart"}},
      {"PropertyWrite_RawFull", {"RawFull", "o.FogStart = i"}},
      {"MethodCall3_RawFull", {"RawFull", "o.SetFogRGB(i, 2, 3)"}},
  };
  auto it = loops.find(name);
  if (it == loops.end()) return 2;
  Engine& e = TheEngine();
  e.target = it->second.first;
  e.Loop(it->second.second, 1000);  // warm: property caches, method records
  MeasureLoop(e, it->second.second);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--measure") return Measure(argv[2]);
  // Engine and raw runs alternate, several times each, so that both see the
  // same machine; a command line can ask otherwise.
  std::vector<char*> args(argv, argv + argc);
  std::string reps = "--benchmark_repetitions=9", interleave = "--benchmark_enable_random_interleaving=true";
  bool given = false;
  for (int i = 1; i < argc; ++i) given |= std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
  if (!given) {
    args.push_back(reps.data());
    args.push_back(interleave.data());
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
