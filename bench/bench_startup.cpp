// Start-up: a whole headless kavo process on a minimal game, from process
// start through the first frame (and the close after it, so the figure is
// an upper bound of the time to the first frame).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

extern char** environ;

namespace {

std::string MakeGame() {
  char tmpl[] = "/tmp/kavo-bench-start-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  dir += "/";
  std::system(("mkdir -p " + dir + "data/GUI && cp " KAVO_BINARY_DIR "/kavo " + dir).c_str());
  std::ofstream(dir + "data/config.lua") << "Game = TGame.Create()\n";
  std::system(("cp " KAVO_SOURCE_DIR "/tests/data/models/walkpawns.3ds " + dir + "data/GUI/").c_str());
  return dir;
}

void BM_StartupToFirstFrame(benchmark::State& state) {
  static std::string dir = MakeGame();
  std::string exe = dir + "kavo";
  std::string log = dir + "log.txt";
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  for (auto _ : state) {
    const char* argv[] = {exe.c_str(), "--headless", "--frames", "1", "--fixed-step", "10", nullptr};
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("spawn failed");
      return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    auto t1 = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("kavo failed");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
}
BENCHMARK(BM_StartupToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
