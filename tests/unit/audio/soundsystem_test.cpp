// The sound system on the virtual mixer: indexes and loading, bad indexes,
// reads before the first play, panning levels, replays on several channels,
// channels another sample took over, fades, play tokens, the volume levels
// and data the mixer cannot decode.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "audio/soundsystem.h"
#include "core/log.h"
#include "support/game_fixture.h"
#include "support/wav.h"

namespace kavo::test {
namespace {

struct ManualTime : TTimeSource {
  double Now() override { return t; }
  double t = 0;
};

class SoundSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kavo::Log().Start(dir.Path() + "log.txt");
    std::string error;
    ASSERT_TRUE(mixer.Open(22050, 2, 256, error)) << error;  // a short buffer closes at once
    chunksBefore = TAudioChunk::Alive();
    sys.OnError = [this](TSDLSoundSystem&, const std::string& m) { errors.push_back(m); };
    // Sample 0 lasts a second, 1 a quarter of a second.
    ASSERT_EQ(sys.AddFromStream("one", WavOfMs(1000)), 0);
    ASSERT_EQ(sys.AddFromStream("short", WavOfMs(250)), 1);
  }
  void TearDown() override {
    sys.UnloadAll();
    other.UnloadAll();
    mixer.Close();
    EXPECT_EQ(TAudioChunk::Alive(), chunksBefore) << "a decoded chunk outlived its sound system";
  }
  void Advance(double seconds) {
    time.t += seconds;
    mixer.Update();
  }
  std::vector<std::string> Log() const { return LogLines(dir.Path() + "log.txt"); }

  TempDir dir;
  ManualTime time;
  TVirtualAudioMixer mixer{time};
  TSDLSoundSystem sys{mixer};
  TSDLSoundSystem other{mixer, "Speech Sound System"};  // shares the mixer's channels
  std::vector<std::string> errors;
  int chunksBefore = 0;
};

TEST_F(SoundSystemTest, IndexesCountFromZeroAndFilesLoadOnce) {
  std::vector<std::pair<int64_t, std::string>> loads;
  sys.OnLoad = [&](TSDLSoundSystem&, int64_t i, const std::string& n) { loads.emplace_back(i, n); };
  dir.Write("a.wav", WavOfMs(100));
  const std::string a = dir.Path() + "a.wav";
  EXPECT_EQ(sys.AddFromFile(a), 2);
  EXPECT_EQ(sys.AddFromFile(a), 2);  // the name is loaded: its index again
  EXPECT_EQ(sys.AddFromFile(dir.Path() + "none.wav"), -1);
  EXPECT_EQ(sys.Count(), 3);
  EXPECT_TRUE(sys.IsLoaded(a));
  EXPECT_FALSE(sys.IsLoaded(dir.Path() + "A.wav"));  // names are case-sensitive
  EXPECT_EQ(sys.AddFromStream("one", WavOfMs(10)), 3);  // streams are not tested for duplicates
  EXPECT_EQ(loads, (std::vector<std::pair<int64_t, std::string>>{{2, a}, {3, "one"}}));
  EXPECT_EQ(errors, std::vector<std::string>{"Error while loading " + dir.Path() + "none.wav !"});

  sys.UnloadAll();
  EXPECT_EQ(sys.Count(), 0);
  EXPECT_EQ(sys.AddFromFile(a), 0);
}

TEST_F(SoundSystemTest, BadIndexesAndReadsBeforeTheFirstPlay) {
  sys.Play(-1, false);
  sys.Play(2, true);
  EXPECT_EQ(errors, (std::vector<std::string>{"Unable to play sound no.:  -1", "Unable to play sound no.:  2"}));
  auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "Sound System: Unable to play sound no.:  2"), log.end());
  for (int64_t bad : {int64_t(-1), int64_t(2), int64_t(1) << 40}) {
    EXPECT_EQ(sys.GetVolume(bad), 0) << bad;
    EXPECT_EQ(sys.GetPan(bad), 0) << bad;
    EXPECT_FALSE(sys.IsPlaying(bad)) << bad;
    sys.Stop(bad);
    sys.SetVolume(bad, 3);
    sys.FadeIn(bad, 100);
    sys.FadeOut(bad, 100);
  }
  // Never played: the pan is stored but reported only once a play has it;
  // a volume set now is lost.
  sys.SetPan(0, 30);
  sys.SetVolume(0, 20);
  EXPECT_FALSE(sys.IsPlaying(0));
  EXPECT_EQ(sys.GetVolume(0), -1);
  EXPECT_EQ(sys.GetPan(0), -1);
  sys.Play(0, false);
  EXPECT_EQ(sys.GetVolume(0), 128);
  EXPECT_EQ(sys.GetPan(0), 30);
  EXPECT_EQ(mixer.Volume(0), 128);
  int left = 0, right = 0;
  ASSERT_TRUE(mixer.Panning(0, left, right));
  EXPECT_EQ(std::make_pair(left, right), std::make_pair(255, 255));  // a new play starts centred
}

TEST_F(SoundSystemTest, PanLevels) {
  const std::vector<std::pair<int64_t, std::pair<int, int>>> cases = {
      {0, {254, 0}}, {50, {126, 128}}, {100, {0, 255}}, {25, {190, 64}},  // 63.75 and 190.25
      {-10, {255, 0}}, {1000, {0, 255}}, {INT64_MIN, {255, 0}}, {INT64_MAX, {0, 255}}};
  for (const auto& [pan, want] : cases) EXPECT_EQ(TSDLSoundSystem::PanLevels(pan), want) << pan;

  sys.Play(0, true);
  sys.SetPan(0, 50);
  int left = 0, right = 0;
  ASSERT_TRUE(mixer.Panning(0, left, right));
  EXPECT_EQ(std::make_pair(left, right), std::make_pair(126, 128));
}

TEST_F(SoundSystemTest, AReplayPlaysOnASecondChannelFromOneDecodingAndStopHaltsBoth) {
  sys.Play(0, false);
  Advance(0.5);
  sys.Play(0, true);
  ASSERT_NE(mixer.ChunkOn(0), nullptr);
  EXPECT_EQ(mixer.ChunkOn(0), mixer.ChunkOn(1));
  EXPECT_EQ(TAudioChunk::Alive(), chunksBefore + 1);
  sys.SetVolume(0, 40);  // both plays of the sample
  EXPECT_EQ(mixer.Volume(0), 40);
  EXPECT_EQ(mixer.Volume(1), 40);

  // The first play ends by itself; the looping one goes on.
  Advance(0.6);
  EXPECT_FALSE(mixer.IsPlaying(0));
  EXPECT_TRUE(sys.IsPlaying(0));
  sys.Play(0, false);  // back on channel 0
  EXPECT_TRUE(mixer.IsPlaying(0));
  sys.Stop(0);
  EXPECT_FALSE(mixer.IsPlaying(0));
  EXPECT_FALSE(mixer.IsPlaying(1));
  EXPECT_FALSE(sys.IsPlaying(0));
  EXPECT_EQ(sys.GetVolume(0), -1);  // stopped: waits for its next play
  // The decoded data stay for the next play and go with the sample.
  EXPECT_EQ(TAudioChunk::Alive(), chunksBefore + 1);
  sys.Play(0, false);
  EXPECT_EQ(TAudioChunk::Alive(), chunksBefore + 1);
  sys.UnloadAll();
  EXPECT_FALSE(mixer.IsPlaying(0));
  EXPECT_EQ(TAudioChunk::Alive(), chunksBefore);
}

TEST_F(SoundSystemTest, AChannelTakenOverBelongsToTheNewSample) {
  ASSERT_EQ(other.AddFromStream("voice", WavOfMs(1000)), 0);
  sys.Play(1, false);  // channel 0, a quarter of a second
  sys.SetPan(1, 0);
  Advance(0.3);
  other.Play(0, true);  // the other system's sample takes channel 0 over
  ASSERT_TRUE(mixer.IsPlaying(0));
  EXPECT_FALSE(sys.IsPlaying(1));

  sys.SetVolume(1, 10);
  sys.SetPan(1, 100);
  sys.FadeOut(1, 100);
  sys.Stop(1);
  int left = 0, right = 0;
  ASSERT_TRUE(mixer.Panning(0, left, right));
  EXPECT_EQ(std::make_pair(left, right), std::make_pair(255, 255));
  EXPECT_EQ(mixer.Volume(0), 128);
  Advance(0.2);
  EXPECT_TRUE(mixer.IsPlaying(0)) << "a fade or stop of the old sample reached the new one";
  EXPECT_TRUE(other.IsPlaying(0));
  EXPECT_EQ(sys.GetVolume(1), 10);  // its own, not the channel's
  EXPECT_EQ(sys.GetPan(1), 100);
  EXPECT_TRUE(errors.empty());
}

TEST_F(SoundSystemTest, FadeInRestartsOnlyAPlayedSample) {
  sys.FadeIn(0, 2000);
  EXPECT_FALSE(sys.IsPlaying(0));
  sys.Play(0, true);
  sys.SetVolume(0, 100);
  sys.SetPan(0, 100);
  Advance(0.5);
  sys.FadeIn(0, 2000);
  EXPECT_TRUE(sys.IsPlaying(0));
  Advance(1.0);
  EXPECT_EQ(sys.GetVolume(0), 50);  // half way up to its volume
  Advance(1.5);
  EXPECT_EQ(sys.GetVolume(0), 100);
  int left = 0, right = 0;
  ASSERT_TRUE(mixer.Panning(0, left, right));
  EXPECT_EQ(std::make_pair(left, right), std::make_pair(0, 255));  // kept its panning
  Advance(10);
  EXPECT_TRUE(sys.IsPlaying(0)) << "the restart lost the loop";

  sys.FadeOut(0, 1000);
  Advance(0.5);
  EXPECT_TRUE(sys.IsPlaying(0));
  Advance(0.6);
  EXPECT_FALSE(sys.IsPlaying(0));
  sys.Play(0, false);
  sys.Stop(0);
  sys.FadeIn(0, 100);  // stopped: nothing until the next play
  EXPECT_FALSE(sys.IsPlaying(0));
}

TEST_F(SoundSystemTest, APlayTokenIsHeardUntilThatVeryPlayEnds) {
  EXPECT_FALSE(sys.IsPlayHeard(0));
  const uint64_t first = sys.PlayOnce(1);
  ASSERT_NE(first, 0u);
  EXPECT_TRUE(sys.IsPlayHeard(first));
  const uint64_t meanwhile = sys.PlayOnce(0);  // added later, heard longer
  Advance(0.3);
  EXPECT_FALSE(sys.IsPlayHeard(first));
  EXPECT_TRUE(sys.IsPlayHeard(meanwhile));
  const uint64_t again = sys.PlayOnce(1);  // the same sample back on channel 0
  EXPECT_NE(again, first);
  EXPECT_FALSE(sys.IsPlayHeard(first));
  EXPECT_TRUE(sys.IsPlayHeard(again));
  sys.Stop(1);
  EXPECT_FALSE(sys.IsPlayHeard(again));
  EXPECT_EQ(sys.PlayOnce(7), 0u);
  sys.UnloadAll();
  EXPECT_FALSE(sys.IsPlayHeard(meanwhile));
}

TEST_F(SoundSystemTest, LevelsScaleWhatReachesTheMixer) {
  sys.Play(0, true);
  sys.SetVolume(0, 100);
  sys.SetMasterVolume(64);
  EXPECT_EQ(mixer.Volume(0), 50);
  EXPECT_EQ(sys.GetVolume(0), 100);
  sys.Play(1, true);
  EXPECT_EQ(mixer.Volume(1), 64);
  ASSERT_EQ(other.AddFromStream("voice", WavOfMs(1000)), 0);
  other.SetMasterVolume(64);
  other.SetSystemVolume(64);
  other.Play(0, false);
  EXPECT_EQ(mixer.Volume(2), 32);
  sys.SetMasterVolume(500);  // clamped to 128
  EXPECT_EQ(mixer.Volume(0), 100);
  sys.SetMasterVolume(0);
  EXPECT_EQ(mixer.Volume(1), 0);
  EXPECT_EQ(sys.GetVolume(1), 128);
}

TEST_F(SoundSystemTest, WhatCannotPlayIsLoggedAndNothingElseHappens) {
  ASSERT_EQ(sys.AddFromStream("junk.wav", "RIFF not a sound at all"), 2);
  sys.Play(2, false);
  sys.Play(2, true);  // said once
  EXPECT_FALSE(sys.IsPlaying(2));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Unable to play sound no.: 2 (Cannot decode sound 'junk.wav'", 0), 0u) << errors[0];
  EXPECT_EQ(Log().back(), "Sound System: " + errors[0]);

  // Every channel busy: the next play is logged and not heard.
  for (int i = 0; i < IAudioMixer::kMixChannels; ++i) sys.Play(0, true);
  EXPECT_EQ(sys.PlayOnce(1), 0u);
  EXPECT_FALSE(sys.IsPlaying(1));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[1].find("No free channel"), std::string::npos) << errors[1];

  // Over the limits nothing is appended.
  EXPECT_EQ(sys.AddFromStream("huge", std::string(IAudioMixer::kMaxSourceBytes + 1, 'x')), -1);
  EXPECT_EQ(sys.Count(), 3);
  EXPECT_EQ(errors.back(), "Error while loading from stream!");
}

TEST(SoundSystemClosedMixer, LoadsAndIndexesButPlaysNothing) {
  ManualTime time;
  TVirtualAudioMixer mixer{time};  // never opened: no audio
  TSDLSoundSystem sys{mixer};
  EXPECT_EQ(sys.AddFromStream("a", WavOfMs(100)), 0);
  EXPECT_EQ(sys.PlayOnce(0), 0u);
  sys.Play(0, true);
  sys.SetVolume(0, 3);
  sys.FadeIn(0, 10);
  EXPECT_FALSE(sys.IsPlaying(0));
  EXPECT_EQ(sys.GetVolume(0), -1);
}

}  // namespace
}  // namespace kavo::test
