// The engine's own work per frame (the frame step and the scene traversal,
// without GPU time) for 1,000 movable objects and 100 meshes, with the
// renderer that draws nothing; and frames per second of the demo game
// headless on the machine's OpenGL (llvmpipe here).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "bench_support.h"
#include "platform/test_platform.h"
#include "script/environment.h"
#include "shell/kavoform.h"

namespace {

std::string MakeGame(const std::string& config) {
  std::string dir = kavo::bench::MakeGameFolder(config);
  // A small box model for the meshes.
  std::ofstream(dir + "data/box.obj") << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                                         "f 1 2 3 4\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n";
  return dir;
}

void BM_FrameStep_1000Movables_100Meshes(benchmark::State& state) {
  std::string dir = MakeGame(
      "Game = TGame.Create() Game.Debug = false\n"
      "for i = 1, 1000 do local d = TDummy.Create() d.SetPosition(i, 0, i) end\n"
      "for i = 1, 100 do local m = TMesh.Create() m.Load('box.obj') m.SetPosition(i, 0, 0) end\n");
  kavo::TTestPlatform platform;
  auto form = kavo::bench::StartGame(platform, dir);
  if (form->Context().meshes.Count() != 100 || form->Context().dummies.Count() != 1000) {
    state.SkipWithError("the game did not start");
    return;
  }
  for (auto _ : state) {
    long long target = form->frameSteps + 1;
    while (form->frameSteps < target) form->RunOnce();
  }
  form.reset();
  kavo::bench::RemoveGameFolder(dir);
}
BENCHMARK(BM_FrameStep_1000Movables_100Meshes)->Unit(benchmark::kMicrosecond);

void BM_DemoFramesPerSecondHeadless(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  auto platform = kavo::CreateSdlPlatform(true);
  kavo::TKavoOptions o;
  o.executableDir = KAVO_SOURCE_DIR "/games/demo/";
  o.logPath = "/tmp/kavo-bench-demo-log.txt";
  o.fixedStepMs = 16;
  auto form = std::make_unique<kavo::TKavoForm>(*platform, o);
  form->Startup({o.executableDir + "kavo", KAVO_SOURCE_DIR "/games/demo/demo.kavogame"});
  if (form->Terminated()) {
    state.SkipWithError("the demo did not start");
    return;
  }
  long long frames = 0;
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    long long target = form->frameSteps + 1;
    while (form->frameSteps < target && !form->Terminated()) form->RunOnce();
    ++frames;
  }
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  state.counters["fps"] = frames / secs;
  state.counters["cores"] = std::thread::hardware_concurrency();
}
BENCHMARK(BM_DemoFramesPerSecondHeadless)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
