// The audio mixer seam the sound system sits on. Samples (effects, music,
// speech) are decoded once into a TAudioChunk and played on numbered mixer
// channels; a channel holds a share of its chunk until the engine has
// collected its end, so a sample can never be freed while it is heard.
//
// Two mixers keep one contract:
//  - TSdlAudioMixer plays through SDL2_mixer on the audio device. SDL_mixer
//    reports ended channels on its audio thread; they are only recorded
//    there and handed over on the engine's thread by Update/TakeFinished.
//  - TVirtualAudioMixer plays nothing: channels start, loop, fade and end on
//    an injected time source, so fixed-step runs see every sample end on the
//    same frame each time. It still decodes through SDL_mixer, on a device
//    opened on SDL's "dummy" driver when no device is open yet.
//
// Channel numbers run 0..Channels()-1; anything else (including SDL_mixer's
// -1 for "all channels") is refused. Volumes run 0..128, panning 0..255 per
// side; values outside are clamped. A new play starts at full (or the given)
// volume and centred panning, whatever the channel did before. While a
// channel fades, the fade owns its volume: SetVolume is ignored until the
// fade is over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/cadencer.h"

struct Mix_Chunk;

namespace kavo {

// One decoded sample in the open device's format.
class TAudioChunk {
 public:
  ~TAudioChunk();
  TAudioChunk(const TAudioChunk&) = delete;
  TAudioChunk& operator=(const TAudioChunk&) = delete;

  const std::string& Name() const { return name_; }
  int64_t Frames() const { return frames_; }
  int Frequency() const { return frequency_; }
  double Seconds() const { return frequency_ > 0 ? double(frames_) / frequency_ : 0.0; }
  Mix_Chunk* MixChunk() const { return chunk_; }

  // Decoded chunks alive in the process (for leak and reuse checks).
  static int Alive();

 private:
  friend std::shared_ptr<TAudioChunk> DecodeAudio(std::string_view, const std::string&, std::string&);
  TAudioChunk(Mix_Chunk* chunk, std::string name, int64_t frames, int frequency);

  Mix_Chunk* chunk_;
  std::string name_;
  int64_t frames_;
  int frequency_;
};

using TAudioChunkPtr = std::shared_ptr<TAudioChunk>;

// Decodes WAV, Ogg and the other formats SDL_mixer reads, from memory, into
// the format of the open SDL_mixer device. Null with the reason on failure
// (no device open, empty, too large, not a sound SDL_mixer can read).
TAudioChunkPtr DecodeAudio(std::string_view bytes, const std::string& name, std::string& error);

class IAudioMixer {
 public:
  static constexpr int kFrequency = 22050;
  static constexpr int kOutputChannels = 2;  // stereo, 16-bit
  static constexpr int kChunkFrames = 4096;
  static constexpr int kMixChannels = 32;
  static constexpr int kMaxVolume = 128;
  static constexpr int kMaxPanning = 255;
  static constexpr size_t kMaxSourceBytes = size_t(64) << 20;
  static constexpr size_t kMaxDecodedBytes = size_t(256) << 20;  // ~25 min at 44.1 kHz stereo

  virtual ~IAudioMixer() = default;

  // frequency in Hz, channels 1 or 2 (output, not mix channels), chunkSize in
  // frames. Allocates kMixChannels mix channels.
  virtual bool Open(int frequency, int channels, int chunkSize, std::string& error) = 0;
  bool Open(std::string& error) { return Open(kFrequency, kOutputChannels, kChunkFrames, error); }
  // Halts every channel and releases every chunk they hold.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  int Channels() const { return IsOpen() ? kMixChannels : 0; }

  TAudioChunkPtr Decode(std::string_view bytes, const std::string& name, std::string& error);

  // Plays on the first free channel from 0; loops 0 once, n n more times, -1
  // for ever. Returns the channel, or -1 with the reason in LastError().
  virtual int Play(const TAudioChunkPtr& chunk, int loops, int fadeInMs = 0, int volume = kMaxVolume) = 0;

  // A refused call (bad channel, closed mixer) returns false, -1 or null.
  virtual bool IsPlaying(int channel) = 0;
  // What plays on the channel now, null when it is idle.
  virtual const TAudioChunk* ChunkOn(int channel) = 0;
  virtual bool Halt(int channel) = 0;
  virtual bool SetVolume(int channel, int volume) = 0;
  virtual int Volume(int channel) = 0;
  virtual bool SetPanning(int channel, int left, int right) = 0;
  // Fades to silence over ms and ends the channel; ms <= 0 halts at once.
  virtual bool FadeOut(int channel, int ms) = 0;

  // Collects channels that ended since the last call (played out, halted or
  // faded out), in the order they ended, and releases their chunks. Every
  // other call collects first, so a channel that ended is free at once.
  virtual void Update() = 0;
  std::vector<int> TakeFinished();

  const std::string& LastError() const { return error_; }

 protected:
  bool ValidChannel(int channel);
  bool Refuse(const std::string& why);
  // Records the end of a channel's play and drops its share of the chunk.
  void Finished(int channel);

  std::string error_;
  std::vector<TAudioChunkPtr> held_;  // per channel, while it plays
  std::vector<int> finished_;
};

class TSdlAudioMixer : public IAudioMixer {
 public:
  ~TSdlAudioMixer() override { Close(); }
  bool Open(int frequency, int channels, int chunkSize, std::string& error) override;
  using IAudioMixer::Open;
  void Close() override;
  bool IsOpen() const override { return open_; }
  int Play(const TAudioChunkPtr& chunk, int loops, int fadeInMs = 0, int volume = kMaxVolume) override;
  bool IsPlaying(int channel) override;
  const TAudioChunk* ChunkOn(int channel) override;
  bool Halt(int channel) override;
  bool SetVolume(int channel, int volume) override;
  int Volume(int channel) override;
  bool SetPanning(int channel, int left, int right) override;
  bool FadeOut(int channel, int ms) override;
  void Update() override;

 private:
  bool open_ = false;
  bool quitAudio_ = false;  // this mixer started SDL's audio subsystem
};

class TVirtualAudioMixer : public IAudioMixer {
 public:
  explicit TVirtualAudioMixer(TTimeSource& time) : time_(time) {}
  ~TVirtualAudioMixer() override { Close(); }
  bool Open(int frequency, int channels, int chunkSize, std::string& error) override;
  using IAudioMixer::Open;
  void Close() override;
  bool IsOpen() const override { return open_; }
  int Play(const TAudioChunkPtr& chunk, int loops, int fadeInMs = 0, int volume = kMaxVolume) override;
  bool IsPlaying(int channel) override;
  const TAudioChunk* ChunkOn(int channel) override;
  bool Halt(int channel) override;
  bool SetVolume(int channel, int volume) override;
  int Volume(int channel) override;
  bool SetPanning(int channel, int left, int right) override;
  bool FadeOut(int channel, int ms) override;
  void Update() override;

  // Panning last set on a channel (255, 255 when centred).
  bool Panning(int channel, int& left, int& right);

 private:
  enum class TFade : uint8_t { None, In, Out };
  struct TChannel {
    double start = 0.0;
    double end = 0.0;  // infinite while looping for ever
    int volume = kMaxVolume;  // level outside fades
    int left = kMaxPanning, right = kMaxPanning;
    TFade fade = TFade::None;
    double fadeStart = 0.0, fadeEnd = 0.0;
    int fadeFrom = 0;  // fade-out: the level when it began
  };
  void Settle(double now);

  TTimeSource& time_;
  bool open_ = false;
  bool quitAudio_ = false;
  bool closeMixer_ = false;
  std::vector<TChannel> channels_;
};

}  // namespace kavo
