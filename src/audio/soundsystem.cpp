#include "audio/soundsystem.h"

#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "core/strings.h"
#include "platform/files.h"

namespace kavo {

namespace {

int ClampLevel(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, 0, IAudioMixer::kMaxVolume));
}

// Milliseconds for the mixer: negative is none, and no fade outlasts a day.
int FadeMs(int64_t ms) { return static_cast<int>(std::clamp<int64_t>(ms, 0, 86400000)); }

size_t DecodedSize(const TAudioChunk& c) {
  return static_cast<size_t>(c.Frames()) * IAudioMixer::kOutputChannels * 2;
}

}  // namespace

std::pair<int, int> TSDLSoundSystem::PanLevels(int64_t pan) {
  // In doubles: any 64-bit pan stays finite, and the limits hold after rounding.
  const double x = static_cast<double>(pan) / 100.0 * 255.0;
  auto level = [](double v) {
    return static_cast<int>(std::clamp(std::nearbyint(v), 0.0, double(IAudioMixer::kMaxPanning)));
  };
  return {level(254.0 - x), level(x)};
}

TSDLSoundSystem::TSDLSoundSystem(IAudioMixer& mixer, std::string label)
    : mixer_(mixer), label_(std::move(label)), uses_(IAudioMixer::kMixChannels) {}

TSDLSoundSystem::~TSDLSoundSystem() {
  // The mixer may already be closed (then nothing plays any more).
  UnloadAll();
}

void TSDLSoundSystem::Note(const std::string& message) { KavoLog(label_ + ": " + message); }

void TSDLSoundSystem::Error(const std::string& message) {
  Note(message);
  if (OnError) OnError(*this, message);
}

const TSoundData* TSDLSoundSystem::Sample(int64_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return samples_[static_cast<size_t>(index)].get();
}

TSoundData* TSDLSoundSystem::Valid(int64_t index) {
  return const_cast<TSoundData*>(Sample(index));
}

// ---- loading

int64_t TSDLSoundSystem::AddFromFile(const std::string& fileName) {
  const int64_t known = IndexOf(fileName);
  if (known >= 0) return known;
  std::string bytes, why;
  if (!Files().ReadFile(fileName, bytes, &why, IAudioMixer::kMaxSourceBytes)) {
    Error("Error while loading " + fileName + " !");
    Note(fileName + ": " + why);
    return -1;
  }
  return AddFromStream(fileName, bytes);
}

int64_t TSDLSoundSystem::AddFromStream(const std::string& name, std::string_view bytes) {
  std::string why;
  if (samples_.size() >= kMaxSamples)
    why = "a sound system holds at most " + std::to_string(kMaxSamples) + " samples";
  else if (bytes.size() > IAudioMixer::kMaxSourceBytes)
    why = name + " is larger than " + std::to_string(IAudioMixer::kMaxSourceBytes >> 20) + " MB";
  else if (loadedBytes_ + bytes.size() > kMaxLoadedBytes)
    why = "the samples loaded would pass " + std::to_string(kMaxLoadedBytes >> 20) + " MB";
  if (!why.empty()) {
    Error("Error while loading from stream!");
    Note(why);
    return -1;
  }
  auto s = std::make_unique<TSoundData>();
  s->name = name;
  s->data.assign(bytes.data(), bytes.size());
  loadedBytes_ += bytes.size();
  samples_.push_back(std::move(s));
  const int64_t index = Count() - 1;
  if (OnLoad) OnLoad(*this, index, name);
  return index;
}

int64_t TSDLSoundSystem::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < samples_.size(); ++i)
    if (samples_[i] && samples_[i]->name == name) return static_cast<int64_t>(i);
  return -1;
}

// ---- decoding

TAudioChunkPtr TSDLSoundSystem::Decoded(int64_t index, TSoundData& s) {
  s.lastUse = ++useClock_;
  if (s.chunk) return s.chunk;
  if (s.undecodable) return nullptr;
  std::string why;
  s.chunk = mixer_.Decode(s.data, s.name, why);
  if (!s.chunk) {
    // Said once: later plays of the sample stay silent without a word.
    s.undecodable = true;
    Error("Unable to play sound no.: " + std::to_string(index) + " (" + why + ")");
    return nullptr;
  }
  decodedBytes_ += DecodedSize(*s.chunk);
  KeepWithinBudget(s);
  return s.chunk;
}

void TSDLSoundSystem::KeepWithinBudget(const TSoundData& keep) {
  // The chunks used longest ago go first; a chunk still heard lives on in
  // the mixer until its play ends and is decoded again when played next.
  while (decodedBytes_ > kDecodedBudget) {
    TSoundData* oldest = nullptr;
    for (auto& p : samples_)
      if (p && p.get() != &keep && p->chunk && (!oldest || p->lastUse < oldest->lastUse)) oldest = p.get();
    if (!oldest) return;
    decodedBytes_ -= std::min(decodedBytes_, DecodedSize(*oldest->chunk));
    oldest->chunk.reset();
  }
}

// ---- plays

int TSDLSoundSystem::Scaled(int volume) const {
  const int64_t v = int64_t(volume) * master_ * own_;
  const int64_t full = int64_t(IAudioMixer::kMaxVolume) * IAudioMixer::kMaxVolume;
  return static_cast<int>((v + full / 2) / full);
}

bool TSDLSoundSystem::Live(int c) {
  TChannelUse& u = uses_[static_cast<size_t>(c)];
  if (u.sample < 0) return false;
  // The chunk is alive while the mixer holds it, so no other chunk can sit
  // at its address; the play is ours while the mixer plays it on c.
  TAudioChunkPtr chunk = u.chunk.lock();
  if (chunk && mixer_.ChunkOn(c) == chunk.get()) return true;
  u = TChannelUse{};
  return false;
}

std::vector<int> TSDLSoundSystem::LivePlays(int64_t index) {
  std::vector<int> plays;
  if (!mixer_.IsOpen()) return plays;
  for (int c = 0; c < IAudioMixer::kMixChannels; ++c)
    if (uses_[static_cast<size_t>(c)].sample == index && Live(c)) plays.push_back(c);
  return plays;
}

uint64_t TSDLSoundSystem::Start(int64_t index, int loops, int fadeInMs) {
  TSoundData* s = Valid(index);
  if (index < 0 || index >= Count()) {
    Error("Unable to play sound no.:  " + std::to_string(index));
    return 0;
  }
  if (!s) {
    Error("Unable to play sound ");
    return 0;
  }
  // Without audio nothing is heard; start-up has said so once.
  if (!mixer_.IsOpen()) return 0;
  TAudioChunkPtr chunk = Decoded(index, *s);
  if (!chunk) return 0;
  const int volume = fadeInMs > 0 ? s->volume : IAudioMixer::kMaxVolume;
  const int c = mixer_.Play(chunk, loops, fadeInMs, Scaled(volume));
  if (c < 0) {
    Error("Unable to play sound no.: " + std::to_string(index) + " (" + mixer_.LastError() + ")");
    return 0;
  }
  TChannelUse& u = uses_[static_cast<size_t>(c)];
  u.sample = index;
  u.serial = ++serial_;
  u.chunk = chunk;
  u.volume = volume;
  s->primed = true;
  s->channel = c;
  s->loops = loops;
  s->volume = volume;
  return u.serial;
}

void TSDLSoundSystem::Play(int64_t index, bool loop) {
  if (Start(index, loop ? -1 : 0, 0) != 0) Valid(index)->panApplied = false;
}

uint64_t TSDLSoundSystem::PlayOnce(int64_t index) {
  const uint64_t token = Start(index, 0, 0);
  if (token != 0) Valid(index)->panApplied = false;
  return token;
}

bool TSDLSoundSystem::IsPlayHeard(uint64_t token) {
  if (token == 0 || !mixer_.IsOpen()) return false;
  for (int c = 0; c < IAudioMixer::kMixChannels; ++c)
    if (uses_[static_cast<size_t>(c)].serial == token) return Live(c);
  return false;
}

void TSDLSoundSystem::StopPlay(uint64_t token) {
  if (token == 0 || !mixer_.IsOpen()) return;
  for (int c = 0; c < IAudioMixer::kMixChannels; ++c)
    if (uses_[static_cast<size_t>(c)].serial == token) {
      if (Live(c)) mixer_.Halt(c);
      return;
    }
}

void TSDLSoundSystem::Stop(int64_t index) {
  TSoundData* s = Valid(index);
  if (!s || !s->primed) return;
  const std::vector<int> plays = LivePlays(index);
  if (plays.empty()) return;  // ended by itself: it stays primed, as after any play
  for (int c : plays) {
    mixer_.Halt(c);
    uses_[static_cast<size_t>(c)] = TChannelUse{};
  }
  s->primed = false;
}

void TSDLSoundSystem::StopAll() {
  for (int64_t i = 0; i < Count(); ++i) Stop(i);
}

void TSDLSoundSystem::UnloadAll() {
  if (mixer_.IsOpen())
    for (int c = 0; c < IAudioMixer::kMixChannels; ++c)
      if (Live(c)) mixer_.Halt(c);
  uses_.assign(IAudioMixer::kMixChannels, TChannelUse{});
  samples_.clear();
  labels_.clear();
  loadedBytes_ = 0;
  decodedBytes_ = 0;
}

bool TSDLSoundSystem::IsPlaying(int64_t index) {
  TSoundData* s = Valid(index);
  return s && s->primed && !LivePlays(index).empty();
}

void TSDLSoundSystem::SetVolume(int64_t index, int64_t volume) {
  TSoundData* s = Valid(index);
  if (!s || !s->primed) return;
  const int v = ClampLevel(volume);
  s->volume = v;
  for (int c : LivePlays(index))
    if (mixer_.SetVolume(c, Scaled(v))) uses_[static_cast<size_t>(c)].volume = v;  // refused while it fades
}

int64_t TSDLSoundSystem::GetVolume(int64_t index) {
  TSoundData* s = Valid(index);
  if (!s) return 0;
  if (!s->primed) return -1;
  const int c = s->channel;
  if (c >= 0 && c < IAudioMixer::kMixChannels && uses_[static_cast<size_t>(c)].sample == index && Live(c)) {
    // A fade moves the channel's level: give that back unscaled.
    const int set = uses_[static_cast<size_t>(c)].volume;
    const int level = mixer_.Volume(c);
    const int scale = Scaled(IAudioMixer::kMaxVolume);
    if (level < 0 || level == Scaled(set) || scale == 0) return set;
    return ClampLevel((int64_t(level) * IAudioMixer::kMaxVolume + scale / 2) / scale);
  }
  return s->volume;
}

void TSDLSoundSystem::SetPan(int64_t index, int64_t pan) {
  TSoundData* s = Valid(index);
  if (!s) return;
  s->pan = pan;
  if (!s->primed) return;
  const auto [left, right] = PanLevels(pan);
  for (int c : LivePlays(index)) mixer_.SetPanning(c, left, right);
  s->panApplied = true;
}

int64_t TSDLSoundSystem::GetPan(int64_t index) {
  const TSoundData* s = Valid(index);
  if (!s) return 0;
  return s->primed ? s->pan : -1;
}

void TSDLSoundSystem::FadeIn(int64_t index, int64_t ms) {
  TSoundData* s = Valid(index);
  if (!s || !s->primed) return;
  for (int c : LivePlays(index)) {
    mixer_.Halt(c);
    uses_[static_cast<size_t>(c)] = TChannelUse{};
  }
  const bool panned = s->panApplied;
  if (Start(index, s->loops, std::max(FadeMs(ms), 1)) == 0) return;
  // The restarted play keeps the panning the earlier one had been given.
  if (panned) {
    const auto [left, right] = PanLevels(s->pan);
    mixer_.SetPanning(s->channel, left, right);
  }
}

void TSDLSoundSystem::FadeOut(int64_t index, int64_t ms) {
  TSoundData* s = Valid(index);
  if (!s || !s->primed) return;
  for (int c : LivePlays(index)) mixer_.FadeOut(c, FadeMs(ms));
}

// ---- levels

void TSDLSoundSystem::SetMasterVolume(int64_t volume) {
  master_ = ClampLevel(volume);
  Reapply();
}

void TSDLSoundSystem::SetSystemVolume(int64_t volume) {
  own_ = ClampLevel(volume);
  Reapply();
}

void TSDLSoundSystem::Reapply() {
  if (!mixer_.IsOpen()) return;
  for (int c = 0; c < IAudioMixer::kMixChannels; ++c)
    if (Live(c)) mixer_.SetVolume(c, Scaled(uses_[static_cast<size_t>(c)].volume));
}

// ---- labels

void TSDLSoundSystem::SetLabel(std::string_view name, int64_t index) {
  std::string key = LowerAscii(name);
  for (auto& [k, i] : labels_)
    if (k == key) {
      i = index;
      return;
    }
  labels_.emplace_back(std::move(key), index);
}

int64_t TSDLSoundSystem::IndexOfLabel(std::string_view name) const {
  const std::string key = LowerAscii(name);
  for (const auto& [k, i] : labels_)
    if (k == key) return i;
  return -1;
}

// ---- opening

bool OpenSoundMixer(IAudioMixer& mixer, std::string& message, int chunkFrames) {
  std::string why;
  if (mixer.Open(IAudioMixer::kFrequency, IAudioMixer::kOutputChannels, chunkFrames, why)) return true;
  // The seam says which step failed: starting SDL's audio or the device.
  if (why.rfind("Cannot start SDL audio", 0) == 0)
    message = "Error initializing sound. SDL was not initialized!";
  else
    message = "Could not open audio: " + why;
  return false;
}

}  // namespace kavo
