// The audio mixer seam: one contract run against the SDL_mixer mixer (on
// SDL's dummy driver) and the virtual mixer, then the virtual mixer's timing
// on an injected clock, and decoding of generated and broken WAV files.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio.h"

#include <SDL_mixer.h>

namespace kavo {
namespace {

struct ManualTime : TTimeSource {
  double Now() override { return t; }
  double t = 0;
};

void Put16(std::string& s, uint32_t v) {
  s += char(v & 0xff);
  s += char((v >> 8) & 0xff);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xffff);
  Put16(s, v >> 16);
}

// A 16-bit PCM WAV of a quiet square wave. formatTag and dataSize may lie.
std::string MakeWav(int rate, int channels, int frames, uint16_t formatTag = 1, int64_t dataSize = -1) {
  const uint32_t bytes = uint32_t(frames) * uint32_t(channels) * 2;
  std::string s = "RIFF";
  Put32(s, 36 + bytes);
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, formatTag);
  Put16(s, uint16_t(channels));
  Put32(s, uint32_t(rate));
  Put32(s, uint32_t(rate * channels * 2));
  Put16(s, uint16_t(channels * 2));
  Put16(s, 16);
  s += "data";
  Put32(s, dataSize >= 0 ? uint32_t(dataSize) : bytes);
  for (int f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) Put16(s, (f / 20) % 2 ? 0x0400 : 0xfc00);
  return s;
}

enum class Kind { Sdl, Virtual };

class AudioMixerContract : public testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (GetParam() == Kind::Sdl)
      mixer = std::make_unique<TSdlAudioMixer>();
    else
      mixer = std::make_unique<TVirtualAudioMixer>(time);
    std::string error;
    // A short device buffer: closing waits for the device's last one.
    ASSERT_TRUE(mixer->Open(22050, 2, 512, error)) << error;
    ASSERT_EQ(mixer->Channels(), 32);
    // Long enough that nothing ends on its own while the SDL mixer's device
    // runs in real time.
    a = Decode(MakeWav(22050, 1, 22050 * 5), "a.wav");
    b = Decode(MakeWav(22050, 2, 22050 * 5), "b.wav");
  }
  TAudioChunkPtr Decode(const std::string& bytes, const std::string& name) {
    std::string error;
    TAudioChunkPtr chunk = mixer->Decode(bytes, name, error);
    EXPECT_TRUE(chunk) << error;
    return chunk;
  }

  ManualTime time;
  std::unique_ptr<IAudioMixer> mixer;
  TAudioChunkPtr a, b;
};

TEST_P(AudioMixerContract, PlayHaltAndChannelState) {
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Frames(), 22050 * 5);
  EXPECT_DOUBLE_EQ(a->Seconds(), 5.0);

  const int first = mixer->Play(a, -1);
  ASSERT_EQ(first, 0) << mixer->LastError();
  EXPECT_TRUE(mixer->IsPlaying(0));
  EXPECT_EQ(mixer->ChunkOn(0), a.get());
  EXPECT_EQ(mixer->Volume(0), 128);
  EXPECT_EQ(mixer->Play(a, -1), 1);
  EXPECT_FALSE(mixer->IsPlaying(2));
  EXPECT_EQ(mixer->ChunkOn(2), nullptr);

  // Volume is clamped to 0..128; panning is taken, out-of-range sides clamped.
  for (auto [set, got] : {std::pair{40, 40}, {0, 0}, {500, 128}, {-5, 0}, {128, 128}}) {
    EXPECT_TRUE(mixer->SetVolume(0, set)) << set;
    EXPECT_EQ(mixer->Volume(0), got) << set;
  }
  EXPECT_TRUE(mixer->SetVolume(0, 40));
  EXPECT_TRUE(mixer->SetPanning(0, 255, 0));
  EXPECT_TRUE(mixer->SetPanning(1, 300, -1));

  // A halted channel is reported ended and is the first free one again:
  // another sample takes it over, at full volume whatever it had before.
  EXPECT_TRUE(mixer->Halt(0));
  EXPECT_FALSE(mixer->IsPlaying(0));
  EXPECT_EQ(mixer->ChunkOn(0), nullptr);
  EXPECT_EQ(mixer->TakeFinished(), std::vector<int>{0});
  EXPECT_TRUE(mixer->TakeFinished().empty());
  EXPECT_TRUE(mixer->Halt(5));  // halting an idle channel is no fault, nor an end
  EXPECT_TRUE(mixer->TakeFinished().empty());
  EXPECT_EQ(mixer->Play(b, 0), 0);
  EXPECT_EQ(mixer->ChunkOn(0), b.get());
  EXPECT_EQ(mixer->ChunkOn(1), a.get());
  EXPECT_EQ(mixer->Volume(0), 128);
  EXPECT_EQ(mixer->Play(b, 0, 0, 70), 2);
  EXPECT_EQ(mixer->Volume(2), 70);

  EXPECT_EQ(mixer->Play(nullptr, 0), -1);
  EXPECT_FALSE(mixer->LastError().empty());
  EXPECT_EQ(mixer->Play(a, -2), -1);
  EXPECT_FALSE(mixer->LastError().empty());

  // Closing halts everything and lets the chunks go.
  std::weak_ptr<TAudioChunk> weakA = a;
  a.reset();
  mixer->Close();
  EXPECT_TRUE(weakA.expired());
  EXPECT_FALSE(mixer->IsOpen());
  EXPECT_EQ(mixer->Channels(), 0);
}

TEST_P(AudioMixerContract, BadChannelsAreRefusedEverywhere) {
  ASSERT_EQ(mixer->Play(a, -1), 0);
  auto expectRefused = [&](int ch) {
    SCOPED_TRACE(ch);
    EXPECT_FALSE(mixer->IsPlaying(ch));
    EXPECT_EQ(mixer->ChunkOn(ch), nullptr);
    EXPECT_FALSE(mixer->Halt(ch));
    EXPECT_FALSE(mixer->SetVolume(ch, 10));
    EXPECT_EQ(mixer->Volume(ch), -1);
    EXPECT_FALSE(mixer->SetPanning(ch, 10, 10));
    EXPECT_FALSE(mixer->FadeOut(ch, 100));
    EXPECT_FALSE(mixer->LastError().empty());
  };
  for (int ch : {-1, 32, 1000, -1000}) expectRefused(ch);
  // -1 never reached SDL_mixer as "all channels".
  EXPECT_TRUE(mixer->IsPlaying(0));
  EXPECT_EQ(mixer->Volume(0), 128);
  EXPECT_TRUE(mixer->TakeFinished().empty());

  mixer->Close();
  expectRefused(0);
  EXPECT_EQ(mixer->Play(b, 0), -1);
  std::string error;
  EXPECT_EQ(mixer->Decode(MakeWav(22050, 1, 100), "late.wav", error), nullptr);
  EXPECT_NE(error.find("late.wav"), std::string::npos) << error;
}

TEST_P(AudioMixerContract, AllChannelsBusyAndOneDecodeServesThemAll) {
  const int alive = TAudioChunk::Alive();
  for (int i = 0; i < 32; ++i) ASSERT_EQ(mixer->Play(a, -1), i) << mixer->LastError();
  EXPECT_EQ(TAudioChunk::Alive(), alive);  // no play decoded again
  for (int i = 0; i < 32; ++i) EXPECT_EQ(mixer->ChunkOn(i), a.get());
  EXPECT_EQ(mixer->Play(b, 0), -1);
  EXPECT_NE(mixer->LastError().find("No free channel"), std::string::npos) << mixer->LastError();
  EXPECT_EQ(mixer->ChunkOn(31), a.get());
  EXPECT_TRUE(mixer->Halt(17));
  EXPECT_EQ(mixer->Play(b, 0), 17);
}

TEST_P(AudioMixerContract, ChunkOutlivesItsOwnerWhilePlaying) {
  std::weak_ptr<TAudioChunk> weak = a;
  ASSERT_EQ(mixer->Play(a, -1), 0);
  ASSERT_EQ(mixer->Play(a, -1), 1);
  a.reset();
  EXPECT_FALSE(weak.expired());
  EXPECT_TRUE(mixer->Halt(0));
  EXPECT_FALSE(weak.expired());  // still heard on channel 1
  EXPECT_NE(mixer->ChunkOn(1), nullptr);
  EXPECT_TRUE(mixer->Halt(1));
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(mixer->TakeFinished(), (std::vector<int>{0, 1}));
}

TEST_P(AudioMixerContract, DecodeFailuresSayWhy) {
  std::string hugeData = MakeWav(22050, 1, 10, 1, 0xfffffff0u);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"not a sound", "this is a text file, not a sound at all"},
      {"cut header", MakeWav(22050, 1, 100).substr(0, 30)},
      {"unknown encoding", MakeWav(22050, 1, 100, 0x7777)},
      {"no frames", MakeWav(22050, 1, 0)},
      {"zero channels", MakeWav(22050, 0, 100)},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(mixer->Decode(c.bytes, "broken.wav", error), nullptr) << c.what;
    EXPECT_NE(error.find("broken.wav"), std::string::npos) << c.what << ": " << error;
    EXPECT_GT(error.size(), std::string("Cannot decode sound 'broken.wav': ").size()) << c.what;
  }
  // A data size far beyond the file gives at most the frames that are there.
  std::string error;
  if (TAudioChunkPtr chunk = mixer->Decode(hugeData, "huge.wav", error)) EXPECT_LE(chunk->Frames(), 10);
  else EXPECT_FALSE(error.empty());
  // Another rate is converted to the device's and keeps its length.
  TAudioChunkPtr slow = Decode(MakeWav(11025, 2, 5512), "slow.wav");
  ASSERT_TRUE(slow);
  EXPECT_EQ(slow->Frequency(), 22050);
  EXPECT_NEAR(slow->Seconds(), 0.5, 0.01);
}

// Bytes SDL_mixer tells no format from must not leave the memory reader it
// was handed behind: counted by SDL's own allocation count, after a first
// failure made SDL's per-thread error buffer.
TEST_P(AudioMixerContract, RefusedBytesLeaveNothingAllocated) {
  const std::string unknown[] = {"RRIFF", "this is a text file, not a sound at all", std::string(64, '\0')};
  std::string error;
  EXPECT_EQ(mixer->Decode("warm up", "x.wav", error), nullptr);
  for (const std::string& bytes : unknown) {
    const int before = SDL_GetNumAllocations();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(mixer->Decode(bytes, "x.wav", error), nullptr) << bytes;
    EXPECT_EQ(SDL_GetNumAllocations(), before) << bytes;
  }
}

// The largest single request SDL (and SDL_mixer, which allocates through
// it) made while installed; requests go on to SDL's own functions.
struct SdlAllocationWatch {
  SdlAllocationWatch() {
    SDL_GetMemoryFunctions(&malloc_, &calloc_, &realloc_, &free_);
    largest = 0;
    SDL_SetMemoryFunctions(
        [](size_t n) { return Note(n), malloc_(n); }, [](size_t a, size_t b) { return Note(a * b), calloc_(a, b); },
        [](void* p, size_t n) { return Note(n), realloc_(p, n); }, [](void* p) { free_(p); });
  }
  ~SdlAllocationWatch() { SDL_SetMemoryFunctions(malloc_, calloc_, realloc_, free_); }
  static void Note(size_t n) {
    for (size_t was = largest; n > was && !largest.compare_exchange_weak(was, n);) {}
  }
  static inline std::atomic<size_t> largest{0};
  static inline SDL_malloc_func malloc_;
  static inline SDL_calloc_func calloc_;
  static inline SDL_realloc_func realloc_;
  static inline SDL_free_func free_;
};

std::string Voc(uint32_t blockLength, int samples) {
  std::string s = "Creative Voice File\x1a";
  Put16(s, 26);
  Put16(s, 0x010A);
  Put16(s, 0x1129);
  s += char(1);  // sound data: length, time constant, packing, samples
  s += char(blockLength & 0xff);
  s += char((blockLength >> 8) & 0xff);
  s += char((blockLength >> 16) & 0xff);
  s += char(256 - 1000000 / 11025);
  s += char(0);
  for (int i = 0; i < samples; ++i) s += char(i % 16 < 8 ? 0x90 : 0x70);
  return s + char(0);
}

std::string Aiff(uint32_t frames, int bytesThere, uint32_t channels = 2) {
  auto big16 = [](std::string& s, uint32_t v) { s += char(v >> 8), s += char(v & 0xff); };
  auto big32 = [&](std::string& s, uint32_t v) { big16(s, v >> 16), big16(s, v & 0xffff); };
  std::string comm, body = "AIFFCOMM";
  big16(comm, channels);
  big32(comm, frames);
  big16(comm, 8);  // bits
  comm += std::string("\x40\x0e\xac\x44\0\0\0\0\0\0", 10);  // 44100 Hz
  big32(body, uint32_t(comm.size()));
  body += comm + "SSND";
  big32(body, 8 + frames * 2);
  body += std::string(8, '\0') + std::string(size_t(bytesThere), '\x28');
  std::string s = "FORM";
  big32(s, uint32_t(body.size()));
  return s + body;
}

// Sizes a file states beyond its end: SDL's readers allocate what is stated
// (4 GB for the WAV) or lose the buffer
// they made for it (the AIFF). The WAV plays the frames it holds.
TEST_P(AudioMixerContract, StatedSizesBeyondTheFileAreNotAllocated) {
  struct Case {
    const char* what;
    std::string bytes;
    int64_t frames;  // 0: refused
  } cases[] = {
      {"WAV data chunk says 4 GB", MakeWav(22050, 1, 100, 1, 0xffff0100u), 100},
      {"VOC block says 16 MB", Voc(0xffffff, 300), 0},
      {"AIFF states 200 frames, holds 16 bytes", Aiff(200, 16), 0},
      {"AIFF of no channels", Aiff(200, 400, 0), 0},  // SDL_mixer lost the empty buffer it made
  };
  std::string error;
  EXPECT_EQ(mixer->Decode("warm up", "x.wav", error), nullptr);
  for (const Case& c : cases) {
    const int before = SDL_GetNumAllocations();
    {
      SdlAllocationWatch watch;
      TAudioChunkPtr chunk = mixer->Decode(c.bytes, "cut.snd", error);
      if (c.frames > 0) {
        ASSERT_TRUE(chunk) << c.what << ": " << error;
        EXPECT_EQ(chunk->Frames(), c.frames) << c.what;
      } else {
        EXPECT_FALSE(chunk) << c.what;
        EXPECT_NE(error.find("cut.snd"), std::string::npos) << c.what << ": " << error;
      }
      EXPECT_LT(SdlAllocationWatch::largest.load(), size_t(1) << 20) << c.what;
    }
    EXPECT_EQ(SDL_GetNumAllocations(), before) << c.what;
  }
  // The AIFF whole still decodes; Creative Voice files are refused whole
  // (SDL_mixer's reader writes past its buffer on damaged ones).
  EXPECT_TRUE(Decode(Aiff(200, 400), "whole.aiff"));
  EXPECT_EQ(mixer->Decode(Voc(302, 300), "whole.voc", error), nullptr);
  EXPECT_NE(error.find("Creative Voice (.voc) files are not played"), std::string::npos) << error;
}

// A six-channel WAV whose block align says two bytes (found by fuzzing):
// the conversion to the device's stereo leaves part of a frame at the end,
// and the chunk ends at its last whole frame.
TEST_P(AudioMixerContract, ADecodedChunkHoldsWholeFrames) {
  auto put16 = [](std::string& s, uint32_t v) { s += char(v & 0xff), s += char(v >> 8); };
  auto put32 = [&](std::string& s, uint32_t v) { put16(s, v & 0xffff), put16(s, v >> 16); };
  for (int bytes : {100, 101, 102, 103, 106}) {
    std::string fmt, wav = "RIFF";
    put16(fmt, 1), put16(fmt, 6), put32(fmt, 22050), put32(fmt, 44100), put16(fmt, 2), put16(fmt, 16);
    std::string body = "WAVEfmt ";
    put32(body, 16);
    body += fmt + "data";
    put32(body, uint32_t(bytes));
    body += std::string(size_t(bytes), '\x11');
    put32(wav, uint32_t(body.size()));
    wav += body;
    std::string error;
    TAudioChunkPtr chunk = mixer->Decode(wav, "six.wav", error);
    if (!chunk) continue;  // refused is fine; a chunk must hold whole frames
    EXPECT_EQ(chunk->MixChunk()->alen % 4, 0u) << bytes;
    EXPECT_EQ(int64_t(chunk->MixChunk()->alen) / 4, chunk->Frames()) << bytes;
  }
}

INSTANTIATE_TEST_SUITE_P(Mixers, AudioMixerContract, testing::Values(Kind::Sdl, Kind::Virtual),
                         [](const auto& info) { return info.param == Kind::Sdl ? "Sdl" : "Virtual"; });

// SDL_mixer reports ended channels to one process-wide callback, so only one
// SDL mixer may be open; a virtual mixer shares the device beside it.
TEST(SdlMixer, OneOpenAtATime) {
  TSdlAudioMixer first, second;
  ManualTime time;
  TVirtualAudioMixer beside(time);
  std::string error;
  ASSERT_TRUE(first.Open(22050, 2, 512, error)) << error;
  EXPECT_FALSE(second.Open(22050, 2, 512, error));
  EXPECT_NE(error.find("already open"), std::string::npos) << error;
  ASSERT_TRUE(beside.Open(22050, 2, 512, error)) << error;
  TAudioChunkPtr chunk = beside.Decode(MakeWav(22050, 1, 22050 * 5), "shared.wav", error);
  ASSERT_TRUE(chunk) << error;
  ASSERT_EQ(first.Play(chunk, -1), 0);
  beside.Close();  // leaves the shared device open
  EXPECT_TRUE(first.IsPlaying(0));
  EXPECT_TRUE(first.Decode(MakeWav(22050, 1, 100), "after.wav", error)) << error;
  EXPECT_TRUE(first.Halt(0));
  EXPECT_EQ(first.TakeFinished(), std::vector<int>{0});
  first.Close();
  EXPECT_TRUE(second.Open(22050, 2, 512, error)) << error;
}

// ---- The virtual mixer on its clock ----

class VirtualMixer : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(mixer.Open(22050, 2, 512, error)) << error;
    half = mixer.Decode(MakeWav(22050, 1, 11025), "half.wav", error);
    ASSERT_TRUE(half) << error;
    time.t = 10.0;
  }
  ManualTime time;
  TVirtualAudioMixer mixer{time};
  TAudioChunkPtr half;  // 0.5 s
};

TEST_F(VirtualMixer, PlaysEndOnTheClock) {
  struct Case {
    int loops;
    double length;
  } cases[] = {{0, 0.5}, {2, 1.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.loops);
    time.t = 10.0;
    const int ch = mixer.Play(half, c.loops);
    ASSERT_EQ(ch, 0);
    time.t = 10.0 + c.length - 1e-9;
    mixer.Update();
    EXPECT_TRUE(mixer.IsPlaying(ch));
    EXPECT_TRUE(mixer.TakeFinished().empty());
    time.t = 10.0 + c.length;
    EXPECT_FALSE(mixer.IsPlaying(ch));
    EXPECT_EQ(mixer.TakeFinished(), std::vector<int>{ch});
  }
  // Looping for ever never ends.
  ASSERT_EQ(mixer.Play(half, -1), 0);
  time.t = 1e6;
  EXPECT_TRUE(mixer.IsPlaying(0));
  EXPECT_TRUE(mixer.TakeFinished().empty());
}

TEST_F(VirtualMixer, EndsAreReportedInTheOrderTheyHappened) {
  ASSERT_EQ(mixer.Play(half, 1), 0);  // ends at 11.0
  ASSERT_EQ(mixer.Play(half, 0), 1);  // ends at 10.5
  time.t = 10.2;
  ASSERT_EQ(mixer.Play(half, 0), 2);  // ends at 10.7
  time.t = 12.0;
  EXPECT_EQ(mixer.TakeFinished(), (std::vector<int>{1, 2, 0}));
}

TEST_F(VirtualMixer, FadesRampTheVolumeAndFadeOutEnds) {
  ASSERT_EQ(mixer.Play(half, -1), 0);
  time.t = 12.0;
  ASSERT_TRUE(mixer.FadeOut(0, 1000));
  EXPECT_FALSE(mixer.SetVolume(0, 10));  // the fade owns the volume
  for (auto [t, v] : {std::pair{12.0, 128}, {12.25, 96}, {12.5, 64}, {12.75, 32}}) {
    time.t = t;
    EXPECT_EQ(mixer.Volume(0), v) << t;
  }
  EXPECT_TRUE(mixer.FadeOut(0, 5000));  // a second fade-out does not stretch the first
  time.t = 12.999;
  EXPECT_TRUE(mixer.IsPlaying(0));
  time.t = 13.0;
  EXPECT_FALSE(mixer.IsPlaying(0));
  EXPECT_EQ(mixer.TakeFinished(), std::vector<int>{0});
  EXPECT_EQ(mixer.Volume(0), 128);  // the level from before the fade

  // Fading in rises to the volume asked for; a fade-out started mid-way
  // falls from where the rise got to.
  ASSERT_EQ(mixer.Play(half, -1, 500, 100), 0);
  EXPECT_EQ(mixer.Volume(0), 0);
  time.t = 13.125;
  EXPECT_EQ(mixer.Volume(0), 25);
  time.t = 13.25;
  ASSERT_TRUE(mixer.FadeOut(0, 250));
  time.t = 13.375;
  EXPECT_EQ(mixer.Volume(0), 25);
  time.t = 13.5;
  EXPECT_EQ(mixer.TakeFinished(), std::vector<int>{0});

  ASSERT_EQ(mixer.Play(half, -1, 500, 100), 0);
  time.t = 14.0;
  EXPECT_EQ(mixer.Volume(0), 100);
  EXPECT_TRUE(mixer.SetVolume(0, 90));  // the rise is over

  // A one-shot sample that ends before its fade-out does ends then.
  ASSERT_EQ(mixer.Play(half, 0), 1);
  ASSERT_TRUE(mixer.FadeOut(1, 2000));
  time.t = 14.5;
  EXPECT_EQ(mixer.TakeFinished(), std::vector<int>{1});
  // A fade-out of no length, or of a silent channel, halts at once.
  EXPECT_TRUE(mixer.FadeOut(0, 0));
  EXPECT_FALSE(mixer.IsPlaying(0));
  ASSERT_EQ(mixer.Play(half, -1, 0, 0), 0);
  EXPECT_TRUE(mixer.FadeOut(0, 1000));
  EXPECT_FALSE(mixer.IsPlaying(0));
}

TEST_F(VirtualMixer, PanningIsKeptUntilTheNextPlay) {
  ASSERT_EQ(mixer.Play(half, -1), 0);
  ASSERT_TRUE(mixer.SetPanning(0, 300, 40));
  int left = 0, right = 0;
  ASSERT_TRUE(mixer.Panning(0, left, right));
  EXPECT_EQ(std::pair(left, right), std::pair(255, 40));
  mixer.Halt(0);
  ASSERT_EQ(mixer.Play(half, -1), 0);
  ASSERT_TRUE(mixer.Panning(0, left, right));
  EXPECT_EQ(std::pair(left, right), std::pair(255, 255));
}

}  // namespace
}  // namespace kavo
