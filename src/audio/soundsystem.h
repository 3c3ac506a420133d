// TSDLSoundSystem: an indexed list of sound samples played on the audio
// mixer's channels. The main window owns two of them on one shared mixer:
// the general one behind TSound (effects and music) and the speech one
// whose samples the speech step plays. Scripts address a sample by its index
// in its system; indexes count from 0 in the order samples were added and
// never move until UnloadAll starts them again at 0.
//
// A sample keeps its file's bytes as loaded (WAV, Ogg or anything the mixer
// decodes). The first play decodes them; the decoded chunk is kept for the
// plays that follow, so a replay costs no decoding. The mixer holds a share
// of the chunk while a channel plays it: a sample played again while still
// heard plays on a second channel, and no chunk is freed while heard.
//
// A sample owns a channel only while the mixer still plays that very play
// there (a channel that ended may at once be taken by any sample of either
// system). Is playing, stop, volume, panning and fades act on the sample's
// own live plays and never on a channel another sample took over.
//
// Volumes run 0..128. What reaches the mixer is the sample's volume scaled by
// the master volume and by the system's own volume (both 0..128, full by
// default): the main window turns the master down on both systems, and the
// speech volume is the speech system's own volume. Reads give the sample's
// volume as the script set it, unscaled.
//
// Every failure is written to the engine log (with the area prefix
// "Sound System: ") and raised through OnError with its message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/audio.h"

namespace kavo {

// One loaded sample.
struct TSoundData {
  std::string name;  // the name it was added under
  std::string data;  // the file's bytes as loaded
  TAudioChunkPtr chunk;  // decoded on the first play and kept; null until then
  bool undecodable = false;  // decoding failed once: later plays stay silent
  // Played since it was added or last stopped: its volume, panning and fades
  // can be worked on. A stop clears it, a play sets it again.
  bool primed = false;
  int channel = -1;  // the channel of the latest play
  int64_t pan = 0;   // last value given to SetPan (0 left .. 100 right)
  bool panApplied = false;  // SetPan reached the latest play
  int loops = 0;     // of the latest play: 0 once, -1 for ever
  int volume = IAudioMixer::kMaxVolume;  // of the latest play, unscaled
  uint64_t lastUse = 0;  // for dropping decoded chunks over the budget
};

class TSDLSoundSystem {
 public:
  // Stereo levels of a pan value: x = pan / 100 * 255, left = 254 - x and
  // right = x, each rounded to nearest (ties to even) and kept in 0..255.
  // 0 gives (254, 0), 50 gives (126, 128), 100 gives (0, 255).
  static std::pair<int, int> PanLevels(int64_t pan);

  // Limits on what game data can make a system hold.
  static constexpr size_t kMaxSamples = 65536;
  static constexpr size_t kMaxLoadedBytes = size_t(512) << 20;   // encoded bytes of all samples
  static constexpr size_t kDecodedBudget = size_t(512) << 20;    // decoded chunks kept for replays

  // The mixer is shared with the other system and outlives both; it may be
  // closed (no audio): then samples still load and index as usual, and
  // every play is silent and reports nothing heard.
  explicit TSDLSoundSystem(IAudioMixer& mixer, std::string label = "Sound System");
  ~TSDLSoundSystem();
  TSDLSoundSystem(const TSDLSoundSystem&) = delete;
  TSDLSoundSystem& operator=(const TSDLSoundSystem&) = delete;

  // Raised after a sample was added: (system, index, name).
  std::function<void(TSDLSoundSystem&, int64_t, const std::string&)> OnLoad;
  // Raised with every error message (also written to the log).
  std::function<void(TSDLSoundSystem&, const std::string&)> OnError;

  IAudioMixer& Mixer() { return mixer_; }
  int64_t Count() const { return static_cast<int64_t>(samples_.size()); }
  const TSoundData* Sample(int64_t index) const;

  // Reads a file through the engine's file layer and adds it under the file
  // name. A name already loaded (exact, case-sensitive) is not loaded again:
  // its index is returned. -1 with "Error while loading " + name + " !" when
  // the file cannot be read.
  int64_t AddFromFile(const std::string& fileName);
  // Copies the bytes into a new sample under the name, without a duplicate
  // test. Returns its index; -1 with "Error while loading from stream!" when
  // the bytes are over the limits (nothing is appended then).
  int64_t AddFromStream(const std::string& name, std::string_view bytes);
  // The index of the first sample of that exact name, or -1.
  int64_t IndexOf(std::string_view name) const;
  bool IsLoaded(std::string_view name) const { return IndexOf(name) >= 0; }

  // Plays the sample on the first free channel, once or looping for ever,
  // at full volume and centred. A bad index reports "Unable to play sound
  // no.:  " + index. Data the mixer cannot decode and a mixer without a free
  // channel are logged and nothing is heard.
  void Play(int64_t index, bool loop);
  // Plays the sample once and returns a token for that very play, 0 when
  // nothing was played (bad index, no audio, undecodable, no free channel).
  uint64_t PlayOnce(int64_t index);
  // True while the play the token stands for is still heard: it has neither
  // ended, been stopped nor faded out, whatever else played since. False for
  // 0 and for tokens of unloaded samples.
  bool IsPlayHeard(uint64_t token);
  // Halts that very play, if it is still heard; other plays go on.
  void StopPlay(uint64_t token);

  // Halts every play of the sample; afterwards volume, panning and fades
  // wait for its next play.
  void Stop(int64_t index);
  void StopAll();
  // Halts whatever this system plays and frees every sample; Count becomes 0.
  void UnloadAll();

  bool IsPlaying(int64_t index);
  // Applies to every play of the sample that is still heard (nothing before
  // its first play). Fading plays keep their fade.
  void SetVolume(int64_t index, int64_t volume);
  // 0 for a bad index, -1 before the first play (or after a stop), else the
  // volume of its latest play (while that play fades, the fade's level).
  int64_t GetVolume(int64_t index);
  // Stores the pan; applies it (PanLevels) to the sample's heard plays.
  void SetPan(int64_t index, int64_t pan);
  // 0 for a bad index, -1 before the first play, else the stored pan.
  int64_t GetPan(int64_t index);
  // Restarts a played sample (halting its plays) with a fade in to its
  // volume over ms, with the loops of its latest play. Does nothing before
  // the first play or after a stop.
  void FadeIn(int64_t index, int64_t ms);
  // Fades the sample's heard plays out over ms; they end when silent.
  void FadeOut(int64_t index, int64_t ms);

  // Master volume and the system's own volume, 0..128 (clamped), applied
  // at once to everything this system plays.
  void SetMasterVolume(int64_t volume);
  void SetSystemVolume(int64_t volume);
  int MasterVolume() const { return master_; }
  int SystemVolume() const { return own_; }

  // Names given to samples (the speech effects: a line names its sound),
  // matched without regard to ASCII case. A name given again points to the
  // newer sample. UnloadAll forgets them.
  void SetLabel(std::string_view name, int64_t index);
  int64_t IndexOfLabel(std::string_view name) const;

  // Writes the message to the log under the system's area and raises
  // OnError with it; Note only logs (details that follow a message).
  void Error(const std::string& message);
  void Note(const std::string& message);

  // Decoded bytes kept for replays (for tests and the budget).
  size_t DecodedBytes() const { return decodedBytes_; }

 private:
  struct TChannelUse {
    int64_t sample = -1;
    uint64_t serial = 0;  // the play's token
    std::weak_ptr<TAudioChunk> chunk;
    int volume = IAudioMixer::kMaxVolume;  // unscaled
  };

  TSoundData* Valid(int64_t index);
  TAudioChunkPtr Decoded(int64_t index, TSoundData& s);
  void KeepWithinBudget(const TSoundData& keep);
  // Starts a play; returns its token or 0.
  uint64_t Start(int64_t index, int loops, int fadeInMs);
  // Whether channel c still plays the play recorded on it.
  bool Live(int c);
  std::vector<int> LivePlays(int64_t index);
  int Scaled(int volume) const;
  void Reapply();

  IAudioMixer& mixer_;
  std::string label_;
  std::vector<std::unique_ptr<TSoundData>> samples_;
  std::vector<TChannelUse> uses_;  // per mixer channel: the last play this system started there
  std::vector<std::pair<std::string, int64_t>> labels_;  // lower-case name, index
  size_t loadedBytes_ = 0;
  size_t decodedBytes_ = 0;
  uint64_t serial_ = 0;
  uint64_t useClock_ = 0;
  int master_ = IAudioMixer::kMaxVolume;
  int own_ = IAudioMixer::kMaxVolume;
};

// Opens the mixer for a sound system pair in the engine's format. On failure
// returns false with the message to log: "Error initializing sound. SDL was
// not initialized!" when SDL's audio could not start, else "Could not open
// audio: " + the reason. chunkFrames is the device buffer: a mixer that
// only decodes through the device (the virtual one) wants a short one, as
// closing the device waits for the buffer in flight.
bool OpenSoundMixer(IAudioMixer& mixer, std::string& message, int chunkFrames = IAudioMixer::kChunkFrames);

}  // namespace kavo
