// Decoding speed of the archive methods beside zlib's inflate on the same
// data, and the cost of resolving a name that lies in an open archive.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>

#include "archive/archive.h"
#include "archive/codecs.h"
#include "platform/files.h"
#include "script/filemanager.h"

namespace {

using namespace kavo;

// Script-like text: Lua lines built from a vocabulary, 4 MiB.
std::string MakeText() {
  std::mt19937 rng(1234);
  const char* words[] = {"local", "function", "end", "if", "then", "else", "return", "Game", "Actor", "Room",
                         "TMesh.Create", "SetPosition", "OnMouseDown", "Walk", "Say", "\"Hello there\"",
                         "=", "==", "(", ")", ",", "nil", "true", "false", "for", "in", "pairs", "x", "y", "z"};
  std::string s;
  while (s.size() < (size_t(4) << 20)) {
    s.append(2 * (rng() % 4), ' ');
    const int n = 3 + rng() % 8;
    for (int i = 0; i < n; ++i) {
      s += words[rng() % 30];
      if (rng() % 3 == 0) s += std::to_string(rng() % 1000);
      s += ' ';
    }
    s += "\r\n";
  }
  return s;
}

// Model-like binary: vertex records of slowly varying floats, normals,
// texture coordinates and index triples, 4 MiB.
std::string MakeModel() {
  std::mt19937 rng(99);
  std::normal_distribution<float> jitter(0.f, 0.01f);
  std::string s;
  float x = 0, y = 0, z = 0;
  uint32_t index = 0;
  auto put = [&](const void* p, size_t n) { s.append(static_cast<const char*>(p), n); };
  while (s.size() < (size_t(4) << 20)) {
    x += 0.01f + jitter(rng);
    y = std::sin(x) * 2.f;
    z += jitter(rng);
    const float v[8] = {x, y, z, 0.f, 1.f, 0.f, std::fmod(x, 1.f), std::fmod(z + 10.f, 1.f)};
    put(v, sizeof v);
    const uint16_t tri[3] = {uint16_t(index), uint16_t(index + 1), uint16_t(index + 2)};
    put(tri, sizeof tri);
    ++index;
  }
  return s;
}

struct Coded {
  std::string plain, block, huffman, zlib;
};

const Coded& Data(int which) {
  static Coded sets[2];
  static bool ready[2] = {false, false};
  Coded& c = sets[which];
  if (!ready[which]) {
    c.plain = which == 0 ? MakeText() : MakeModel();
    c.block = EncodeBlockMethod(c.plain);
    c.huffman = EncodeLzhuf(c.plain);
    uLongf len = compressBound(c.plain.size());
    c.zlib.resize(len);
    compress2(reinterpret_cast<Bytef*>(c.zlib.data()), &len, reinterpret_cast<const Bytef*>(c.plain.data()),
              c.plain.size(), 6);
    c.zlib.resize(len);
    std::fprintf(stderr, "%s data, %zu bytes: block %.1f%%, huffman %.1f%%, zlib %.1f%% of the size\n",
                 which == 0 ? "text" : "model", c.plain.size(), 100.0 * c.block.size() / c.plain.size(),
                 100.0 * c.huffman.size() / c.plain.size(), 100.0 * c.zlib.size() / c.plain.size());
    ready[which] = true;
  }
  return c;
}

void Finish(benchmark::State& state, const Coded& c, size_t coded) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.plain.size()));
  state.counters["ratio"] = double(coded) / double(c.plain.size());
}

void BM_DecodeBlock(benchmark::State& state) {
  const Coded& c = Data(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(DecodeBlockMethod(c.block, c.plain.size()));
  Finish(state, c, c.block.size());
}

void BM_DecodeHuffman(benchmark::State& state) {
  const Coded& c = Data(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(DecodeLzhuf(c.huffman, c.plain.size()));
  Finish(state, c, c.huffman.size());
}

void BM_Inflate(benchmark::State& state) {
  const Coded& c = Data(int(state.range(0)));
  std::string out;
  for (auto _ : state) {
    out.resize(c.plain.size());  // the same output allocation our decoders make
    uLongf len = out.size();
    uncompress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(c.zlib.data()),
               c.zlib.size());
    benchmark::DoNotOptimize(out);
    out = std::string();
  }
  Finish(state, c, c.zlib.size());
}

// 0 = text, 1 = model-like binary.
BENCHMARK(BM_DecodeBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeHuffman)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

struct ResolveFixture {
  std::string root, data;
  TKavoArchiveReader reader;
  ResolveFixture() {
    char tmpl[] = "/tmp/kavo-bench-XXXXXX";
    root = mkdtemp(tmpl);
    data = root + "/data/";
    std::filesystem::create_directories(data + "rooms");
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 500; ++i) entries.push_back({"hall\\mesh" + std::to_string(i) + ".3ds", "m"});
    entries.push_back({"hall\\hall.3ds", "hall"});
    Files().WriteFile(data + "rooms.kvo", BuildKavoArchive(TKavoPackMethod::Stored, entries));
    for (int i = 0; i < 40; ++i) Files().WriteFile(data + "file" + std::to_string(i) + ".txt", "x");
    reader.Open(data + "rooms.kvo");
    // A shipped game's folders have not changed for a while; freshly changed
    // folders are listed again at every resolution.
    const struct timespec old[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    for (const std::string& d : {data, data + "rooms"}) utimensat(AT_FDCWD, d.c_str(), old, 0);
  }
  ~ResolveFixture() { std::filesystem::remove_all(root); }
};

ResolveFixture& Fixture() {
  static ResolveFixture f;
  return f;
}

void BM_ResolveInArchive(benchmark::State& state) {
  ResolveFixture& f = Fixture();
  TKavoFileLocation loc;
  for (auto _ : state) {
    ResolveFileName("Rooms\\Hall\\Hall.3DS", f.data, loc);
    benchmark::DoNotOptimize(loc);
  }
  if (loc.ArchiveName != "rooms.kvo") state.SkipWithError("not resolved into the archive");
}

void BM_ResolveAndFindEntry(benchmark::State& state) {
  ResolveFixture& f = Fixture();
  TKavoFileLocation loc;
  for (auto _ : state) {
    ResolveFileName("rooms\\hall\\hall.3ds", f.data, loc);
    f.reader.Open(loc.ArchiveFolder + loc.ArchiveName);
    benchmark::DoNotOptimize(f.reader.Contains(loc.ResolvedPath));
  }
}

BENCHMARK(BM_ResolveInArchive)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResolveAndFindEntry)->Unit(benchmark::kMicrosecond);

// Prints each decoder's speed beside inflate's on the same data at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end() && r.run_type == Run::RT_Iteration) speed_[r.benchmark_name()] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Summary() const {
    for (const char* arg : {"0", "1"}) {
      const std::string suffix = std::string("/") + arg;
      auto get = [&](const std::string& n) {
        auto it = speed_.find(n + suffix);
        return it == speed_.end() ? 0.0 : it->second;
      };
      const double inflate = get("BM_Inflate"), block = get("BM_DecodeBlock"), huff = get("BM_DecodeHuffman");
      if (inflate <= 0) continue;
      std::printf("%s: inflate %.0f MB/s, block method %.0f MB/s (%.2fx inflate, goal >= 1), "
                  "huffman %.0f MB/s (%.2fx inflate, goal >= 0.10)\n",
                  arg[0] == '0' ? "text" : "model", inflate / 1e6, block / 1e6, block / inflate, huff / 1e6,
                  huff / inflate);
    }
  }

 private:
  std::map<std::string, double> speed_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Summary();
  benchmark::Shutdown();
  return 0;
}
