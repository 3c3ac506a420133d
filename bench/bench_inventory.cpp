// The inventory pass: one drawing of the scene tree with the renderer that
// draws nothing, for 10 inventories of 100 items each (the pass measures
// every item on screen and the grid, then lights the layer), against the
// baseline of the same 1,000 meshes lying in the room. Goal: within 1.5
// times the baseline.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

#include "bench_support.h"
#include "platform/test_platform.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "shell/kavoform.h"

namespace {

constexpr int kInventories = 10, kItemsEach = 100;

// The meshes: 1,000 cubes of edge 2 (24 vertices), in the room or in the
// inventories, 100 to each.
std::string Config(bool inInventories) {
  std::string lua =
      "Game = TGame.Create() Game.Debug = false\n"
      "for i = 0, " +
      std::to_string(kInventories - 1) +
      " do local inv = TInventory.Create() inv.SetPosition(i - 5, 0) inv.XCount = 10 inv.YCount = 10 end\n"
      "for i = 0, " +
      std::to_string(kInventories * kItemsEach - 1) +
      " do local m = TMesh.Create() m.Load('cube.obj') m.SetPosition(i % 40, 0, i / 40)\n";
  if (inInventories) lua += "  m.MoveToInventory(i % " + std::to_string(kInventories) + ")\n";
  return lua + "end\n";
}

void RunPass(benchmark::State& state, bool inInventories) {
  std::string dir = kavo::bench::MakeGameFolder(Config(inInventories));
  std::ofstream(dir + "data/cube.obj")
      << "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
         "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
         "f 1/1 2/2 3/3 4/4\nf 5/1 6/2 7/3 8/4\nf 1/1 2/2 6/3 5/4\nf 2/1 3/2 7/3 6/4\nf 3/1 4/2 8/3 7/4\n"
         "f 4/1 1/2 5/3 8/4\n";
  kavo::TTestPlatform platform;
  auto form = kavo::bench::StartGame(platform, dir);
  kavo::TKavoContext& ctx = form->Context();
  const size_t items = inInventories ? ctx.inventories.Count() * kItemsEach : 0;
  if (ctx.meshes.Count() != size_t(kInventories * kItemsEach) || ctx.inventories.Count() != size_t(kInventories) ||
      form->scene->UsesGL()) {
    state.SkipWithError("the game did not start on the renderer that draws nothing");
    return;
  }
  for (auto _ : state) form->scene->Render(false);
  state.counters["items"] = static_cast<double>(items);
  state.counters["nodes drawn"] = static_cast<double>(form->scene->NullRendererForTests().Drawn().size());
  form.reset();
  kavo::bench::RemoveGameFolder(dir);
}

void BM_Pass_1000MeshesInTheRoom(benchmark::State& state) { RunPass(state, false); }
void BM_Pass_10InventoriesOf100Items(benchmark::State& state) { RunPass(state, true); }
BENCHMARK(BM_Pass_1000MeshesInTheRoom)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pass_10InventoriesOf100Items)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
