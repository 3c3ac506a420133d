// Room load time: a room of 100,352 triangles (OBJ) with its own walk area
// file and a navigation mesh of the same size, loaded through TRoom.Load
// into the room holder; and the navigation cell build and linking alone.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/test_platform.h"
#include "bench_support.h"
#include "scene/geometry.h"
#include "shell/kavoform.h"
#include "world/kavoroom.h"

namespace {

constexpr int kGrid = 224;  // 224 * 224 * 2 = 100,352 triangles
constexpr float kSize = 500.0f;

float Height(float x, float y) { return 8.0f * std::sin(x * 0.05f) * std::cos(y * 0.07f); }

std::string TerrainObj() {
  std::ostringstream s;
  for (int j = 0; j <= kGrid; ++j)
    for (int i = 0; i <= kGrid; ++i) {
      float x = kSize * i / kGrid, y = kSize * j / kGrid;
      s << "v " << x << ' ' << y << ' ' << Height(x, y) << "\nvt " << float(i) / kGrid << ' ' << float(j) / kGrid
        << "\n";
    }
  for (int j = 0; j < kGrid; ++j)
    for (int i = 0; i < kGrid; ++i) {
      int a = j * (kGrid + 1) + i + 1, b = a + 1, c = a + kGrid + 1, e = c + 1;
      s << "f " << a << '/' << a << ' ' << b << '/' << b << ' ' << e << '/' << e << "\n";
      s << "f " << a << '/' << a << ' ' << e << '/' << e << ' ' << c << '/' << c << "\n";
    }
  return s.str();
}

struct Engine {
  Engine() {
    dir = kavo::bench::MakeGameFolder(
        "Game = TGame.Create() Game.Debug = false\n"
        "r = TRoom.Create() r.Name = 'terrain' r.FileName = 'rooms/room.obj' "
        "r.WalkArea = 'rooms/walk.obj' r.NaviMesh = 'rooms/navi.obj'\n");
    std::system(("mkdir -p " + dir + "data/rooms").c_str());
    const std::string obj = TerrainObj();
    for (const char* f : {"room.obj", "walk.obj", "navi.obj"}) std::ofstream(dir + "data/rooms/" + f) << obj;
    form = kavo::bench::StartGame(platform, dir);
  }
  ~Engine() {
    form.reset();
    kavo::bench::RemoveGameFolder(dir);
  }
  std::string dir;
  kavo::TTestPlatform platform;
  std::unique_ptr<kavo::TKavoForm> form;
};

void BM_RoomLoad100kWithWalkAreaAndNavigationMesh(benchmark::State& state) {
  Engine engine;
  auto* room = static_cast<kavo::TRoomClass*>(engine.form->Context().rooms.At(0));
  for (auto _ : state) {
    engine.form->roomHolder->Load(*room);
    benchmark::DoNotOptimize(engine.form->roomHolder->cells.data());
  }
  if (engine.form->roomHolder->cells.size() != size_t(kGrid) * kGrid * 2 || !engine.form->roomHolder->HasWalkArea())
    state.SkipWithError("the room did not load whole");
  state.counters["cells"] = double(engine.form->roomHolder->cells.size());
}
BENCHMARK(BM_RoomLoad100kWithWalkAreaAndNavigationMesh)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_NavigationCellsBuildAndLink100k(benchmark::State& state) {
  kavo::scene::MeshData data;
  std::string error;
  if (!kavo::scene::LoadModel("navi.obj", TerrainObj(), data, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::vector<glm::vec3> tris = kavo::scene::ExtractTriangles(data);
  for (auto _ : state) {
    auto cells = kavo::BuildNavigationCells(tris);
    kavo::LinkNavigationCells(cells);
    benchmark::DoNotOptimize(cells.data());
  }
}
BENCHMARK(BM_NavigationCellsBuildAndLink100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
