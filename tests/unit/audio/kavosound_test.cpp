// TSound seen from scripts: sample indexes of loose and packed files,
// playing and stopping on the engine's clock, argument errors, samples
// shared by every TSound object, the speech effects and their names, the
// volume levels and the close.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "audio/kavosound.h"
#include "audio/soundsystem.h"
#include "script/context.h"
#include "support/game_fixture.h"
#include "support/wav.h"

namespace kavo::test {
namespace {

class SoundTest : public GameFixture {
 protected:
  void SetUp() override {
    chunksBefore = TAudioChunk::Alive();
    dir.Write("data/sounds/door.wav", WavOfMs(100));
    dir.Write("data/sounds/music.wav", WavOfMs(500));
    // The folder "voices" is packed: its files come from voices.kvo.
    dir.Write("data/voices.kvo", BuildKavoArchive(TKavoPackMethod::Stored, {{"hello.wav", WavOfMs(300)},
                                                                              {"bye.wav", WavOfMs(300)},
                                                                              {"broken.wav", "RIFF junk"}}));
    StartGame("Game = TGame.Create()\nGame.Debug = false\ns = TSound.Create()\n");
    NewLog();
  }
  TKavoContext& Ctx() { return form->Context(); }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(tostring(" + expr + "))");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
  int chunksBefore = 0;
};

TEST_F(SoundTest, AddFromFileGivesTheIndexOfTheFileLooseOrPacked) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"s.AddFromFile('sounds/door.wav')", "0"},
      {"s.AddFromFile('sounds/music.wav')", "1"},
      {"s.AddFromFile('Sounds\\\\DOOR.wav')", "0"},  // the same file in other words
      {"s.AddFromFile('sounds/none.wav')", "-1"},
      {"s.AddFromFile('voices/hello.wav')", "2"},
      {"s.AddFromFile('voices/hello.wav')", "2"},  // packed files load once too
      {"s.AddFromFile('voices/none.wav')", "-1"},
      {"s.AddFromFile('voices/bye.wav')", "3"},
  };
  for (const auto& [call, want] : cases) EXPECT_EQ(Eval(call), want) << call;
  EXPECT_TRUE(LogHas("Sound System: Error while loading sounds/none.wav !"));
  EXPECT_TRUE(LogHas("Sound System: Error while loading voices/none.wav !"));
  EXPECT_EQ(Ctx().sounds->Count(), 4);

  Run("s.Unload()");
  EXPECT_EQ(Eval("s.AddFromFile('sounds/music.wav')"), "0");
}

TEST_F(SoundTest, PlayLoopsUntilStopAndAOncePlayEndsOnTheClock) {
  Run("s.AddFromFile('sounds/door.wav') s.AddFromFile('voices/hello.wav') s.Play(0, true) s.Play(1, 0)");
  EXPECT_EQ(Eval("s.IsPlaying(0)"), "1");
  EXPECT_EQ(Eval("s.IsPlaying(1)"), "1");
  RunFrames(40);  // 0.4 s: past both lengths
  EXPECT_EQ(Eval("s.IsPlaying(0)"), "1");
  EXPECT_EQ(Eval("s.IsPlaying(1)"), "0");
  Run("s.Stop(0)");
  EXPECT_EQ(Eval("s.IsPlaying(0)"), "0");
  EXPECT_EQ(Eval("s.GetVolume(0)"), "-1");

  // Two TSound objects work on the same samples.
  Run("t = TSound.Create() t.Play(1, true)");
  EXPECT_EQ(Eval("s.IsPlaying(1)"), "1");
  Run("s.SetVolume(1, 64) s.SetPan(1, 50)");
  EXPECT_EQ(Eval("t.GetVolume(1)"), "64");
  EXPECT_EQ(Eval("t.GetPan(1)"), "50");
  Run("t.StopAll()");
  EXPECT_EQ(Eval("s.IsPlaying(1)"), "0");

  // A packed sample the mixer cannot decode is logged and stays silent.
  Run("s.AddFromFile('voices/broken.wav') s.Play(2, true)");
  EXPECT_EQ(Eval("s.IsPlaying(2)"), "0");
  bool logged = false;
  for (const std::string& line : Log()) logged |= line.rfind("Sound System: Unable to play sound no.: 2 (", 0) == 0;
  EXPECT_TRUE(logged);
}

TEST_F(SoundTest, ArgumentErrors) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"s.Play('x', 1)", "Function (Play) requires integer in first argument."},
      {"s.Play(0)", "Function (Play) requires boolean in second argument."},
      {"s.Play(0, 'yes')", "Function (Play) requires boolean in second argument."},
      {"s.Stop()", "Function (Stop) requires integer in first argument."},
      {"s.IsPlaying(1.5)", "Function (IsPlaying) requires integer in first argument."},
      {"s.SetVolume(0)", "Function (SetVolume) requires integer in second argument."},
      {"s.GetVolume('a')", "Function (GetVolume) requires integer in first argument."},
      {"s.SetPan(0, 'left')", "Function (SetPan) requires integer in second argument."},
      {"s.GetPan({})", "Function (GetPan) requires integer in first argument."},
      {"s.FadeIn(0)", "Function (FadeIn) requires integer in second argument."},
      {"s.FadeOut('a', 1)", "Function (FadeOut) requires integer in first argument."},
      {"s.AddFromFile(3)", "Function (AddFromFile) requires string in first argument."},
      {"s.AddSpeechFX()", "Function (AddSpeechFX) requires string in first argument."},
      {"s.SetMasterVolume()", "Function (SetMasterVolume) requires integer in first argument."},
      {"s:Stop(0)", "Function (Stop) requires integer in first argument."},
  };
  for (const auto& [call, message] : cases) {
    NewLog();
    Run(call);
    EXPECT_TRUE(LogHas("Script Error: Calling object property failed: (" + message + ")!")) << call;
  }
  // The deprecated methods only log, and give nothing back.
  for (const char* name : {"GetSoundPos", "SetPitch", "GetPitch"}) {
    EXPECT_EQ(Eval(std::string("s.") + name + "(1)"), "nil") << name;
    EXPECT_TRUE(LogHas(std::string("TSound.") + name + " is deprecated")) << name;
  }
}

TEST_F(SoundTest, SpeechEffectsNameTheirOwnSamples) {
  Run("s.AddSpeechFX('voices/hello.wav', 'hello')");
  Run("s.AddSpeechFX('voices/none.wav', 'gone')");  // nothing loaded: not named
  Run("s.AddSpeechFX('sounds/door.wav')");
  Run("s.AddSpeechFX('voices/bye.wav', 42)");
  Run("s.AddSpeechFX('voices/hello.wav', 'Hi')");  // a second name for the same sample
  EXPECT_EQ(Ctx().speechEffects, (std::vector<std::string>{"hello", "sounds/door.wav", "42", "Hi"}));
  TSDLSoundSystem& speech = *Ctx().speechSounds;
  EXPECT_EQ(speech.Count(), 3);
  for (const auto& [name, index] : std::vector<std::pair<std::string, int64_t>>{
           {"HELLO", 0}, {"hi", 0}, {"Sounds/Door.WAV", 1}, {"42", 2}, {"gone", -1}})
    EXPECT_EQ(speech.IndexOfLabel(name), index) << name;
  EXPECT_EQ(Ctx().sounds->Count(), 0);  // the general system is another one

  // The speech step plays a line's sound by name and waits for that play.
  EXPECT_EQ(PlaySpeechEffect(Ctx(), "gone"), 0u);
  const uint64_t token = PlaySpeechEffect(Ctx(), "Hello");
  ASSERT_NE(token, 0u);
  Run("s.AddFromFile('sounds/music.wav') s.Play(0, true)");  // general sounds share the channels
  EXPECT_TRUE(SpeechEffectHeard(Ctx(), token));
  RunFrames(35);
  EXPECT_FALSE(SpeechEffectHeard(Ctx(), token));
  EXPECT_EQ(Eval("s.IsPlaying(0)"), "1");

  Run("s.UnloadSpeech()");
  EXPECT_TRUE(Ctx().speechEffects.empty());
  EXPECT_EQ(speech.Count(), 0);
  EXPECT_EQ(PlaySpeechEffect(Ctx(), "hello"), 0u);
}

TEST_F(SoundTest, MasterAndSpeechVolumesAndTheClose) {
  Run("s.AddFromFile('sounds/music.wav') s.AddSpeechFX('voices/hello.wav', 'hello')");
  Run("s.SetMasterVolume(64) s.SetSpeechVolume(64) s.Play(0, true)");
  PlaySpeechEffect(Ctx(), "hello");
  IAudioMixer& mixer = Ctx().sounds->Mixer();
  EXPECT_EQ(mixer.Volume(0), 64);
  EXPECT_EQ(mixer.Volume(1), 32);
  Run("s.SetMasterVolume(128)");
  EXPECT_EQ(mixer.Volume(0), 128);
  EXPECT_EQ(mixer.Volume(1), 64);

  // The close frees both systems and the mixer with everything decoded.
  form->CloseMainWindow();
  EXPECT_EQ(Ctx().sounds, nullptr);
  EXPECT_EQ(Ctx().speechSounds, nullptr);
  EXPECT_EQ(TAudioChunk::Alive(), chunksBefore);
}

}  // namespace
}  // namespace kavo::test
