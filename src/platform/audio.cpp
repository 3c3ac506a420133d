#include "platform/audio.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <utility>

namespace kavo {

namespace {

std::atomic<int> gChunksAlive{0};

// The longest list of ended channels kept for a caller that never takes it.
constexpr size_t kMaxFinishedKept = 4096;

std::string MixError() {
  const char* e = Mix_GetError();
  return (e && *e) ? e : "unknown SDL_mixer error";
}

bool CheckFormat(int frequency, int channels, int chunkSize, std::string& error) {
  if (frequency < 8000 || frequency > 192000) {
    error = "Audio frequency " + std::to_string(frequency) + " Hz is outside 8000..192000";
    return false;
  }
  if (channels < 1 || channels > 2) {
    error = "Audio output needs 1 or 2 channels, not " + std::to_string(channels);
    return false;
  }
  if (chunkSize < 256 || chunkSize > 65536) {
    error = "Audio chunk size " + std::to_string(chunkSize) + " is outside 256..65536 frames";
    return false;
  }
  return true;
}

// Opens (or joins) SDL_mixer's device. SDL_mixer has one device per process
// and counts its openers; a device already open is joined in its own format,
// since opening it in another would close it under its other user. With
// dummyDriver, SDL's audio is started on the "dummy" driver when nobody has
// started it yet. quitAudio tells whether the caller owes an
// SDL_QuitSubSystem(SDL_INIT_AUDIO).
bool OpenMixDevice(int frequency, int channels, int chunkSize, bool dummyDriver, bool& quitAudio,
                   std::string& error) {
  quitAudio = false;
  if (!CheckFormat(frequency, channels, chunkSize, error)) return false;
  if (!SDL_WasInit(SDL_INIT_AUDIO)) {
    int rc;
    if (dummyDriver) {
      const char* was = SDL_GetHint(SDL_HINT_AUDIODRIVER);
      std::string before = was ? was : "";
      bool hadHint = was != nullptr && std::getenv("SDL_AUDIODRIVER") == nullptr;
      SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
      rc = SDL_InitSubSystem(SDL_INIT_AUDIO);
      SDL_ResetHint(SDL_HINT_AUDIODRIVER);
      if (hadHint) SDL_SetHint(SDL_HINT_AUDIODRIVER, before.c_str());
    } else {
      rc = SDL_InitSubSystem(SDL_INIT_AUDIO);
    }
    if (rc != 0) {
      error = std::string("Cannot start SDL audio: ") + SDL_GetError();
      return false;
    }
    quitAudio = true;
  }
  int haveFrequency = 0, haveChannels = 0;
  Uint16 haveFormat = 0;
  int rc;
  if (Mix_QuerySpec(&haveFrequency, &haveFormat, &haveChannels) != 0)
    rc = Mix_OpenAudio(haveFrequency, haveFormat, haveChannels, chunkSize);
  else
    rc = Mix_OpenAudio(frequency, AUDIO_S16SYS, channels, chunkSize);
  if (rc != 0) {
    error = "Cannot open the audio device: " + MixError();
    if (quitAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    quitAudio = false;
    return false;
  }
  return true;
}

void CloseMixDevice(bool quitAudio) {
  Mix_CloseAudio();
  if (quitAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// SDL_mixer reports ended channels on its audio thread: they are noted here
// under a spin lock and collected by the open TSdlAudioMixer on the engine's
// thread. A channel is only played again after its end was collected, so
// each channel is in the list at most once and kMixChannels places suffice.
SDL_SpinLock gEndedLock = 0;
int gEnded[IAudioMixer::kMixChannels];
int gEndedCount = 0;
bool gSdlMixerOpen = false;  // engine thread only

void SDLCALL OnChannelEnded(int channel) {
  SDL_AtomicLock(&gEndedLock);
  if (channel >= 0 && channel < IAudioMixer::kMixChannels && gEndedCount < IAudioMixer::kMixChannels)
    gEnded[gEndedCount++] = channel;
  SDL_AtomicUnlock(&gEndedLock);
}

int ClampInt(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

// ---- what a sound file says about itself, checked before SDL_mixer reads it
//
// SDL's WAV reader and SDL_mixer's AIFF reader take the sizes a file
// states at their word: a cut WAV whose data chunk says 4 GB gets a 4 GB
// buffer before the few bytes there are read. So the chunks
// must lie inside the file, and what the WAV format says must decode to no
// more than the engine keeps; a WAV's data chunk cut short by the end of the
// file (a common way to save a file that was still being written) is played
// as far as it goes.

uint32_t Little16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Little32(const unsigned char* p) { return Little16(p) | (Little16(p + 2) << 16); }
uint32_t Big16(const unsigned char* p) { return (uint32_t(p[0]) << 8) | uint32_t(p[1]); }
uint32_t Big32(const unsigned char* p) { return (Big16(p) << 16) | Big16(p + 2); }
void PutLittle32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = char((v >> (8 * i)) & 0xff);
}

// A chunk name fit for a message: letters, digits and blanks, else '?'.
std::string ChunkName(const unsigned char* p) {
  std::string name(reinterpret_cast<const char*>(p), 4);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ') c = '?';
  return name;
}

// Bytes of the device format (frequency Hz, bytesPerFrame) that frames of a
// sample at rate Hz become, in doubles: any stated rate stays finite.
double DeviceBytes(double frames, double rate, int frequency, int bytesPerFrame) {
  return frames * (double(frequency) / std::max(rate, 1.0) + 1.0) * bytesPerFrame;
}

// RIFF/WAVE: every chunk up to the data chunk inside the file, a fmt chunk
// before it, the data chunk cut to the file. fixed gets a copy with the cut
// sizes written in when the file needed one.
bool CheckWave(std::string_view bytes, int frequency, int bytesPerFrame, std::string& fixed, std::string& error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n < 12 || std::memcmp(p + 8, "WAVE", 4) != 0) {
    error = "a RIFF file that is not WAVE";
    return false;
  }
  uint32_t channels = 0, rate = 0, blockAlign = 0, tag = 0;
  bool haveFormat = false;
  size_t at = 12;
  while (true) {
    if (n - at < 8) {
      error = haveFormat ? "the WAV file ends before its data chunk" : "the WAV file ends before its fmt chunk";
      return false;
    }
    const std::string name = ChunkName(p + at);
    const size_t length = Little32(p + at + 4);
    const size_t body = at + 8;
    if (std::memcmp(p + at, "data", 4) == 0 && haveFormat) {
      const size_t held = std::min(length, n - body);
      // Frames the data holds, at most two per byte (4-bit ADPCM), then
      // each frame grown to the device's rate and format.
      const double frames = double(held) * 2.0 / std::max<uint32_t>(channels, 1);
      const double decoded = DeviceBytes(tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE
                                             ? double(held) / std::max<uint32_t>(blockAlign, 1)
                                             : frames,
                                         rate, frequency, bytesPerFrame);
      if (decoded > double(IAudioMixer::kMaxDecodedBytes)) {
        error = "its " + std::to_string(held) + " bytes of sound at " + std::to_string(rate) +
                " Hz decode to more than " + std::to_string(IAudioMixer::kMaxDecodedBytes >> 20) + " MB";
        return false;
      }
      if (held < length || Little32(p + 4) > n - 8) {
        fixed.assign(bytes.data(), n);
        PutLittle32(fixed.data() + at + 4, uint32_t(held));
        PutLittle32(fixed.data() + 4, uint32_t(std::min<size_t>(n - 8, 0xFFFFFFFFu)));
      }
      return true;
    }
    if (length > n - body) {
      error = "WAV chunk '" + name + "' of " + std::to_string(length) + " bytes runs past the end of the file";
      return false;
    }
    if (std::memcmp(p + at, "fmt ", 4) == 0) {
      if (length < 16) {
        error = "the WAV fmt chunk is " + std::to_string(length) + " bytes, under 16";
        return false;
      }
      tag = Little16(p + body);
      channels = Little16(p + body + 2);
      rate = Little32(p + body + 4);
      blockAlign = Little16(p + body + 12);
      if (channels == 0 || rate == 0 || blockAlign == 0) {
        error = "the WAV fmt chunk says " + std::to_string(channels) + " channels at " + std::to_string(rate) +
                " Hz in blocks of " + std::to_string(blockAlign) + " bytes";
        return false;
      }
      haveFormat = true;
    }
    at = body + length + (length & 1);
    if (at > n) at = n;
  }
}

// AIFF (big-endian FORM files): a COMM chunk inside the file and a sound
// data chunk holding every frame COMM states. SDL_mixer allocates what COMM
// says and loses that buffer when fewer bytes are there.
bool CheckAiff(std::string_view bytes, int frequency, int bytesPerFrame, std::string& error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n < 12 || std::memcmp(p + 8, "AIFF", 4) != 0) {
    error = "a FORM file that is not AIFF";
    return false;
  }
  const unsigned char* comm = nullptr;
  size_t sound = 0;  // bytes of sound data there are
  bool haveSound = false;
  for (size_t at = 12; n - at >= 8;) {
    const size_t length = Big32(p + at + 4);
    const size_t body = at + 8, held = std::min(length, n - body);
    if (std::memcmp(p + at, "COMM", 4) == 0) {
      if (held < 18) {
        error = "the AIFF COMM chunk is cut short";
        return false;
      }
      comm = p + body;
    } else if (std::memcmp(p + at, "SSND", 4) == 0 && held >= 8) {
      const size_t offset = Big32(p + body);
      sound = held - 8 > offset ? held - 8 - offset : 0;
      haveSound = true;
    }
    if (length > n - body) break;
    at = body + length + (length & 1);
    if (at > n) break;
  }
  if (!comm || !haveSound) {
    error = comm ? "the AIFF file has no sound data chunk" : "the AIFF file has no COMM chunk";
    return false;
  }
  const double channels = Big16(comm), frames = Big32(comm + 2), sampleBytes = (Big16(comm + 6) + 7) / 8;
  // No channels, no frames or no bits: SDL_mixer would make (and lose) an
  // empty buffer.
  if (channels < 1 || frames < 1 || sampleBytes < 1) {
    error = "its COMM chunk states " + std::to_string(int64_t(channels)) + " channels, " +
            std::to_string(int64_t(frames)) + " frames of " + std::to_string(Big16(comm + 6)) + " bits";
    return false;
  }
  const double stated = channels * frames * sampleBytes;
  if (stated > double(sound)) {
    error = "its COMM chunk states " + std::to_string(int64_t(stated)) + " bytes of sound, the file holds " +
            std::to_string(sound);
    return false;
  }
  // The rate is an 80-bit extended float: sign and exponent, then 64 bits.
  const int exponent = int(Big16(comm + 8) & 0x7FFF) - 16383 - 63;
  const double mantissa = double((uint64_t(Big32(comm + 10)) << 32) | Big32(comm + 14));
  const double rate = std::ldexp(mantissa, std::clamp(exponent, -2000, 2000));
  if (DeviceBytes(frames, rate, frequency, bytesPerFrame) > double(IAudioMixer::kMaxDecodedBytes)) {
    error = "its sound decodes to more than " + std::to_string(IAudioMixer::kMaxDecodedBytes >> 20) + " MB";
    return false;
  }
  return true;
}

// Checks the bytes of the formats whose readers trust stated sizes; other
// formats go to SDL_mixer unchecked. fixed: as for CheckWave.
bool CheckSoundFile(std::string_view bytes, int frequency, int bytesPerFrame, std::string& fixed, std::string& error) {
  if (bytes.size() >= 4 && bytes.substr(0, 4) == "RIFF") return CheckWave(bytes, frequency, bytesPerFrame, fixed, error);
  if (bytes.size() >= 4 && bytes.substr(0, 4) == "FORM") return CheckAiff(bytes, frequency, bytesPerFrame, error);
  // SDL_mixer's Creative Voice reader writes past its buffer on damaged
  // files (found by fuzzing, whatever the block sizes say), so the engine
  // does not play them: WAV, AIFF and Ogg carry the same sounds.
  if (bytes.size() >= 19 && bytes.substr(0, 19) == "Creative Voice File") {
    error = "Creative Voice (.voc) files are not played; save the sound as WAV or Ogg";
    return false;
  }
  return true;
}

}  // namespace

// ---- TAudioChunk ----

TAudioChunk::TAudioChunk(Mix_Chunk* chunk, std::string name, int64_t frames, int frequency)
    : chunk_(chunk), name_(std::move(name)), frames_(frames), frequency_(frequency) {
  ++gChunksAlive;
}

TAudioChunk::~TAudioChunk() {
  // SDL_mixer halts any channel still playing the chunk before freeing it.
  Mix_FreeChunk(chunk_);
  --gChunksAlive;
}

int TAudioChunk::Alive() { return gChunksAlive.load(); }

TAudioChunkPtr DecodeAudio(std::string_view bytes, const std::string& name, std::string& error) {
  const std::string what = "Cannot decode sound '" + name + "': ";
  int frequency = 0, channels = 0;
  Uint16 format = 0;
  if (Mix_QuerySpec(&frequency, &format, &channels) == 0) {
    error = what + "no audio device is open to decode for";
    return nullptr;
  }
  if (bytes.empty()) {
    error = what + "the file is empty";
    return nullptr;
  }
  if (bytes.size() > IAudioMixer::kMaxSourceBytes) {
    error = what + "the file is larger than " + std::to_string(IAudioMixer::kMaxSourceBytes >> 20) + " MB";
    return nullptr;
  }
  const int frameBytes = int(SDL_AUDIO_BITSIZE(format) / 8) * channels;
  std::string fixed, why;
  if (!CheckSoundFile(bytes, frequency, frameBytes, fixed, why)) {
    error = what + "not a sound SDL_mixer can read: " + why;
    return nullptr;
  }
  if (!fixed.empty()) bytes = fixed;
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
  if (!rw) {
    error = what + SDL_GetError();
    return nullptr;
  }
  Mix_ClearError();
  // The reader is closed here: SDL_mixer leaves it open when it tells no
  // format from the bytes, even when asked to close it.
  Mix_Chunk* chunk = Mix_LoadWAV_RW(rw, 0);
  SDL_RWclose(rw);
  if (!chunk) {
    error = what + MixError();
    return nullptr;
  }
  // Some conversions (six channels to two, for one) leave a part of a frame
  // at the end: the chunk ends at its last whole frame.
  if (frameBytes > 0) chunk->alen -= chunk->alen % Uint32(frameBytes);
  const int64_t frames = frameBytes > 0 ? int64_t(chunk->alen) / frameBytes : 0;
  if (chunk->alen > IAudioMixer::kMaxDecodedBytes) {
    Mix_FreeChunk(chunk);
    error = what + "it decodes to more than " + std::to_string(IAudioMixer::kMaxDecodedBytes >> 20) + " MB";
    return nullptr;
  }
  if (frames <= 0) {
    Mix_FreeChunk(chunk);
    error = what + "it holds no sound";
    return nullptr;
  }
  return TAudioChunkPtr(new TAudioChunk(chunk, name, frames, frequency));
}

// ---- IAudioMixer ----

TAudioChunkPtr IAudioMixer::Decode(std::string_view bytes, const std::string& name, std::string& error) {
  if (!IsOpen()) {
    error = "Cannot decode sound '" + name + "': the mixer is not open";
    return nullptr;
  }
  return DecodeAudio(bytes, name, error);
}

std::vector<int> IAudioMixer::TakeFinished() {
  Update();
  return std::exchange(finished_, {});
}

bool IAudioMixer::Refuse(const std::string& why) {
  error_ = why;
  return false;
}

bool IAudioMixer::ValidChannel(int channel) {
  if (!IsOpen()) return Refuse("The mixer is not open");
  if (channel < 0 || channel >= kMixChannels)
    return Refuse("No mixer channel " + std::to_string(channel) + " (channels are 0.." +
                  std::to_string(kMixChannels - 1) + ")");
  return true;
}

void IAudioMixer::Finished(int channel) {
  if (channel < 0 || size_t(channel) >= held_.size() || !held_[channel]) return;
  held_[channel].reset();
  if (finished_.size() >= kMaxFinishedKept) finished_.erase(finished_.begin());
  finished_.push_back(channel);
}

// ---- TSdlAudioMixer ----

bool TSdlAudioMixer::Open(int frequency, int channels, int chunkSize, std::string& error) {
  if (open_) return true;
  if (gSdlMixerOpen) {
    error = "Another SDL mixer is already open";
    return false;
  }
  if (!OpenMixDevice(frequency, channels, chunkSize, false, quitAudio_, error)) return false;
  if (Mix_AllocateChannels(kMixChannels) != kMixChannels) {
    error = "Cannot allocate " + std::to_string(kMixChannels) + " mixer channels: " + MixError();
    CloseMixDevice(quitAudio_);
    return false;
  }
  Mix_HaltChannel(-1);
  SDL_AtomicLock(&gEndedLock);
  gEndedCount = 0;
  SDL_AtomicUnlock(&gEndedLock);
  Mix_ChannelFinished(OnChannelEnded);
  held_.assign(kMixChannels, nullptr);
  finished_.clear();
  gSdlMixerOpen = true;
  open_ = true;
  return true;
}

void TSdlAudioMixer::Close() {
  if (!open_) return;
  Mix_HaltChannel(-1);
  Update();
  Mix_ChannelFinished(nullptr);
  held_.clear();  // anything left over ends here, after the halt
  CloseMixDevice(quitAudio_);
  quitAudio_ = false;
  gSdlMixerOpen = false;
  open_ = false;
}

void TSdlAudioMixer::Update() {
  if (!open_) return;
  int ended[kMixChannels];
  SDL_AtomicLock(&gEndedLock);
  const int count = gEndedCount;
  std::copy(gEnded, gEnded + count, ended);
  gEndedCount = 0;
  SDL_AtomicUnlock(&gEndedLock);
  for (int i = 0; i < count; ++i) Finished(ended[i]);
}

int TSdlAudioMixer::Play(const TAudioChunkPtr& chunk, int loops, int fadeInMs, int volume) {
  if (!open_) return Refuse("The mixer is not open"), -1;
  if (!chunk) return Refuse("No sound to play"), -1;
  if (loops < -1) return Refuse("Cannot loop a sound " + std::to_string(loops) + " times"), -1;
  Update();
  int channel = -1;
  for (int i = 0; i < kMixChannels && channel < 0; ++i)
    if (!held_[i]) channel = i;
  if (channel < 0) return Refuse("No free channel to play '" + chunk->Name() + "'"), -1;
  Mix_Volume(channel, ClampInt(volume, 0, kMaxVolume));
  Mix_SetPanning(channel, kMaxPanning, kMaxPanning);
  const int got = fadeInMs > 0 ? Mix_FadeInChannel(channel, chunk->MixChunk(), loops, fadeInMs)
                               : Mix_PlayChannel(channel, chunk->MixChunk(), loops);
  if (got < 0) return Refuse("Cannot play '" + chunk->Name() + "': " + MixError()), -1;
  held_[channel] = chunk;
  return channel;
}

bool TSdlAudioMixer::IsPlaying(int channel) {
  if (!ValidChannel(channel)) return false;
  Update();
  return held_[channel] != nullptr;
}

const TAudioChunk* TSdlAudioMixer::ChunkOn(int channel) {
  if (!ValidChannel(channel)) return nullptr;
  Update();
  return held_[channel].get();
}

bool TSdlAudioMixer::Halt(int channel) {
  if (!ValidChannel(channel)) return false;
  Mix_HaltChannel(channel);
  Update();
  return true;
}

bool TSdlAudioMixer::SetVolume(int channel, int volume) {
  if (!ValidChannel(channel)) return false;
  if (Mix_FadingChannel(channel) != MIX_NO_FADING)
    return Refuse("Channel " + std::to_string(channel) + " is fading");
  Mix_Volume(channel, ClampInt(volume, 0, kMaxVolume));
  return true;
}

int TSdlAudioMixer::Volume(int channel) {
  if (!ValidChannel(channel)) return -1;
  return Mix_Volume(channel, -1);
}

bool TSdlAudioMixer::SetPanning(int channel, int left, int right) {
  if (!ValidChannel(channel)) return false;
  if (Mix_SetPanning(channel, Uint8(ClampInt(left, 0, kMaxPanning)), Uint8(ClampInt(right, 0, kMaxPanning))) == 0)
    return Refuse("Cannot pan channel " + std::to_string(channel) + ": " + MixError());
  return true;
}

bool TSdlAudioMixer::FadeOut(int channel, int ms) {
  if (!ValidChannel(channel)) return false;
  Update();
  if (!held_[channel]) return true;
  // SDL_mixer leaves a silent channel playing when asked to fade it.
  if (ms <= 0 || Mix_Volume(channel, -1) == 0) return Halt(channel);
  Mix_FadeOutChannel(channel, ms);
  return true;
}

// ---- TVirtualAudioMixer ----

bool TVirtualAudioMixer::Open(int frequency, int channels, int chunkSize, std::string& error) {
  if (open_) return true;
  if (!OpenMixDevice(frequency, channels, chunkSize, true, quitAudio_, error)) {
    error += " (the virtual mixer still needs it to decode)";
    return false;
  }
  held_.assign(kMixChannels, nullptr);
  channels_.assign(kMixChannels, TChannel{});
  finished_.clear();
  open_ = true;
  return true;
}

void TVirtualAudioMixer::Close() {
  if (!open_) return;
  held_.clear();
  channels_.clear();
  CloseMixDevice(quitAudio_);
  quitAudio_ = false;
  open_ = false;
}

void TVirtualAudioMixer::Settle(double now) {
  // Channels whose play or fade-out is over end in the order they ended.
  std::vector<std::pair<double, int>> ended;
  for (int i = 0; i < kMixChannels; ++i) {
    if (!held_[i]) continue;
    TChannel& c = channels_[i];
    double end = c.end;
    if (c.fade == TFade::Out) end = std::min(end, c.fadeEnd);
    if (now >= end) {
      ended.emplace_back(end, i);
    } else if (c.fade == TFade::In && now >= c.fadeEnd) {
      c.fade = TFade::None;
    }
  }
  std::sort(ended.begin(), ended.end());
  for (const auto& [when, i] : ended) {
    channels_[i].fade = TFade::None;
    Finished(i);
  }
}

void TVirtualAudioMixer::Update() {
  if (open_) Settle(time_.Now());
}

int TVirtualAudioMixer::Play(const TAudioChunkPtr& chunk, int loops, int fadeInMs, int volume) {
  if (!open_) return Refuse("The mixer is not open"), -1;
  if (!chunk) return Refuse("No sound to play"), -1;
  if (loops < -1) return Refuse("Cannot loop a sound " + std::to_string(loops) + " times"), -1;
  const double now = time_.Now();
  Settle(now);
  int channel = -1;
  for (int i = 0; i < kMixChannels && channel < 0; ++i)
    if (!held_[i]) channel = i;
  if (channel < 0) return Refuse("No free channel to play '" + chunk->Name() + "'"), -1;
  TChannel c;
  c.start = now;
  c.end = loops < 0 ? std::numeric_limits<double>::infinity() : now + chunk->Seconds() * (double(loops) + 1.0);
  c.volume = ClampInt(volume, 0, kMaxVolume);
  if (fadeInMs > 0) {
    c.fade = TFade::In;
    c.fadeStart = now;
    c.fadeEnd = now + fadeInMs / 1000.0;
  }
  channels_[channel] = c;
  held_[channel] = chunk;
  return channel;
}

bool TVirtualAudioMixer::IsPlaying(int channel) {
  if (!ValidChannel(channel)) return false;
  Update();
  return held_[channel] != nullptr;
}

const TAudioChunk* TVirtualAudioMixer::ChunkOn(int channel) {
  if (!ValidChannel(channel)) return nullptr;
  Update();
  return held_[channel].get();
}

bool TVirtualAudioMixer::Halt(int channel) {
  if (!ValidChannel(channel)) return false;
  Update();
  channels_[channel].fade = TFade::None;
  Finished(channel);
  return true;
}

bool TVirtualAudioMixer::SetVolume(int channel, int volume) {
  if (!ValidChannel(channel)) return false;
  Update();
  if (held_[channel] && channels_[channel].fade != TFade::None)
    return Refuse("Channel " + std::to_string(channel) + " is fading");
  channels_[channel].volume = ClampInt(volume, 0, kMaxVolume);
  return true;
}

int TVirtualAudioMixer::Volume(int channel) {
  if (!ValidChannel(channel)) return -1;
  const double now = time_.Now();
  Settle(now);
  const TChannel& c = channels_[channel];
  if (!held_[channel] || c.fade == TFade::None) return c.volume;
  const double span = c.fadeEnd - c.fadeStart;
  double part = span > 0 ? (now - c.fadeStart) / span : 1.0;
  part = std::clamp(part, 0.0, 1.0);
  if (c.fade == TFade::In) return int(std::lround(c.volume * part));
  return int(std::lround(c.fadeFrom * (1.0 - part)));
}

bool TVirtualAudioMixer::SetPanning(int channel, int left, int right) {
  if (!ValidChannel(channel)) return false;
  channels_[channel].left = ClampInt(left, 0, kMaxPanning);
  channels_[channel].right = ClampInt(right, 0, kMaxPanning);
  return true;
}

bool TVirtualAudioMixer::Panning(int channel, int& left, int& right) {
  if (!ValidChannel(channel)) return false;
  left = channels_[channel].left;
  right = channels_[channel].right;
  return true;
}

bool TVirtualAudioMixer::FadeOut(int channel, int ms) {
  if (!ValidChannel(channel)) return false;
  const int level = Volume(channel);  // settles first
  if (!held_[channel]) return true;
  TChannel& c = channels_[channel];
  if (c.fade == TFade::Out) return true;  // the fade already running goes on
  if (ms <= 0 || level == 0) return Halt(channel);
  const double now = time_.Now();
  c.fade = TFade::Out;
  c.fadeFrom = level;
  c.fadeStart = now;
  c.fadeEnd = now + ms / 1000.0;
  return true;
}

}  // namespace kavo
