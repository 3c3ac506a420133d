// TActor seen from scripts: loading and its errors, the automatic
// animations, scripted animations with end functions and frame events,
// frames and IDs, hands, destruction while held or walking, the walk queue,
// steering over a floor, routes and the save lines.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "scene/animatedmesh.h"
#include "scene/collision.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "support/game_fixture.h"
#include "support/pictures.h"
#include "visual/kavomesh.h"
#include "world/kavoactor.h"

namespace kavo::test {
namespace {

// A two-bone SMD: "root" and "Bip01 R Hand" 10 units up the z axis. `turns`
// lists the hand bone's x rotation (radians) of each skeleton frame; with
// `triangles` the file is a model, else an animation file.
std::string Smd(const std::vector<float>& turns, bool triangles) {
  std::string s = "version 1\nnodes\n0 \"root\" -1\n1 \"Bip01 R Hand\" 0\nend\nskeleton\n";
  for (size_t f = 0; f < turns.size(); ++f) {
    s += "time " + std::to_string(f) + "\n";
    s += "0 0 0 0 0 0 0\n";
    s += "1 0 0 10 " + std::to_string(turns[f]) + " 0 0\n";
  }
  s += "end\n";
  if (triangles) {
    s += "triangles\nskin.png\n";
    s += "0 -1 0 0 0 0 1 0 0\n";
    s += "0 1 0 0 0 0 1 1 0\n";
    s += "1 0 0 12 0 0 1 0 1\n";
    s += "end\n";
  }
  return s;
}

class ActorTest : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/actors/hero.smd", Smd({0, 0}, true));
    dir.Write("data/actors/skin.png", EncodePng(1, 1, {200, 150, 100, 255}));
    dir.Write("data/actors/standing.smd", Smd({0, 0.1f}, false));
    dir.Write("data/actors/walking.smd", Smd({0, 0.2f, 0.4f, 0.2f}, false));
    dir.Write("data/actors/talking.smd", Smd({0, 0.3f, 0}, false));
    dir.Write("data/scripts/room.lua", "");
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
  TKavoContext& Ctx() { return form->Context(); }
  TActorClass& Actor(size_t i) { return *Ctx().actors.At(static_cast<int64_t>(i)); }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(tostring(" + expr + "))");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
  // A hero with its three automatic animations.
  void MakeHero(const std::string& var = "hero") {
    Run(var + " = TActor.Create() " + var + ".LoadBaseMesh('actors/hero.smd') " + var +
        ".AddAnimation('actors/standing.smd') " + var + ".AddAnimation('actors/walking.smd') " + var +
        ".AddAnimation('actors/talking.smd')");
  }
  std::string Playing(size_t i) {
    const scene::AnimatedMeshNode* m = Actor(i).actor.model;
    const int p = m->PlayingAnimation();
    return p < 0 ? "" : m->Animations()[static_cast<size_t>(p)].name;
  }
  void ExpectLoadError(const std::string& call, int number, const std::string& text) {
    Run("Game.Debug = true a = TActor.Create() " + call);
    ASSERT_EQ(platform.dialogs.size(), 1u) << call;
    EXPECT_EQ(platform.dialogs[0].number, number) << call;
    EXPECT_NE(platform.dialogs[0].text.find(text), std::string::npos) << platform.dialogs[0].text;
  }
  // A room whose script file holds `script`; frame events and walk-point
  // functions are called in it.
  void RoomScript(const std::string& script) {
    dir.Write("data/scripts/room.lua", script);
    Ctx().roomScriptFile = "room.lua";
    Ctx().roomName = "room";
  }
};

TEST_F(ActorTest, ANewActorHasItsNodesAndDefaults) {
  Run("a = TActor.Create()");
  TActorClass& a = Actor(0);
  const TKavoActor& r = a.actor;
  EXPECT_EQ(a.Node(), r.root);
  EXPECT_EQ(r.root->Parent(), Ctx().scene->sceneNode);
  EXPECT_EQ(r.root->Tag(), 1);
  EXPECT_EQ(r.model->Parent(), r.pivot);
  EXPECT_FLOAT_EQ(r.model->PitchAngle(), 90.0f);
  EXPECT_EQ(r.model->Mode(), scene::AnimationMode::None);
  EXPECT_EQ(r.sideMarker->Position(), glm::vec3(-20, 0, 0));
  EXPECT_EQ(r.frontMarker->Position(), glm::vec3(0, 0, 20));
  EXPECT_EQ(r.firstHand->Parent(), r.model);
  EXPECT_FALSE(r.collisionSphere->Visible());
  EXPECT_EQ(r.speechNode->Parent(), Ctx().scene->speechtexts);
  // No room yet: the body waits.
  EXPECT_FALSE(Ctx().collisions->IsActive(r.body));
  EXPECT_EQ(Eval("a.WalkingSpeed"), "500");
  EXPECT_EQ(Eval("a.StandingAnimation"), "standing");
  EXPECT_EQ(Eval("a.TalkingInterval"), "100");
  EXPECT_EQ(Eval("a.ID"), "0");
}

TEST_F(ActorTest, PlaysStandingThenWalkingAndTalkingWithTheirIntervals) {
  MakeHero();
  TActorClass& a = Actor(0);
  EXPECT_EQ(NewLog(), std::vector<std::string>{"Object manager: Created new object TActor"});
  EXPECT_EQ(a.actor.model->Mode(), scene::AnimationMode::Loop);
  RunFrames(2);
  EXPECT_EQ(Playing(0), "standing");
  EXPECT_EQ(a.actor.model->Interval(), 200);
  EXPECT_EQ(Eval("hero.CurrentAnimation"), "standing");

  Run("hero.Walk(500, 0, 0)");
  RunFrames(3);
  EXPECT_EQ(Playing(0), "walking");
  EXPECT_EQ(a.actor.model->Interval(), 20);
  // Walking holds frame after frame (it does not flip back to standing).
  for (int i = 0; i < 10; ++i) {
    RunFrames(1);
    EXPECT_EQ(Playing(0), "walking") << i;
  }
  Run("hero.ClearWalkPoints()");
  Run("hero.SetSpeechText('Hello')");
  a.actor.measuredSpeed = 0;
  RunFrames(3);
  EXPECT_EQ(Playing(0), "talking");
  EXPECT_EQ(a.actor.model->Interval(), 100);
  Run("hero.SetSpeechText('')");
  RunFrames(3);
  EXPECT_EQ(Playing(0), "standing");
}

// Each failed load ends in the numbered dialog naming the file.
TEST_F(ActorTest, AMissingModelIsError20) {
  ExpectLoadError("a.LoadBaseMesh('actors/ghost.smd')", 20, "actors/ghost.smd");
  // The actor is left without a model, and nothing refers to a freed node.
  EXPECT_FALSE(Actor(0).actor.model->HasModel());
}

TEST_F(ActorTest, AMissingSecondModelIsError21AndLeavesNoModel) {
  ExpectLoadError("a.LoadBaseMesh('actors/hero.smd', 'actors/shadow.smd')", 21, "actors/shadow.smd");
  TActorClass& a = Actor(0);
  EXPECT_EQ(a.actor.secondModel, nullptr);
  EXPECT_FALSE(a.actor.model->HasModel());
  EXPECT_TRUE(Ctx().scene->shadowOccluders.empty());
  // It can load again, and a second load replaces the first.
  Ctx().halted = false;
  Run("Game.Debug = false a.LoadBaseMesh('actors/hero.smd') a.LoadBaseMesh('actors/hero.smd', 'actors/hero.smd')");
  EXPECT_TRUE(a.actor.model->HasModel());
  ASSERT_NE(a.actor.secondModel, nullptr);
  EXPECT_EQ(a.actor.model->ChildCount(), 3u);  // two hands and one second model
  EXPECT_EQ(Ctx().scene->shadowOccluders, std::vector<scene::Node*>{a.actor.secondModel});
}

TEST_F(ActorTest, AMissingAnimationFileIsError10WithItsBareName) {
  ExpectLoadError("a.LoadBaseMesh('actors/hero.smd') a.AddAnimation('actors/jumping.smd')", 10, "jumping.smd");
  EXPECT_EQ(platform.dialogs[0].text.find("actors"), std::string::npos);
}

TEST_F(ActorTest, AGltfFigureWithItsBufferBesideItInAnotherLetterCase) {
  // A static glTF figure: one frame, no bones; its buffer file is named in
  // another letter case than the file on disk.
  const float tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  dir.Write("data/actors/tri.bin", std::string(reinterpret_cast<const char*>(tri), sizeof tri));
  dir.Write("data/actors/figure.gltf",
            R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":36,"uri":"TRI.BIN"}],)"
            R"("bufferViews":[{"buffer":0,"byteLength":36}],)"
            R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],)"
            R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"nodes":[{"mesh":0}],"scenes":[{"nodes":[0]}]})");
  Run("a = TActor.Create() a.LoadBaseMesh('Actors/Figure.gltf')");
  for (const std::string& line : NewLog()) EXPECT_EQ(line.find("rror"), std::string::npos) << line;
  EXPECT_TRUE(Actor(0).actor.model->HasModel());
  EXPECT_EQ(Actor(0).actor.model->FrameCount(), 1);
  RunFrames(2);
  EXPECT_FALSE(Ctx().halted);
}

TEST_F(ActorTest, ArgumentChecksRaiseTheirMessages) {
  Run("a = TActor.Create()");
  const char* cases[][2] = {
      {"a.LoadBaseMesh(5)", "Function (LoadBaseMesh) requires string in first argument."},
      {"a.LoadBaseMesh('x', 5)", "Function (LoadBaseMesh) requires string in second argument."},
      {"a.RunBoneAnimation(1)", "Function (RunBoneAnimation) requires string in first argument."},
      {"a.SetHandBones('a')", "Function (SetHandBones) requires string in second argument."},
      {"a.SetMeshScale(1, 'x', 1)", "Function (SetMeshScale) requires number in second argument."},
      {"a.SetCollisionScale(1, 1)", "Function (SetCollisionScale) requires number in third argument."},
      {"a.PointTo('x', 1, 1)", "Function (PointTo) requires number in first argument."},
      {"a.Walk(1, 2, 3, 4)", "Function (Walk) requires string in fourth argument."},
      {"a.AddWalkPoint(1, 2, 3)", "Function (AddWalkPoint) requires string in fourth argument."},
      {"a.FindPathAndWalk(1, 'x', 3)", "Function (FindPathAndWalk) requires number in second argument."},
      {"a.Jump(1)", "Function (Jump) requires number in second argument."},
      {"a.MoveEndOfWalk()", "List index out of bounds (-1)"},
  };
  for (const auto& c : cases) {
    NewLog();
    Run(c[0]);
    auto log = NewLog();
    ASSERT_FALSE(log.empty()) << c[0];
    EXPECT_NE(log[0].find(c[1]), std::string::npos) << log[0];
  }
  EXPECT_TRUE(Actor(0).actor.walkQueue.empty());
}

TEST_F(ActorTest, BoneAnimationEndFunctionsRunOnceAndMayChain) {
  RoomScript(
      "calls = ''\n"
      "function firstDone() calls = calls .. 'first;' hero.RunBoneAnimation('talking', 'secondDone', 10, false) end\n"
      "function secondDone() calls = calls .. 'second;' end\n");
  MakeHero();
  RunFrames(1);
  Run("hero.RunBoneAnimation('walking', 'firstDone', 10, false)");
  EXPECT_EQ(Playing(0), "walking");
  EXPECT_FALSE(Actor(0).actor.automaticFlag);
  RunFrames(20);
  EXPECT_EQ(Eval("calls"), "first;second;");
  // Back to the automatic choice.
  EXPECT_TRUE(Actor(0).actor.automaticFlag);
  RunFrames(30);
  EXPECT_EQ(Eval("calls"), "first;second;");
  EXPECT_EQ(Playing(0), "standing");
}

TEST_F(ActorTest, FrameEventsNameTheActorAnimationAndFrame) {
  RoomScript(
      "seen = ''\n"
      "function onActorFrameChange(id, anim, frame) seen = seen .. id .. anim .. frame .. ';' end\n");
  MakeHero();
  Run("hero.RunBoneAnimation('walking', '', 10, false)");
  RunFrames(2);  // 20 ms at 10 ms a frame
  const std::string seen = Eval("seen");
  EXPECT_NE(seen.find("0walking1;"), std::string::npos) << seen;
  EXPECT_NE(seen.find("0walking2;"), std::string::npos) << seen;
}

// The order of a scripted run's events: a frame event for every frame it
// passes, the end function once after the event of its last frame, then the
// automatic animation's frames.
TEST_F(ActorTest, FrameEventsThenTheEndFunctionInOrder) {
  RoomScript(
      "seen = ''\n"
      "function onActorFrameChange(id, anim, frame) if #seen < 60 then seen = seen .. anim:sub(1, 1) .. frame .. ' ' end end\n"
      "function done() seen = seen .. 'END ' end\n");
  MakeHero();
  Run("seen = '' hero.RunBoneAnimation('talking', 'done', 10, false)");
  RunFrames(30);
  // talking is frames 8 to 10: two frames passed, then the end; then
  // standing (frames 2 and 3) at 200 ms a frame.
  EXPECT_EQ(Eval("seen"), "t1 t2 END s1 ");
}

TEST_F(ActorTest, AFailingFrameEventIsNotCalledAgain) {
  RoomScript("count = 0\nfunction onActorFrameChange() count = count + 1 error('broken') end\n");
  MakeHero();
  Run("hero.RunBoneAnimation('walking', '', 10, false)");
  RunFrames(10);
  EXPECT_EQ(Eval("count"), "1");
  EXPECT_FALSE(Actor(0).actor.frameEventFlag);
}

TEST_F(ActorTest, CurrentFrameCountsWithinTheAnimationAndIgnoresFramesOutsideTheModel) {
  MakeHero();
  RunFrames(1);
  // Frames: hero 0-1, standing 2-3, walking 4-7, talking 8-10.
  Run("hero.Visible = false");  // freezes the model
  EXPECT_EQ(Actor(0).actor.model->Mode(), scene::AnimationMode::None);
  Run("hero.CurrentFrame = 6");
  EXPECT_EQ(Eval("hero.CurrentAnimation"), "walking");
  EXPECT_EQ(Eval("hero.CurrentFrame"), "2");
  Run("hero.CurrentFrame = 11");
  Run("hero.CurrentFrame = -1");
  EXPECT_EQ(Actor(0).actor.model->CurrentFrame(), 6);
  RunFrames(30);
  EXPECT_EQ(Actor(0).actor.model->CurrentFrame(), 6);
  Run("hero.Visible = true");
  EXPECT_EQ(Actor(0).actor.model->Mode(), scene::AnimationMode::Loop);
  EXPECT_EQ(Eval("hero.Visible"), "True");
}

TEST_F(ActorTest, IdsFollowTheListWhileTheFixedIdStays) {
  Run("a = TActor.Create() b = TActor.Create()");
  Run("a.Destroy()");
  EXPECT_EQ(Eval("b.ID"), "0");
  EXPECT_EQ(Actor(0).actor.actorID, 1);
}

TEST_F(ActorTest, HandsCarryMeshesAndADestroyedActorGivesThemBack) {
  MakeHero();
  dir.Write("data/models/lamp.obj", "o Lamp\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  Run("lamp = TMesh.Create() lamp.Load('models/lamp.obj') lamp.MoveToActorsHand(0)");
  TMeshClass& lamp = *Ctx().meshes.At(0);
  EXPECT_EQ(lamp.Node()->Parent(), Actor(0).actor.secondHand);
  // The hand follows its bone: 10 units up the model's z axis.
  RunFrames(1);
  const glm::mat4 hand = Actor(0).actor.secondHand->LocalMatrix();
  EXPECT_NEAR(hand[3].z, 10.0f, 1e-4f);
  Run("hero.Destroy()");
  EXPECT_EQ(lamp.Node()->Parent(), Ctx().scene->sceneNode);
  RunFrames(2);
  EXPECT_FALSE(Ctx().halted);
}

TEST_F(ActorTest, AWalkPointFunctionThatDestroysItsActorLeavesTheOthersWalking) {
  RoomScript("function gone() a.Destroy() end\n");
  Run("a = TActor.Create() b = TActor.Create()");
  Run("a.Walk(0, 0, 0, 'gone') b.Walk(0, 0, 0) b.Walk(5000, 0, 0)");
  RunFrames(1);
  ASSERT_EQ(Ctx().actors.Count(), 1u);
  TActorClass& b = Actor(0);
  EXPECT_EQ(b.actor.walkQueue.size(), 1u);  // its first point was reached in the same frame
  RunFrames(2);
  EXPECT_FALSE(Ctx().halted);
}

TEST_F(ActorTest, TheWalkQueueInOrderWithFunctionsOnArrival) {
  RoomScript("order = ''\nfunction one() order = order .. '1' end\nfunction two() order = order .. '2' end\n");
  Run("a = TActor.Create() a.Walk(3, 0, 0, 'one') a.AddWalkPoint(0, 0, 4, 'two')");
  // One point a frame.
  RunFrames(1);
  EXPECT_EQ(Eval("order"), "1");
  RunFrames(1);
  EXPECT_EQ(Eval("order"), "12");
  // Within 10 units the actor does not move.
  EXPECT_EQ(Actor(0).actor.root->Position(), glm::vec3(0.0f));
  Run("a.Walk(100, 0, 0) a.Walk(200, 0, 5)");
  Run("a.MoveEndOfWalk()");
  EXPECT_EQ(Actor(0).actor.root->Position(), glm::vec3(200, 0, 5));
  EXPECT_TRUE(Actor(0).actor.walkQueue.empty());
  Ctx().scene->walkpawns->Show();
  Run("a.ClearWalkPoints()");
  EXPECT_FALSE(Ctx().scene->walkpawns->Visible());
}

TEST_F(ActorTest, FindPathAndWalkWithoutANavigationMeshQueuesTheGoalAlone) {
  Run("a = TActor.Create() a.Walk(1, 2, 3) a.FindPathAndWalk(50, 0, 60, 'there')");
  const auto& q = Actor(0).actor.walkQueue;
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].X, 50.0f);
  EXPECT_EQ(q[0].Z, 60.0f);
  EXPECT_EQ(q[0].function, "there");
}

TEST_F(ActorTest, SaveLinesHoldCollisionSizeSpeechAndWalkPoints) {
  Run("a = TActor.Create() a.SetCollisionScale(2, 3, 4) a.Walk(1, 2, 3) a.AddWalkPoint(4, 5, 6, 'arrive')");
  std::vector<std::string> lines;
  Actor(0).WriteSave("a", lines);
  auto has = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
  EXPECT_TRUE(has("a.SetCollisionScale(2,3,4);"));
  EXPECT_TRUE(has("a.SetSpeechText(\"\");"));
  EXPECT_TRUE(has("-- Saving Walkpoints for actor a"));
  EXPECT_TRUE(has("a.ClearWalkPoints();"));
  EXPECT_TRUE(has("a.AddWalkPoint(1,2,3,'');"));
  EXPECT_TRUE(has("a.AddWalkPoint(4,5,6,'arrive');"));
  // The lines read back into a fresh actor.
  std::string script = "b = TActor.Create()\n";
  for (const std::string& l : lines)
    if (l.rfind("a.SetCollisionScale", 0) == 0 || l.rfind("a.AddWalkPoint", 0) == 0) script += "b" + l.substr(1) + "\n";
  Run(script);
  TActorClass& b = Actor(1);
  EXPECT_EQ(b.actor.walkQueue.size(), 2u);
  EXPECT_EQ(b.actor.walkQueue[1].function, "arrive");
  EXPECT_EQ(b.actor.collisionSphere->Scale(), glm::vec3(2, 3, 4));
  EXPECT_TRUE(Ctx().collisions->IsActive(b.actor.body));
  // A size of 0 or less keeps a small body; the sphere shows what was asked.
  Run("b.SetCollisionScale(0, -1, 5)");
  const glm::vec3 size = Ctx().collisions->DynamicDesc(b.actor.body)->size;
  EXPECT_GT(size.x, 0.0f);
  EXPECT_GT(size.y, 0.0f);
  EXPECT_EQ(size.z, 5.0f);
  EXPECT_EQ(b.actor.collisionSphere->Scale(), glm::vec3(0, -1, 5));
}

// Numbers no game means (NaN, infinities, huge values) through every method
// that takes them: the engine goes on and the actor stays where numbers are
// finite.
TEST_F(ActorTest, HostileNumbersLeaveTheActorSound) {
  TKavoContext& ctx = Ctx();
  const float s = 5000.0f;
  ctx.collisions->AddStaticBody({{-s, 0, -s}, {s, 0, -s}, {s, 0, s}, {-s, 0, -s}, {s, 0, s}, {-s, 0, s}},
                                glm::mat4(1.0f), scene::WalkAreaBody());
  MakeHero();
  Actor(0).ActivateBody();
  Run("nan = 0/0 inf = 1/0");
  for (const char* call : {"hero.Walk(nan, 0, nan)", "hero.Walk(inf, 0, -inf)", "hero.Walk(1e30, 0, 1e30)",
                           "hero.ApplyForce(inf, nan, 1e38)", "hero.Jump(nan, inf)", "hero.SetCollisionScale(nan, inf, 0)",
                           "hero.PointTo(nan, 0, 1)", "hero.SetMeshScale(nan, 1, 1)", "hero.SetActor_Dummy_Position(inf, 0, 0)",
                           "hero.RunBoneAnimation('walking', '', -5, true)", "hero.RunBoneAnimation('walking', '', 1e12)",
                           "hero.CurrentFrame = 1e15", "hero.FindPathAndWalk(nan, nan, nan)", "hero.WalkingSpeed = inf",
                           "hero.TurningSpeed = nan", "hero.MaxWalkingTurnAngle = -1e30"}) {
    Run(call);
    RunFrames(3);
    ASSERT_FALSE(ctx.halted) << call;
  }
  Run("hero.ClearWalkPoints() hero.SetActor_Dummy_Position(0, 0, 0) hero.SetCollisionScale(1, 1, 1)");
  Run("hero.SetPosition(0, 5, 0) hero.WalkingSpeed = 500 hero.TurningSpeed = 250 hero.MaxWalkingTurnAngle = 200");
  Run("hero.Walk(100, 0, 0)");
  RunFrames(50);
  const glm::vec3 p = Actor(0).actor.root->Position();
  EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << p.x << " " << p.y << " " << p.z;
}

TEST_F(ActorTest, PointToStraightAboveChangesNothing) {
  Run("a = TActor.Create()");
  const glm::vec3 before = Actor(0).actor.root->Direction();
  Run("a.PointTo(0, 50, 0) a.PointTo(0, 0, 0)");
  EXPECT_EQ(Actor(0).actor.root->Direction(), before);
  Run("a.PointTo(10, 0, 0)");
  EXPECT_NEAR(Actor(0).actor.root->Direction().x, 1.0f, 1e-5f);
}

// Steering over a flat floor: every point is reached in bounded game time
// and no frame turns the actor by more than the limit.
TEST_F(ActorTest, SteeringReachesEveryPointWithoutTurningPastTheLimit) {
  TKavoContext& ctx = Ctx();
  const float s = 5000.0f;
  std::vector<glm::vec3> floor = {{-s, 0, -s}, {s, 0, -s}, {s, 0, s}, {-s, 0, -s}, {s, 0, s}, {-s, 0, s}};
  ctx.collisions->AddStaticBody(floor, glm::mat4(1.0f), scene::WalkAreaBody());
  int failures = 0;
  for (float angle : {0.0f, 45.0f, 90.0f, 135.0f, 180.0f, -60.0f, -150.0f})
    for (float distance : {11.0f, 30.0f, 100.0f})
      for (float speed : {250.0f, 500.0f, 2000.0f})
        for (int stepMs : {10, 25, 40}) {
          Run("s = TActor.Create()");
          TActorClass& a = *ctx.actors.Back();
          a.actor.WalkingSpeed = speed;
          a.ActivateBody();
          a.actor.root->SetPosition(0, 1, 0);
          // Angle measured from the facing direction (+z) towards the side marker (-x);
          // negative angles lie on the other side.
          const float r = glm::radians(angle);
          const glm::vec3 goal(-distance * std::sin(r), 0.0f, distance * std::cos(r));
          a.actor.walkQueue.push_back({"", goal.x, goal.y, goal.z, 0});
          const double dt = stepMs / 1000.0;
          const float limit = a.actor.MaxWalkingTurnAngle / 25.0f + 1e-3f;
          bool reached = false;
          float worstTurn = 0.0f;
          for (int step = 0; step < static_cast<int>(20.0 / dt) && !reached; ++step) {
            const glm::vec3 before = a.actor.root->Direction();
            SyncActorBodies(ctx);
            ctx.collisions->Step(dt);
            ActorsFollowBodies(ctx);
            a.WalkStep(dt);
            const glm::vec3 after = a.actor.root->Direction();
            worstTurn = std::max(worstTurn, glm::degrees(std::acos(std::clamp(glm::dot(before, after), -1.0f, 1.0f))));
            reached = a.actor.walkQueue.empty();
          }
          if (!reached || worstTurn > limit) {
            ++failures;
            ADD_FAILURE() << "angle " << angle << " distance " << distance << " speed " << speed << " step " << stepMs
                          << (reached ? "" : ": not reached") << " worst turn " << worstTurn;
          }
          Run("s.Destroy()");
          if (failures > 5) return;
        }
}

TEST_F(ActorTest, ActorsPushEachOtherApartButNotOtherBodies) {
  TKavoContext& ctx = Ctx();
  Run("a = TActor.Create() b = TActor.Create() a.SetCollisionScale(5, 5, 5) b.SetCollisionScale(5, 5, 5)");
  ctx.collisions->SetGravity(0.0f);
  Actor(0).actor.root->SetPosition(0, 10, 0);
  Actor(1).actor.root->SetPosition(9, 10, 0);
  Run("a.ApplyForce(0, 0, 0)");
  // a moves into b; b is pushed straight away along +x.
  Actor(0).actor.root->SetDirection({1, 0, 0});
  for (int i = 0; i < 20; ++i) {
    SyncActorBodies(ctx);
    ctx.collisions->AddOwnAcceleration(Actor(0).actor.body, {0, 0, 3000});
    ctx.collisions->Step(0.02);
    ActorsFollowBodies(ctx);
  }
  EXPECT_GT(Actor(1).actor.root->Position().x, 9.5f);
  // Two actors at one point: no push (and nothing turns into NaN).
  Actor(1).actor.root->SetPosition(Actor(0).actor.root->Position());
  for (int i = 0; i < 3; ++i) {
    SyncActorBodies(ctx);
    ctx.collisions->Step(0.02);
    ActorsFollowBodies(ctx);
  }
  EXPECT_TRUE(std::isfinite(Actor(1).actor.root->Position().x));
}

}  // namespace
}  // namespace kavo::test
