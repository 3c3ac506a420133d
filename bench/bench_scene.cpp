// The engine-side work of one frame: walking the tree, sorting children,
// building matrices, for a tree of 1,000 group nodes and 100 static meshes.
// Once with the null renderer (pure engine work) and once with the GL
// renderer on a hidden offscreen window (SDL_VIDEODRIVER=offscreen), which
// also reports frames per second and the machine's core count.
#include "scene/glrenderer.h"
#include "scene/glwindow.h"
#include "scene/nodes.h"
#include "scene/renderer.h"
#include "scene/staticmesh.h"
#include "scene/view.h"

#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdlib>
#include <memory>
#include <thread>

using namespace kavo::scene;

namespace {

MeshData Box() {
  MeshData d;
  MeshObject o;
  for (int i = 0; i < 8; ++i) {
    o.positions.push_back({(i & 1) ? 0.5f : -0.5f, (i & 2) ? 0.5f : -0.5f, (i & 4) ? 0.5f : -0.5f});
    o.normals.push_back(glm::normalize(o.positions.back()));
    o.texCoords.push_back({(i & 1) ? 1.0f : 0.0f, (i & 2) ? 1.0f : 0.0f});
  }
  o.faceGroups.push_back({"", {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1,
                               2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3}});
  d.objects.push_back(o);
  return d;
}

// A tree shaped like the engine's: 1,000 groups (mouse targets, nested
// dummies, HUD groups) and 100 meshes, a third of them blended under a
// farthest-first parent.
struct BenchScene {
  std::unique_ptr<Node> root = std::make_unique<Node>("root");
  View view;
  std::vector<Node*> movers;

  BenchScene() {
    auto* rootdummy = root->CreateChild<GroupNode>("rootdummy");
    rootdummy->SetSorting(SortRule::BlendedLast);
    auto* renderable = rootdummy->CreateChild<GroupNode>("renderable");
    auto* scene = renderable->CreateChild<GroupNode>("scene");
    auto* cam = scene->CreateChild<CameraNode>("MainCamera");
    cam->SetPosition(0, 20, -60);
    auto* target = scene->CreateChild<GroupNode>("cameratarget");
    cam->SetTarget(target);
    auto* objects = scene->CreateChild<GroupNode>("objects");
    objects->SetSorting(SortRule::NearestFirst);
    auto* transparent = renderable->CreateChild<GroupNode>("transparent");
    transparent->SetSorting(SortRule::FarthestFirst);
    int groups = 6;  // counted so far
    // 10 branches of 99 nested-and-flat groups.
    for (int b = 0; b < 10; ++b) {
      auto* branch = objects->CreateChild<GroupNode>("branch" + std::to_string(b));
      branch->SetPosition(float(b * 5 - 25), 0, float(b));
      ++groups;
      Node* parent = branch;
      for (int i = 0; i < 99 && groups < 1000; ++i, ++groups) {
        auto* g = parent->CreateChild<GroupNode>("g" + std::to_string(b) + "_" + std::to_string(i));
        g->SetPosition(float(i % 7), float(i % 3), float(i % 5));
        g->SetTurnAngle(float(i * 13 % 360));
        if (i % 10 == 9) parent = g;  // some depth
        if (i % 4 == 0) movers.push_back(g);
      }
    }
    for (int i = 0; i < 100; ++i) {
      Node* parent = (i % 3 == 0) ? static_cast<Node*>(transparent) : static_cast<Node*>(scene);
      auto* m = parent->CreateChild<StaticMeshNode>("mesh" + std::to_string(i));
      m->SetMeshData(Box());
      m->SetUseMeshMaterials(false);
      m->material.unlit = (i % 2) == 0;
      m->material.diffuse = {float(i % 5) / 4.0f, 0.5f, 1.0f - float(i % 7) / 6.0f, i % 3 == 0 ? 0.5f : 1.0f};
      if (i % 3 == 0) m->material.blending = BlendingMode::Transparency;
      m->SetPosition(float(i % 10) * 4 - 18, float(i / 10) * 2 - 5, float(i % 13) * 3);
      movers.push_back(m);
    }
    view.SetRoot(root.get());
    view.SetCamera(cam);
    view.SetSize(800, 600);
    view.fog.enabled = true;
    view.fog.start = 20;
    view.fog.end = 200;
  }

  // What a frame step does to the tree: some nodes move and turn.
  void Step(int frame) {
    for (size_t i = 0; i < movers.size(); ++i) {
      Node* n = movers[i];
      n->SetTurnAngle(float((frame + int(i)) % 360));
      n->Translate({0.0f, 0.0f, (frame & 1) ? 0.01f : -0.01f});
    }
  }
};

void BM_FrameNullRenderer(benchmark::State& state) {
  BenchScene s;
  NullRenderer r;
  int frame = 0;
  for (auto _ : state) {
    s.Step(frame++);
    r.Render(s.view);
    benchmark::DoNotOptimize(r.Drawn().data());
  }
  state.counters["nodes"] = 1100;
}
BENCHMARK(BM_FrameNullRenderer)->Unit(benchmark::kMillisecond);

struct GLFixture {
  GLWindow window;
  bool ok = false;
  std::string error;
  GLFixture() {
    if (!std::getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    GLWindowOptions o;
    o.width = 800;
    o.height = 600;
    o.hidden = true;
    ok = window.Create(o, error);
  }
};

// Frame through the GL renderer. CPU time of the calling thread is the
// engine's share plus the driver's submission work; the wall time with
// glFinish gives the frames per second the machine manages.
void BM_FrameGLRenderer(benchmark::State& state) {
  GLFixture gl;
  if (!gl.ok) {
    state.SkipWithError(("no GL context: " + gl.error).c_str());
    return;
  }
  auto s = std::make_unique<BenchScene>();
  GLRenderer r;
  int frame = 0;
  r.Render(s->view);  // build vertex buffers outside the timing
  glFinish();
  for (auto _ : state) {
    s->Step(frame++);
    r.Render(s->view);
    glFinish();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["cores"] = double(std::thread::hardware_concurrency());
  state.SetLabel(s->view.RenderingReport());
  s.reset();  // drop GL buffers while the context is current
}
BENCHMARK(BM_FrameGLRenderer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
