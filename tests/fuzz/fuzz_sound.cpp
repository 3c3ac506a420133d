// libFuzzer target for sound samples: WAV, Ogg and whatever else SDL_mixer
// reads, decoded from memory by DecodeAudio into the format of a device
// opened on SDL's "dummy" driver (through the virtual mixer, with a short
// buffer). A sample that decodes is then added to a sound system on that
// mixer and played, panned, faded, stopped and unloaded, as a game's script
// would. Decoded chunks must hold whole frames, stay under the decode limit
// and be freed when the sample and the mixer let go of them.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "audio/soundsystem.h"
#include "core/log.h"
#include "platform/audio.h"

using namespace kavo;

namespace {

struct FixedTime : TTimeSource {
  double Now() override { return t; }
  double t = 0;
};

FixedTime gTime;
TVirtualAudioMixer* gMixer = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SDL_Init(0);
  // SDL keeps its error text in a per-thread buffer made at the first error;
  // made here, it is not taken for a leak of the first input that fails.
  SDL_SetError("none yet");
  Log().SetWriter([](const std::string&, std::string_view, bool) { return true; });
  gMixer = new TVirtualAudioMixer(gTime);
  std::string message;
  // A short device buffer: the dummy device only paces decoding here.
  if (!OpenSoundMixer(*gMixer, message, 256)) {
    std::fprintf(stderr, "fuzz_sound: %s\n", message.c_str());
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string name = "fuzz.snd";
  // FLAC is played but not fuzzed: SDL's FLAC reader leaks its buffers
  // when a stream's audio frames fail to decode after a valid header, and
  // nothing short of decoding FLAC ourselves could tell such a file first.
  if (size >= 4 && std::memcmp(data, "fLaC", 4) == 0) return 0;
  {
    std::string error;
    TAudioChunkPtr chunk = DecodeAudio(bytes, name, error);
    if (!chunk) {
      if (error.find(name) == std::string::npos) __builtin_trap();
      return 0;
    }
    const Mix_Chunk* mix = chunk->MixChunk();
    if (!mix || !mix->abuf || chunk->Frames() <= 0) __builtin_trap();
    // The device is 16-bit stereo: a frame is four bytes.
    if (mix->alen % 4 != 0 || int64_t(mix->alen) / 4 != chunk->Frames()) __builtin_trap();
    if (mix->alen > IAudioMixer::kMaxDecodedBytes) __builtin_trap();
  }
  if (TAudioChunk::Alive() != 0) __builtin_trap();

  // Decodes again through a sound system's first play.
  {
    TSDLSoundSystem sounds(*gMixer);
    const int64_t index = sounds.AddFromStream(name, bytes);
    if (index != 0) __builtin_trap();
    sounds.Play(index, true);
    if (!sounds.IsPlaying(index)) __builtin_trap();
    sounds.SetPan(index, 30);
    sounds.SetVolume(index, 64);
    const uint64_t token = sounds.PlayOnce(index);
    if (token == 0 || !sounds.IsPlayHeard(token)) __builtin_trap();
    sounds.FadeOut(index, 100);
    gTime.t += 1.0;
    if (sounds.IsPlayHeard(token)) __builtin_trap();
    sounds.Play(index, false);
    sounds.Stop(index);
    if (sounds.IsPlaying(index)) __builtin_trap();
    sounds.UnloadAll();
    if (sounds.Count() != 0) __builtin_trap();
  }
  gMixer->Update();
  if (TAudioChunk::Alive() != 0) __builtin_trap();
  return 0;
}
