// Actor speech on the fixed frame step: queued lines start and end in turn
// (blocking) or at once (background), keep their own state (identical and
// empty lines), lose their sound tags, count CR LF as the length rule says,
// end early on a skip that never carries over, vanish on a clear, drop when
// their speaker is gone, survive callbacks that clear the queue or destroy
// the speaker, and are placed inside the view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/gameservices.h"
#include "scene/bitmapfont.h"
#include "scene/nodes.h"
#include "script/context.h"
#include "shell/kavoform.h"
#include "support/game_fixture.h"
#include "support/wav.h"
#include "world/kavoactor.h"

namespace kavo::test {
namespace {

class SpeechTest : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/scripts/room.lua", "");
    // A voice of 2.5 s: longer than the lines it goes with.
    dir.Write("data/voices/hello.wav", MakeWav(22050, 1, 22050 * 5 / 2));
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    font.data.widths.fill(10);
    font.data.charHeight = 20;
    font.data.horizontalSpacing = 0;
    Ctx().speechFont = &font;
    Run("a = TActor.Create() b = TActor.Create()");
    Run("function said(what) Game.LOG('said ' .. what) end");
    NewLog();
  }
  TKavoContext& Ctx() { return form->Context(); }
  TActorClass& Actor(size_t i) { return *Ctx().actors.At(static_cast<int64_t>(i)); }
  const std::vector<TSpeechObject>& Queue() { return form->services.speechQueue; }
  // Runs frames until the log shows `line` or `frames` ran; the frame count it took.
  int FramesUntilLogged(const std::string& line, int frames = 1000) {
    for (int i = 0; i < frames; ++i) {
      RunFrames(1);
      for (const std::string& l : NewLog())
        if (l == line) return i + 1;
    }
    return -1;
  }
  std::vector<std::string> Said(int frames) {
    std::vector<std::string> said;
    RunFrames(frames);
    for (const std::string& l : NewLog())
      if (l.rfind("said ", 0) == 0) said.push_back(l.substr(5));
    return said;
  }
  scene::BitmapFont font;
};

TEST_F(SpeechTest, BlockingLinesTakeTurnsAndBackgroundLinesDoNot) {
  Run("a.Say('first', 300, 'said_a') b.Say('second', 300, 'said_b')");
  Run("function said_a() said('a') end function said_b() said('b') end");
  RunFrames(15);
  EXPECT_EQ(Actor(0).actor.speechText, "first");
  EXPECT_EQ(Actor(1).actor.speechText, "");
  EXPECT_TRUE(form->services.speechInProgress);
  EXPECT_EQ(Said(40), std::vector<std::string>{"a"});
  EXPECT_EQ(Actor(1).actor.speechText, "second");
  EXPECT_EQ(Said(40), std::vector<std::string>{"b"});
  EXPECT_TRUE(Queue().empty());
  EXPECT_FALSE(form->services.speechInProgress);

  Run("a.Say('one', 300) b.SayBackground('two', 300)");
  RunFrames(15);
  EXPECT_EQ(Actor(0).actor.speechText, "one");
  EXPECT_EQ(Actor(1).actor.speechText, "two");
  // Two lines of one actor never overlap, background or not.
  Run("b.SayBackground('three', 100)");
  RunFrames(10);
  EXPECT_EQ(Actor(1).actor.speechText, "two");
}

TEST_F(SpeechTest, LinesKeepTheirOwnState) {
  // Two identical lines play in turn; an empty line shows nothing for its
  // time, runs its end function and leaves no line in progress.
  Run("function e1() said('1') end function e2() said('2') end function e3() said('3') end");
  Run("a.Say('same', 200, 'e1') a.Say('same', 200, 'e2') a.Say('', 200, 'e3')");
  std::vector<std::string> all;
  for (int i = 0; i < 12; ++i) {
    for (const std::string& s : Said(10)) all.push_back(s);
    if (all.size() == 2) EXPECT_EQ(Actor(0).actor.speechText, "");
  }
  EXPECT_EQ(all, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_TRUE(Queue().empty());
  EXPECT_FALSE(form->services.speechInProgress);
}

TEST_F(SpeechTest, TagsLineBreaksAndTheLengthRule) {
  Ctx().speechEffects = {"hello"};
  struct Case {
    std::string said, text, sound;
    int duration;
  } cases[] = {
      {"{HELLO}Good day", "Good day", "HELLO", 800},
      {"Well {hello} then", "Well  then", "hello", 1000},
      {"{nothing}Good day", "Good day", "", 800},  // not a speech effect: silent, tag gone
      {"{}empty tag", "{}empty tag", "", 1100},    // an empty name deletes nothing
      {"no } tag {", "no } tag {", "", 1000},
      {"0123456789\n0123456789\r0123456789", "0123456789\r\n0123456789\r\n0123456789", "", 3400},
      {"x\r\ny", "x\r\ny", "", 400},
      {"caf\xc3\xa9", "caf\xe9", "", 400},
  };
  for (const Case& c : cases) {
    form->services.speechQueue.clear();
    Run("a.Say(" + std::string("[[") + c.said + "]])");
    ASSERT_EQ(Queue().size(), 1u) << c.said;
    EXPECT_EQ(Queue()[0].text, c.text) << c.said;
    EXPECT_EQ(Queue()[0].sound, c.sound) << c.said;
    EXPECT_EQ(Queue()[0].duration, c.duration) << c.said;
    EXPECT_TRUE(Queue()[0].blocking);
  }
  form->services.speechQueue.clear();
  for (const auto& [call, message] : std::vector<std::pair<std::string, std::string>>{
           {"a.Say(1)", "Function (Say) requires string in first argument."},
           {"a.SayBackground('x', 'y')", "Function (Say) requires integer in second argument."},
           {"a.Say('x', 10, 5)", "Function (Say) requires string in third argument."}}) {
    Run(call);
    auto log = NewLog();
    ASSERT_FALSE(log.empty()) << call;
    EXPECT_NE(log[0].find(message), std::string::npos) << log[0];
  }
  EXPECT_TRUE(Queue().empty());
}

TEST_F(SpeechTest, ASkipEndsTheLinesOnShowAndNeverCarriesOver) {
  Run("Game.SkipToNextConversation()");  // nothing on show: nothing to skip
  Run("a.Say('long', 100000, 'said_a') b.SayBackground('also', 100000, 'said_b') a.Say('next', 100000, 'said_n')");
  Run("function said_a() said('a') end function said_b() said('b') end function said_n() said('n') end");
  RunFrames(15);
  EXPECT_EQ(Actor(0).actor.speechText, "long");
  Run("Game.SkipToNextConversation()");
  std::vector<std::string> said = Said(20);
  EXPECT_EQ(said, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Actor(0).actor.speechText, "next");
  EXPECT_TRUE(Said(100).empty());  // the skip did not reach the next line
}

TEST_F(SpeechTest, AClearEmptiesTheQueueAndTheLinesOnShow) {
  Run("a.Say('spoken', 100000) b.SetSpeechText('own text') b.Say('waits', 100000)");
  RunFrames(15);
  EXPECT_EQ(Actor(0).actor.speechText, "spoken");
  Run("Game.ClearConversations()");
  EXPECT_TRUE(Queue().empty());
  EXPECT_FALSE(form->services.speechInProgress);
  EXPECT_EQ(Actor(0).actor.speechText, "");
  EXPECT_EQ(Actor(1).actor.speechText, "own text");
  // The actor is free again at once.
  Run("a.Say('again', 100)");
  RunFrames(15);
  EXPECT_EQ(Actor(0).actor.speechText, "again");
}

TEST_F(SpeechTest, LinesOfAGoneSpeakerAreDroppedAndSpeechGoesOn) {
  Run("a.Say('never heard', 300) b.Say('heard', 300, 'said_b') function said_b() said('b') end");
  Run("a.Destroy()");
  EXPECT_GT(FramesUntilLogged("said b"), 0);
  EXPECT_TRUE(LogHas("Speech line dropped, its actor (ID 0) is gone: never heard"));

  // A speaker destroyed on show, from its own OnActorTalk, and an end
  // function that clears the queue and queues again.
  Run("c = TActor.Create() c.OnActorTalk = 'talk' function talk(d, t, e) said(t .. ' ' .. d .. ' ' .. e) c.Destroy() end");
  Run("c.Say('bye', 200, 'gone') b.Say('after', 200, 'cleared')");
  Run("function cleared() said('cleared') Game.ClearConversations() b.Say('fresh', 100, 'last') end");
  Run("function last() said('last') end");
  std::vector<std::string> said = Said(200);
  EXPECT_EQ(said, (std::vector<std::string>{"bye 200 gone", "cleared", "last"}));
  EXPECT_TRUE(Queue().empty());
  EXPECT_FALSE(form->services.speechInProgress);
}

TEST_F(SpeechTest, ALineWaitsForItsOwnVoice) {
  Run("s = TSound.Create() s.AddSpeechFX('voices/hello.wav', 'hello')");
  Run("function said_a() said('a') end function said_b() said('b') end");
  // The voice outlasts the line's 200 ms, and a skip does not cut it short;
  // b's silent background line ends on time although a's voice still plays.
  Run("a.Say('{HELLO}Hi', 200, 'said_a') b.SayBackground('Yes', 200, 'said_b')");
  RunFrames(15);
  ASSERT_EQ(Queue().size(), 2u);
  EXPECT_NE(Queue()[0].voice, 0u);
  EXPECT_EQ(Actor(0).actor.speechText, "Hi");
  EXPECT_EQ(Said(40), std::vector<std::string>{"b"});
  Run("Game.SkipToNextConversation()");
  EXPECT_TRUE(Said(100).empty());
  EXPECT_EQ(Actor(0).actor.speechText, "Hi");
  // The voice ends 2.5 s after it began: the skip then ends the line.
  EXPECT_EQ(Said(150), std::vector<std::string>{"a"});
  // With true, the skip stops the voice as well.
  Run("a.Say('{hello}Hi again', 200, 'said_a')");
  RunFrames(15);
  Run("Game.SkipToNextConversation(true)");
  EXPECT_EQ(Said(15), std::vector<std::string>{"a"});
}

TEST_F(SpeechTest, TheSpeechTextStaysInsideTheView) {
  int width = 0, height = 0;
  Ctx().platform.GetClientSize(width, height);
  Run("a.SetSpeechText('0123456789')");  // 100 pixels wide, 20 high
  RunFrames(1);
  auto* node = dynamic_cast<scene::HudTextNode*>(Actor(0).actor.speechNode);
  ASSERT_NE(node, nullptr);
  EXPECT_TRUE(node->Visible());
  EXPECT_EQ(node->text, "0123456789");
  // Far to the right, to the left, and high up.
  Run("a.SpeechHeight = 100000 a.SetPosition(1000000, 0, 0)");
  RunFrames(1);
  const float right = node->X();
  Run("a.SetPosition(-1000000, 0, 0)");
  RunFrames(1);
  const float left = node->X();
  EXPECT_EQ(node->Y(), 120.0f);
  EXPECT_TRUE((right == float(width) - 50 - 10 && left == 50 + 20) || (left == float(width) - 60 && right == 70))
      << left << " " << right;
  // Below the bottom edge it rises to its height plus 20 above it.
  Run("a.SpeechHeight = -100000");
  RunFrames(1);
  EXPECT_EQ(node->Y(), float(height) - 20 - 20);
  // Multi-line text is measured by its widest line; gone text hides.
  Run("a.SetSpeechText('ab\\n0123456789\\nc')");
  RunFrames(1);
  EXPECT_EQ(node->text, "ab\r\n0123456789\r\nc");
  Run("a.SetSpeechText('')");
  RunFrames(1);
  EXPECT_FALSE(node->Visible());
}

}  // namespace
}  // namespace kavo::test
