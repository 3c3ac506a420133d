// The Game object's per-frame service: the script timer walk. Measures a
// frame's walk over many pending timers none of which is due, and a walk in
// which every timer fires (each a Lua call that sets the timer again).
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "game/gameservices.h"
#include "platform/test_platform.h"
#include "script/environment.h"
#include "shell/kavoform.h"

namespace {

struct Engine {
  Engine() {
    dir = kavo::bench::MakeGameFolder("Game = TGame.Create() Game.Debug = false "
                                      "function again() Game.SetTimer(0, 'again') end");
    std::ofstream(dir + "data/scripts/GUI.txt") << "";
    form = kavo::bench::StartGame(platform, dir);
    form->cadencer->SetCurrentTime(1.0);
  }
  ~Engine() {
    form.reset();
    if (std::getenv("KAVO_BENCH_KEEP")) return;
    if (std::system(("rm -rf " + dir).c_str()) != 0) {
    }
  }
  std::string dir;
  kavo::TTestPlatform platform;
  std::unique_ptr<kavo::TKavoForm> form;
};

Engine& TheEngine() {
  static Engine e;
  return e;
}

void BM_TimerWalk_NoneDue(benchmark::State& state) {
  Engine& e = TheEngine();
  e.form->services.timers.clear();
  for (int i = 0; i < state.range(0); ++i) kavo::AddScriptTimer(e.form->Context(), 1e9, "never");
  for (auto _ : state) kavo::FireScriptTimers(e.form->Context());
  state.SetItemsProcessed(state.iterations() * state.range(0));
  e.form->services.timers.clear();
}
BENCHMARK(BM_TimerWalk_NoneDue)->Arg(10)->Arg(1000);

void BM_TimerWalk_AllFire(benchmark::State& state) {
  Engine& e = TheEngine();
  e.form->services.timers.clear();
  for (int i = 0; i < state.range(0); ++i) kavo::AddScriptTimer(e.form->Context(), 0, "again");
  for (auto _ : state) kavo::FireScriptTimers(e.form->Context());
  state.SetItemsProcessed(state.iterations() * state.range(0));
  e.form->services.timers.clear();
}
BENCHMARK(BM_TimerWalk_AllFire)->Arg(10)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
