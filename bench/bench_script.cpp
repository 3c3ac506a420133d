// The script bridge against hand-written closures on the raw Lua C API doing
// the same work: a property read, a property write and a method call with
// three number arguments. Prints the ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
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

BENCHMARK(BM_PropertyRead_Engine);
BENCHMARK(BM_PropertyRead_Raw);
BENCHMARK(BM_PropertyWrite_Engine);
BENCHMARK(BM_PropertyWrite_Raw);
BENCHMARK(BM_MethodCall3_Engine);
BENCHMARK(BM_MethodCall3_Raw);

// Collects the per-item times and prints engine / raw ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* what : {"PropertyRead", "PropertyWrite", "MethodCall3"}) {
      double e = times_[std::string("BM_") + what + "_Engine"], r = times_[std::string("BM_") + what + "_Raw"];
      if (r > 0) std::printf("ratio %-14s engine/raw = %.2f\n", what, e / r);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
