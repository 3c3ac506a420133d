// Actors: posing one model (SMD skinning, MD2 interpolation) at 1,000, 5,000
// and 20,000 vertices against a plain loop doing the same arithmetic; and a
// frame's collision and walking steps for 1, 10 and 50 walking actors on
// walk areas of about 10,000 and 100,000 triangles (cost per actor in the
// counters).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include "bench_support.h"
#include "platform/files.h"
#include "platform/test_platform.h"
#include "scene/animatedmesh.h"
#include "scene/collision.h"
#include "scene/nodes.h"
#include "script/context.h"
#include "script/environment.h"
#include "shell/kavoform.h"
#include "world/kavoactor.h"

namespace {

constexpr int kBones = 16;

// An SMD of `vertices` vertices (a strip of triangles) over a chain of 16
// bones, each vertex shared by two bones, and two frames.
std::string SkinnedSmd(int vertices) {
  std::ostringstream s;
  s << "version 1\nnodes\n";
  for (int b = 0; b < kBones; ++b) s << b << " \"bone" << b << "\" " << (b - 1) << "\n";
  s << "end\nskeleton\n";
  for (int f = 0; f < 2; ++f) {
    s << "time " << f << "\n";
    for (int b = 0; b < kBones; ++b) s << b << " 0 0 " << (b ? 5 : 0) << " " << (f ? 0.1 * b : 0.0) << " 0 0\n";
  }
  s << "end\ntriangles\n";
  const int triangles = vertices / 3;
  for (int t = 0; t < triangles; ++t) {
    s << "hero.png\n";
    for (int k = 0; k < 3; ++k) {
      const int v = t * 3 + k;
      const int bone = (v * kBones) / vertices;
      const int next = bone + 1 < kBones ? bone + 1 : bone;
      const float z = 80.0f * float(v) / float(vertices);
      s << bone << " " << (k == 1 ? 1 : 0) << " " << (k == 2 ? 1 : 0) << " " << z << " 0 0 1 0 0 2 " << bone
        << " 0.7 " << next << " 0.3\n";
    }
  }
  s << "end\n";
  return s.str();
}

void Put32(std::string& s, int32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
void PutF(std::string& s, float v) { s.append(reinterpret_cast<const char*>(&v), 4); }

// An MD2 whose mesh has `vertices` vertices and four frames ("run1" ..
// "run4"): half as many positions, each used with two texture coordinates.
std::string Md2(int vertices) {
  const int frames = 4, xyz = vertices / 2, tris = vertices / 3, frameSize = 40 + 4 * xyz;
  const int ofsSkins = 68, ofsSt = ofsSkins + 64, ofsTris = ofsSt + 8, ofsFrames = ofsTris + tris * 12,
            ofsEnd = ofsFrames + frames * frameSize;
  std::string s = "IDP2";
  for (int v : {8, 64, 64, frameSize, 1, xyz, 2, tris, 0, frames, ofsSkins, ofsSt, ofsTris, ofsFrames, ofsEnd, ofsEnd})
    Put32(s, v);
  std::string skin = "hero.png";
  skin.resize(64, '\0');
  s += skin;
  for (int16_t st : {0, 0, 63, 63}) s.append(reinterpret_cast<const char*>(&st), 2);
  for (int t = 0; t < tris; ++t) {
    uint16_t index[3], st[3];
    for (int k = 0; k < 3; ++k) {
      const int v = t * 3 + k;
      index[k] = uint16_t(v % xyz);
      st[k] = uint16_t(v / xyz);
    }
    s.append(reinterpret_cast<const char*>(index), 6);
    s.append(reinterpret_cast<const char*>(st), 6);
  }
  for (int f = 0; f < frames; ++f) {
    for (float v : {1.0f, 1.0f, 1.0f}) PutF(s, v);
    for (float v : {0.0f, 0.0f, 0.0f}) PutF(s, v);
    std::string name = "run" + std::to_string(f + 1);
    name.resize(16, '\0');
    s += name;
    for (int v = 0; v < xyz; ++v) {
      s += char((v * 7 + f * 3) & 255);
      s += char((v * 13) & 255);
      s += char((v / 256 + f) & 255);
      s += char(0);
    }
  }
  return s;
}

// Poses the node at a new frame position each iteration.
void PoseNode(benchmark::State& state, const std::string& name, const std::string& bytes) {
  // The models name the demo figure's picture as their texture.
  const std::string saved = kavo::Files().CurrentDir();
  kavo::Files().SetCurrentDir(KAVO_SOURCE_DIR "/games/demo/data/actors");
  kavo::scene::AnimatedMeshNode node;
  node.SetMaterialLibrary(nullptr);
  try {
    node.LoadAnimatedFromBytes(name, bytes);
  } catch (const std::exception& e) {
    kavo::Files().SetCurrentDir(saved);
    state.SkipWithError(e.what());
    return;
  }
  kavo::Files().SetCurrentDir(saved);
  node.SetMode(kavo::scene::AnimationMode::Loop);
  node.SetInterval(1000);
  for (auto _ : state) {
    node.Advance(0.013);  // a new fraction: the pose changes
    const kavo::scene::MeshData& posed = node.PosedMesh();
    benchmark::DoNotOptimize(posed.objects.data());
  }
  state.counters["vertices"] = double(state.range(0));
}

void BM_PoseSmd(benchmark::State& state) {
  PoseNode(state, "figure.smd", SkinnedSmd(int(state.range(0))));
}
BENCHMARK(BM_PoseSmd)->Arg(1000)->Arg(5000)->Arg(20000);

void BM_PoseMd2(benchmark::State& state) { PoseNode(state, "figure.md2", Md2(int(state.range(0)))); }
BENCHMARK(BM_PoseMd2)->Arg(1000)->Arg(5000)->Arg(20000);

// The same arithmetic by hand: bone matrices from interpolated poses, then
// two weighted matrix products per vertex for position and normal.
void BM_PlainSkinning(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<glm::vec3> pos(n), nrm(n, glm::vec3(0, 0, 1)), outP(n), outN(n);
  std::vector<int> b0(n), b1(n);
  for (int v = 0; v < n; ++v) {
    pos[v] = glm::vec3(v % 2, v % 3 == 2 ? 1 : 0, 80.0f * v / n);
    b0[v] = (v * kBones) / n;
    b1[v] = b0[v] + 1 < kBones ? b0[v] + 1 : b0[v];
  }
  std::vector<glm::mat4> skin(kBones), inverseRest(kBones, glm::mat4(1.0f));
  float t = 0.0f;
  for (auto _ : state) {
    t += 0.013f;
    glm::mat4 parent(1.0f);
    for (int b = 0; b < kBones; ++b) {
      glm::quat q = glm::slerp(glm::quat(1, 0, 0, 0), glm::angleAxis(0.1f * b, glm::vec3(1, 0, 0)), std::fmod(t, 1.0f));
      glm::mat4 local = glm::mat4_cast(q);
      local[3] = glm::vec4(0, 0, b ? 5.0f : 0.0f, 1);
      parent = parent * local;
      skin[b] = parent * inverseRest[b];
    }
    for (int v = 0; v < n; ++v) {
      const glm::vec4 p(pos[v], 1.0f), q(nrm[v], 0.0f);
      outP[v] = glm::vec3(skin[b0[v]] * p) * 0.7f + glm::vec3(skin[b1[v]] * p) * 0.3f;
      outN[v] = glm::normalize(glm::vec3(skin[b0[v]] * q) * 0.7f + glm::vec3(skin[b1[v]] * q) * 0.3f);
    }
    benchmark::DoNotOptimize(outP.data());
    benchmark::DoNotOptimize(outN.data());
  }
  state.counters["vertices"] = double(n);
}
BENCHMARK(BM_PlainSkinning)->Arg(1000)->Arg(5000)->Arg(20000);

void BM_PlainMorph(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<glm::vec3> a(n), b(n), na(n, glm::vec3(0, 0, 1)), nb(n, glm::vec3(0, 1, 0)), outP(n), outN(n);
  for (int v = 0; v < n; ++v) {
    a[v] = glm::vec3(v % 7, v % 13, v % 5);
    b[v] = a[v] + glm::vec3(1, 0, 0);
  }
  float t = 0.0f;
  for (auto _ : state) {
    t = std::fmod(t + 0.013f, 1.0f);
    for (int v = 0; v < n; ++v) {
      outP[v] = glm::mix(a[v], b[v], t);
      outN[v] = glm::normalize(glm::mix(na[v], nb[v], t));
    }
    benchmark::DoNotOptimize(outP.data());
    benchmark::DoNotOptimize(outN.data());
  }
  state.counters["vertices"] = double(n);
}
BENCHMARK(BM_PlainMorph)->Arg(1000)->Arg(5000)->Arg(20000);

// ---------------------------------------------------------------- walking actors

// A rolling terrain of 2 * grid * grid triangles as an OBJ.
std::string TerrainObj(int grid, float size) {
  std::ostringstream s;
  for (int j = 0; j <= grid; ++j)
    for (int i = 0; i <= grid; ++i) {
      const float x = size * i / grid, y = size * j / grid;
      s << "v " << x << ' ' << y << ' ' << 3.0f * std::sin(x * 0.05f) * std::cos(y * 0.07f) << "\n";
    }
  for (int j = 0; j < grid; ++j)
    for (int i = 0; i < grid; ++i) {
      const int a = j * (grid + 1) + i + 1, b = a + 1, c = a + grid + 1, e = c + 1;
      s << "f " << a << ' ' << b << ' ' << e << "\nf " << a << ' ' << e << ' ' << c << "\n";
    }
  return s.str();
}

struct WalkingWorld {
  WalkingWorld(int grid, int actors) {
    dir = kavo::bench::MakeGameFolder(
        "Game = TGame.Create() Game.Debug = false\n"
        "r = TRoom.Create() r.Name = 'terrain' r.FileName = 'rooms/room.obj' r.WalkArea = 'rooms/room.obj'\n"
        "r.Load()\n");
    if (std::system(("mkdir -p " + dir + "data/rooms").c_str()) != 0) return;
    std::ofstream(dir + "data/rooms/room.obj") << TerrainObj(grid, 2000.0f);
    form = kavo::bench::StartGame(platform, dir);
    kavo::TKavoContext& ctx = form->Context();
    for (int i = 0; i < actors; ++i) {
      form->Script().RunLine("local a = TActor.Create() a.SetCollisionScale(10, 10, 10) a.SetPosition(" +
                             std::to_string(200 + (i % 10) * 150) + ", 30, " + std::to_string(-200 - (i / 10) * 150) +
                             ")");
    }
    (void)ctx;
  }
  ~WalkingWorld() {
    form.reset();
    kavo::bench::RemoveGameFolder(dir);
  }
  // Every actor walks a square around its start.
  void KeepWalking() {
    kavo::TKavoContext& ctx = form->Context();
    for (kavo::TActorClass* a : ctx.actors) {
      if (!a->actor.walkQueue.empty()) continue;
      const glm::vec3 p = a->actor.root->Position();
      for (glm::vec3 d : {glm::vec3(60, 0, 0), glm::vec3(60, 0, -60), glm::vec3(0, 0, -60), glm::vec3(0, 0, 0)})
        a->actor.walkQueue.push_back({"", p.x + d.x, 0, p.z + d.z, 0});
    }
  }
  std::string dir;
  kavo::TTestPlatform platform;
  std::unique_ptr<kavo::TKavoForm> form;
};

void BM_ActorSteps(benchmark::State& state) {
  const int grid = int(state.range(0)), actors = int(state.range(1));
  WalkingWorld world(grid, actors);
  if (!world.form || world.form->Context().halted) {
    state.SkipWithError("the game did not start");
    return;
  }
  kavo::TKavoContext& ctx = world.form->Context();
  const double dt = 0.02;
  for (auto _ : state) {
    world.KeepWalking();
    kavo::SyncActorBodies(ctx);
    ctx.collisions->Step(dt);
    kavo::ActorsFollowBodies(ctx);
    kavo::StepActors(ctx, dt);
  }
  state.counters["triangles"] = 2.0 * grid * grid;
  state.counters["actors"] = actors;
  state.counters["per_actor"] =
      benchmark::Counter(double(actors), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// About 10,000 (71 * 71 * 2) and 100,000 (224 * 224 * 2) triangles.
BENCHMARK(BM_ActorSteps)
    ->Args({71, 1})
    ->Args({71, 10})
    ->Args({71, 50})
    ->Args({224, 1})
    ->Args({224, 10})
    ->Args({224, 50})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
