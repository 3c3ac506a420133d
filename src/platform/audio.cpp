#include "platform/audio.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <cmath>
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
  const int frameBytes = int(SDL_AUDIO_BITSIZE(format) / 8) * channels;
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
