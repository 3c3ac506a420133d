// The sound system's plays: the first play of a sample decodes it, every
// later play reuses the decoded chunk. Measured for a 1 s WAV and for 10 s
// and 180 s of Ogg Vorbis music (WAV when the Vorbis encoder is not there to
// make them), all 44.1 kHz stereo played on the engine's 22.05 kHz mixer.
// The replay benchmarks report `ratio`: a replay's time over the first
// play's (the engine wants at most 0.05).
//
//   ninja -C build bench_sound && SDL_AUDIODRIVER=dummy ./build/bench/bench_sound
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "audio/soundsystem.h"
#include "platform/audio.h"

#ifdef KAVO_BENCH_OGG
#include <vorbis/vorbisenc.h>
#endif

namespace {

constexpr int kRate = 44100;

// A tone with a slow sweep and a little noise, so an encoder has work.
float Sample(int64_t frame, int channel) {
  const double t = double(frame) / kRate;
  uint32_t noise = uint32_t(frame * 2654435761u + channel * 40503u);
  noise ^= noise >> 13;
  return float(0.3 * std::sin(2 * M_PI * (220 + 40 * std::sin(t)) * t + channel) +
               0.02 * (double(noise & 0xffff) / 65535.0 - 0.5));
}

std::string Wav(int seconds) {
  const uint32_t frames = uint32_t(kRate) * uint32_t(seconds);
  const uint32_t bytes = frames * 4;
  std::string s;
  auto put16 = [&](uint32_t v) {
    s += char(v & 0xff);
    s += char((v >> 8) & 0xff);
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xffff);
    put16(v >> 16);
  };
  s += "RIFF";
  put32(36 + bytes);
  s += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(2);
  put32(kRate);
  put32(kRate * 4);
  put16(4);
  put16(16);
  s += "data";
  put32(bytes);
  s.reserve(s.size() + bytes);
  for (uint32_t f = 0; f < frames; ++f)
    for (int c = 0; c < 2; ++c) put16(uint16_t(int16_t(Sample(f, c) * 32767)));
  return s;
}

#ifdef KAVO_BENCH_OGG
std::string Ogg(int seconds) {
  std::string out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 2, kRate, 0.3f) != 0) {
    std::fprintf(stderr, "the Vorbis encoder refused its settings\n");
    std::exit(1);
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1);
  ogg_page og;
  ogg_packet op, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &op, &comments, &codebooks);
  ogg_stream_packetin(&os, &op);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  auto page = [&] {
    out.append(reinterpret_cast<const char*>(og.header), size_t(og.header_len));
    out.append(reinterpret_cast<const char*>(og.body), size_t(og.body_len));
  };
  while (ogg_stream_flush(&os, &og) != 0) page();
  auto drain = [&] {
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      while (vorbis_bitrate_flushpacket(&vd, &op) != 0) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og) != 0) page();
      }
    }
  };
  const int64_t frames = int64_t(kRate) * seconds;
  for (int64_t at = 0; at < frames; at += 1024) {
    const int n = int(std::min<int64_t>(1024, frames - at));
    float** buffer = vorbis_analysis_buffer(&vd, n);
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < 2; ++c) buffer[c][i] = Sample(at + i, c);
    vorbis_analysis_wrote(&vd, n);
    drain();
  }
  vorbis_analysis_wrote(&vd, 0);
  drain();
  while (ogg_stream_flush(&os, &og) != 0) page();
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}
#endif

// The music files: Ogg when it can be made here.
std::string Music(int seconds) {
#ifdef KAVO_BENCH_OGG
  return Ogg(seconds);
#else
  return Wav(seconds);
#endif
}

struct ManualTime : kavo::TTimeSource {
  double Now() override { return t; }
  double t = 0;
};

struct Audio {
  Audio() {
    std::string error;
    if (!mixer.Open(error)) {
      std::fprintf(stderr, "cannot open the mixer: %s\n", error.c_str());
      std::exit(1);
    }
  }
  ManualTime time;
  kavo::TVirtualAudioMixer mixer{time};
};

Audio& TheAudio() {
  static Audio a;
  return a;
}

const std::string& File(int which) {
  static std::map<int, std::string> files;
  auto it = files.find(which);
  if (it == files.end()) it = files.emplace(which, which == 1 ? Wav(1) : Music(which)).first;
  return it->second;
}

// One first play: a new sample's decode and its start.
double FirstPlaySeconds(kavo::TSDLSoundSystem& sys, const std::string& bytes) {
  sys.UnloadAll();
  sys.AddFromStream("sample", bytes);
  const auto start = std::chrono::steady_clock::now();
  sys.Play(0, false);
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sys.Stop(0);
  return took;
}

void BM_FirstPlay(benchmark::State& state) {
  Audio& a = TheAudio();
  kavo::TSDLSoundSystem sys(a.mixer);
  const std::string& bytes = File(int(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    sys.UnloadAll();
    sys.AddFromStream("sample", bytes);
    state.ResumeTiming();
    sys.Play(0, false);
    state.PauseTiming();
    sys.Stop(0);
    state.ResumeTiming();
  }
  if (!sys.IsLoaded("sample") || sys.DecodedBytes() == 0) state.SkipWithError("the sample did not decode");
  state.counters["encoded_kB"] = double(bytes.size()) / 1024.0;
}
BENCHMARK(BM_FirstPlay)->Arg(1)->Arg(10)->Arg(180)->Unit(benchmark::kMillisecond);

void BM_Replay(benchmark::State& state) {
  Audio& a = TheAudio();
  kavo::TSDLSoundSystem sys(a.mixer);
  const std::string& bytes = File(int(state.range(0)));
  // The first play's cost: the best of three.
  double first = 1e9;
  for (int i = 0; i < 3; ++i) first = std::min(first, FirstPlaySeconds(sys, bytes));
  for (auto _ : state) {
    sys.Play(0, false);
    sys.Stop(0);
  }
  // The best replay against the best first play, from the same timer.
  double replay = 1e9;
  for (int i = 0; i < 1000; ++i) {
    const auto start = std::chrono::steady_clock::now();
    sys.Play(0, false);
    replay = std::min(replay, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    sys.Stop(0);
  }
  state.counters["first_play_ms"] = first * 1000.0;
  state.counters["ratio"] = replay / first;
}
BENCHMARK(BM_Replay)->Arg(1)->Arg(10)->Arg(180)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
