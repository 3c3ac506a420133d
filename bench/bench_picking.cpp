// Picking cost on a 100,000-triangle model: one ray through the octree
// (goal: well under 0.2 ms), the octree build, and loading the same model
// from OBJ and 3DS bytes.
#include "scene/collision.h"
#include "scene/geometry.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

using namespace kavo::scene;

constexpr int kGrid = 224;  // 224 * 224 * 2 = 100,352 triangles
constexpr float kSize = 500.0f;

float Height(float x, float z) { return 8.0f * std::sin(x * 0.05f) * std::cos(z * 0.07f) + 0.02f * x; }

glm::vec3 GridPoint(int i, int j) {
  float x = kSize * i / kGrid, z = kSize * j / kGrid;
  return {x, Height(x, z), z};
}

const MeshData& Terrain() {
  static const MeshData data = [] {
    MeshData d;
    MeshObject obj;
    obj.name = "terrain";
    for (int j = 0; j <= kGrid; ++j)
      for (int i = 0; i <= kGrid; ++i) obj.positions.push_back(GridPoint(i, j));
    FaceGroup g;
    for (int j = 0; j < kGrid; ++j)
      for (int i = 0; i < kGrid; ++i) {
        uint32_t a = j * (kGrid + 1) + i, b = a + 1, c = a + kGrid + 1, e = c + 1;
        g.indices.insert(g.indices.end(), {a, c, b, b, c, e});
      }
    obj.faceGroups.push_back(std::move(g));
    d.objects.push_back(std::move(obj));
    return d;
  }();
  return data;
}

const TriangleOctree& Tree() {
  static const TriangleOctree tree = [] {
    TriangleOctree t;
    t.Build(Terrain(), 3);
    return t;
  }();
  return tree;
}

struct Rng {
  uint32_t s = 1;
  float Next() {
    s = s * 1664525u + 1013904223u;
    return float(s >> 8) / float(1 << 24);
  }
};

void BM_OctreeBuild(benchmark::State& state) {
  const MeshData& data = Terrain();
  for (auto _ : state) {
    TriangleOctree tree;
    tree.Build(data, 3);
    benchmark::DoNotOptimize(tree.CellCount());
  }
  TriangleOctree tree;
  tree.Build(data, 3);
  state.counters["triangles"] = double(tree.TriangleCount());
  state.counters["cells"] = double(tree.CellCount());
  state.counters["refs/tri"] = double(tree.LeafReferences()) / double(tree.TriangleCount());
  state.SetLabel("100k triangles, depth 3 minimum");
}
BENCHMARK(BM_OctreeBuild)->Unit(benchmark::kMillisecond);

// Straight down at random points: the walk-target and height probe case.
void BM_RayDown(benchmark::State& state) {
  const TriangleOctree& tree = Tree();
  Rng rng;
  int hits = 0;
  for (auto _ : state) {
    Ray ray{{rng.Next() * kSize, 100.0f, rng.Next() * kSize}, {0, -1, 0}};
    auto hit = tree.Intersect(ray);
    hits += hit.has_value();
    benchmark::DoNotOptimize(hit);
  }
  state.counters["hit rate"] = benchmark::Counter(double(hits), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RayDown)->Unit(benchmark::kMicrosecond);

// From a camera above one corner towards random ground points: long
// oblique rays crossing many cells, the pointer-picking case.
void BM_RayOblique(benchmark::State& state) {
  const TriangleOctree& tree = Tree();
  Rng rng;
  const glm::vec3 eye(-50.0f, 120.0f, -50.0f);
  int hits = 0;
  for (auto _ : state) {
    glm::vec3 target(rng.Next() * kSize, 0.0f, rng.Next() * kSize);
    Ray ray{eye, glm::normalize(target - eye)};
    auto hit = tree.Intersect(ray);
    hits += hit.has_value();
    benchmark::DoNotOptimize(hit);
  }
  state.counters["hit rate"] = benchmark::Counter(double(hits), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RayOblique)->Unit(benchmark::kMicrosecond);

// Grazing rays nearly parallel to the ground that mostly miss: the worst case.
void BM_RayGrazing(benchmark::State& state) {
  const TriangleOctree& tree = Tree();
  Rng rng;
  for (auto _ : state) {
    glm::vec3 o(-10.0f, 12.0f + rng.Next() * 4.0f, rng.Next() * kSize);
    Ray ray{o, glm::normalize(glm::vec3(1.0f, -0.002f, rng.Next() * 0.2f - 0.1f))};
    benchmark::DoNotOptimize(tree.Intersect(ray));
  }
}
BENCHMARK(BM_RayGrazing)->Unit(benchmark::kMicrosecond);

// A walking actor's sphere sliding over the 100k-triangle walk area.
void BM_SphereSlide(benchmark::State& state) {
  static CollisionManager cm;
  static bool once = [] {
    cm.AddStaticBody(Terrain(), glm::mat4(1.0f), WalkAreaBody());
    return true;
  }();
  (void)once;
  Rng rng;
  for (auto _ : state) {
    float x = 50.0f + rng.Next() * 400.0f, z = 50.0f + rng.Next() * 400.0f;
    glm::vec3 from(x, Height(x, z) + 6.0f, z);
    benchmark::DoNotOptimize(cm.SlideSphere(from, 5.0f, {2.0f, -3.0f, 1.0f}));
  }
}
BENCHMARK(BM_SphereSlide)->Unit(benchmark::kMicrosecond);

// One collision step of eight walking actors on the 100k-triangle walk area.
void BM_CollisionStep(benchmark::State& state) {
  CollisionManager cm;
  cm.AddStaticBody(Terrain(), glm::mat4(1.0f), WalkAreaBody());
  std::vector<BodyId> actors;
  DynamicBodyDesc desc;
  desc.size = glm::vec3(4.0f);
  for (int i = 0; i < 8; ++i) {
    float x = 100.0f + 40.0f * i, z = 250.0f;
    actors.push_back(cm.AddDynamicBody({x, Height(x, z) + 5.0f, z}, desc));
  }
  int frame = 0;
  for (auto _ : state) {
    for (BodyId a : actors) cm.AddOwnAcceleration(a, {0, 0, 500});
    cm.Step(1.0 / 60.0);
    if (++frame == 600) {  // keep them on the terrain
      state.PauseTiming();
      for (size_t i = 0; i < actors.size(); ++i) {
        float x = 100.0f + 40.0f * float(i), z = 250.0f;
        cm.SetPosition(actors[i], {x, Height(x, z) + 5.0f, z});
        cm.SetVelocity(actors[i], glm::vec3(0.0f));
      }
      frame = 0;
      state.ResumeTiming();
    }
  }
  state.SetLabel("8 actors");
}
BENCHMARK(BM_CollisionStep)->Unit(benchmark::kMicrosecond);

std::string FloatText(float f) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", double(f));
  return buf;
}

const std::string& ObjText() {
  static const std::string text = [] {
    std::string s;
    s.reserve(8 << 20);
    s += "o terrain\nusemtl ground\n";
    for (int j = 0; j <= kGrid; ++j)
      for (int i = 0; i <= kGrid; ++i) {
        glm::vec3 p = GridPoint(i, j);
        s += "v " + FloatText(p.x) + " " + FloatText(p.y) + " " + FloatText(p.z) + "\n";
        s += "vt " + FloatText(float(i) / kGrid) + " " + FloatText(float(j) / kGrid) + "\n";
      }
    for (int j = 0; j < kGrid; ++j)
      for (int i = 0; i < kGrid; ++i) {
        int a = j * (kGrid + 1) + i + 1, b = a + 1, c = a + kGrid + 1, e = c + 1;
        s += "f " + std::to_string(a) + "/" + std::to_string(a) + " " + std::to_string(c) + "/" + std::to_string(c) +
             " " + std::to_string(e) + "/" + std::to_string(e) + " " + std::to_string(b) + "/" + std::to_string(b) +
             "\n";
      }
    return s;
  }();
  return text;
}

void BM_LoadOBJ(benchmark::State& state) {
  const std::string& text = ObjText();
  for (auto _ : state) {
    MeshData data;
    std::string error;
    if (!LoadModel("terrain.obj", text, data, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(data.objects.size());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetLabel("100k triangles");
}
BENCHMARK(BM_LoadOBJ)->Unit(benchmark::kMillisecond);

// 3DS objects hold at most 65,535 vertices and faces: two halves of the grid.
const std::string& Text3DS() {
  static const std::string file = [] {
    auto u16 = [](std::string& s, uint16_t v) { s.push_back(char(v)), s.push_back(char(v >> 8)); };
    auto u32 = [&](std::string& s, uint32_t v) { u16(s, uint16_t(v)), u16(s, uint16_t(v >> 16)); };
    auto f32 = [&](std::string& s, float f) {
      uint32_t b;
      std::memcpy(&b, &f, 4);
      u32(s, b);
    };
    auto chunk = [&](uint16_t id, const std::string& body) {
      std::string s;
      u16(s, id);
      u32(s, uint32_t(body.size() + 6));
      return s + body;
    };
    std::string objects;
    const int half = kGrid / 2;
    for (int part = 0; part < 2; ++part) {
      const int j0 = part * half;
      std::string verts, uvs, faces;
      const int rows = half + 1, cols = kGrid + 1;
      u16(verts, uint16_t(rows * cols));
      u16(uvs, uint16_t(rows * cols));
      for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
          glm::vec3 p = GridPoint(i, j0 + j);
          f32(verts, p.x), f32(verts, p.y), f32(verts, p.z);
          f32(uvs, float(i) / kGrid), f32(uvs, float(j0 + j) / kGrid);
        }
      u16(faces, uint16_t(half * kGrid * 2));
      std::string group = std::string("ground") + '\0';
      u16(group, uint16_t(half * kGrid * 2));
      int f = 0;
      for (int j = 0; j < half; ++j)
        for (int i = 0; i < kGrid; ++i) {
          uint16_t a = uint16_t(j * cols + i), b = uint16_t(a + 1), c = uint16_t(a + cols), e = uint16_t(c + 1);
          for (uint16_t v : {a, c, b, uint16_t(0), b, c, e, uint16_t(0)}) u16(faces, v);
          u16(group, uint16_t(f++));
          u16(group, uint16_t(f++));
        }
      std::string mesh = chunk(0x4110, verts) + chunk(0x4140, uvs) + chunk(0x4120, faces + chunk(0x4130, group));
      objects += chunk(0x4000, "part" + std::to_string(part) + '\0' + chunk(0x4100, mesh));
    }
    return chunk(0x4D4D, chunk(0x3D3D, objects));
  }();
  return file;
}

void BM_Load3DS(benchmark::State& state) {
  const std::string& file = Text3DS();
  for (auto _ : state) {
    MeshData data;
    std::string error;
    if (!LoadModel("terrain.3ds", file, data, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(data.objects.size());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
  state.SetLabel("100k triangles");
}
BENCHMARK(BM_Load3DS)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
