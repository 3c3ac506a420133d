// HUD and speech costs:
//  - drawing 100, 1,000 and 5,000 characters in HUD texts of 20 characters
//    against as many HUD sprites (one quad each), with the null renderer
//    and with the GL renderer on a hidden offscreen window;
//  - writing THudtext.Text with 10, 100 and 1,000 characters from Lua
//    against writing a short-string property (HAlign);
//  - one speech step with 10, 100 and 1,000 queued lines against one call
//    of an empty Lua event (counter "calls": the step's cost in event calls).
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "game/gameservices.h"
#include "platform/test_platform.h"
#include "scene/bitmapfont.h"
#include "scene/glrenderer.h"
#include "scene/glwindow.h"
#include "scene/nodes.h"
#include "scene/renderer.h"
#include "scene/view.h"
#include "script/context.h"
#include "script/environment.h"
#include "shell/kavoform.h"
#include "world/actorspeech.h"

using namespace kavo;
using namespace kavo::scene;

namespace {

// A font of 8-pixel glyphs on a 64 x 64 picture.
void FillPicture(Texture& t) {
  t.SetPixels(64, 64, std::vector<uint8_t>(64 * 64 * 4, 255), false);
  t.SetFormat(TextureFormat::RGBA);
  t.SetAlphaMode(TextureAlphaMode::BlackTransparent);
}

BitmapFont& BenchFont() {
  static BitmapFont f;
  static bool made = [] {
    f.data.charHeight = 12;
    for (int c = 32; c < 127; ++c) {
      f.data.widths[c] = 8;
      const int cell = c - 32;
      f.data.rects[c] = {float(cell % 8) / 8.0f, 1.0f - float(cell / 8) / 12.0f, float(cell % 8 + 1) / 8.0f,
                         1.0f - float(cell / 8 + 1) / 12.0f};
    }
    FillPicture(f.picture);
    return true;
  }();
  (void)made;
  return f;
}

struct HudScene {
  std::unique_ptr<Node> root = std::make_unique<Node>("root");
  View view;
  HudScene(int characters, bool texts) {
    auto* hud = root->CreateChild<GroupNode>("hud");
    if (texts) {
      const std::string line = "Twenty characters ok";
      for (int i = 0; i < characters / 20; ++i) {
        auto* t = hud->CreateChild<HudTextNode>("t" + std::to_string(i));
        t->font = &BenchFont();
        t->text = line;
        t->SetXY(float(100 + (i * 37) % 600), float(20 + (i * 13) % 560));
      }
    } else {
      for (int i = 0; i < characters; ++i) {
        auto* s = hud->CreateChild<HudSpriteNode>("s" + std::to_string(i));
        FillPicture(s->material.texture.image);
        s->material.texture.enabled = true;
        s->material.blending = BlendingMode::Transparency;
        s->width = 8;
        s->height = 12;
        s->SetScale(8, 12, 1);
        s->SetXY(float(4 + (i * 8) % 792), float(6 + (i / 99 * 12) % 588));
      }
    }
    view.SetRoot(root.get());
    view.SetSize(800, 600);
  }
};

void BM_HudNull(benchmark::State& state) {
  HudScene s(int(state.range(0)), state.range(1) != 0);
  NullRenderer r;
  for (auto _ : state) {
    r.Render(s.view);
    benchmark::DoNotOptimize(r.Drawn().data());
  }
  state.SetLabel(state.range(1) ? "texts" : "sprites");
}
BENCHMARK(BM_HudNull)->ArgsProduct({{100, 1000, 5000}, {1, 0}})->Unit(benchmark::kMicrosecond);

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

void BM_HudGL(benchmark::State& state) {
  static GLFixture gl;
  if (!gl.ok) {
    state.SkipWithError(("no GL context: " + gl.error).c_str());
    return;
  }
  auto s = std::make_unique<HudScene>(int(state.range(0)), state.range(1) != 0);
  GLRenderer r;
  r.Render(s->view);
  glFinish();
  for (auto _ : state) {
    r.Render(s->view);
    glFinish();
  }
  state.SetLabel(state.range(1) ? "texts" : "sprites");
  s.reset();
}
BENCHMARK(BM_HudGL)->ArgsProduct({{100, 1000, 5000}, {1, 0}})->Unit(benchmark::kMicrosecond)->UseRealTime();

// A live engine with one HUD text and one actor.
struct Engine {
  TTestPlatform platform;
  std::string dir;
  std::unique_ptr<TKavoForm> form;
  Engine() {
    dir = bench::MakeGameFolder("Game = TGame.Create() Game.Debug = false");
    form = bench::StartGame(platform, dir);
    form->Context().speechFont = &BenchFont();
    form->Script().RunLine("t = THudtext.Create() a = TActor.Create() function noop() end");
  }
  ~Engine() {
    form.reset();
    bench::RemoveGameFolder(dir);
  }
  // Runs `body` 1,000 times in one Lua loop.
  void Loop(const std::string& setup, const std::string& body) {
    form->Script().RunLine(setup + " for i = 1, 1000 do " + body + " end");
  }
};

Engine& TheEngine() {
  static Engine e;
  return e;
}

void BM_TextWrite(benchmark::State& state) {
  Engine& e = TheEngine();
  const std::string setup = "local s = string.rep('abcdefghij', " + std::to_string(state.range(0) / 10) + ")";
  for (auto _ : state) e.Loop(setup, "t.Text = s");
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_TextWrite)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_ShortStringWrite(benchmark::State& state) {
  Engine& e = TheEngine();
  for (auto _ : state) e.Loop("local s = 'left'", "t.HAlign = s");
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ShortStringWrite)->Unit(benchmark::kMicrosecond);

void BM_EmptyEventCall(benchmark::State& state) {
  Engine& e = TheEngine();
  for (auto _ : state) benchmark::DoNotOptimize(CallEvent(e.form->Context(), "", "noop"));
}
BENCHMARK(BM_EmptyEventCall);

// One speech step over n queued lines: the first on show, the others
// waiting (blocking, long).
void BM_SpeechStep(benchmark::State& state) {
  Engine& e = TheEngine();
  TKavoContext& ctx = e.form->Context();
  e.form->Script().RunLine("Game.ClearConversations() for i = 1, " + std::to_string(state.range(0)) +
                           " do a.Say('A line of speech', 1000000000) end");
  RunSpeechStep(ctx);
  for (auto _ : state) RunSpeechStep(ctx);
  state.counters["lines"] = double(ctx.services->speechQueue.size());
  e.form->Script().RunLine("Game.ClearConversations()");
}
BENCHMARK(BM_SpeechStep)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
