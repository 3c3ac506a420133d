// Actors: the characters of a game. TActorClass (script class TActor) is
// the script-facing object; TKavoActor is its engine-side record: the
// actor's nodes, its animation state, its walking parameters and its walk
// queue.
//
// Nodes of one actor (parent first):
//   root            group under `scene`, tag 1, carries the collision body;
//                   the TActor's own node
//   pivot           group: carries the model; the reference point of
//                   walking and distance triggers
//   front marker    (0, 0, 20) under the pivot, kept for scripts
//   side marker     (-20, 0, 0) under the pivot: the actor's side direction
//   model           animated mesh under the pivot, pitched 90 degrees
//   hand nodes      two groups under the model, following two bones
//   second model    optional animated mesh under the model, on its frames
//   collision sphere hidden sphere of radius 1 under the root (F6 shows it);
//                   its scale is the body's size
//   speech text     the actor's spoken line, under `speechtexts`
//
// A frame: the models advance and their events are delivered; the bodies
// follow their roots and step; each root follows its body; then every
// actor, in list order, chooses its automatic animation and takes its
// walking step. Callbacks into Lua may create or destroy any actor; every
// walk goes by handle and drops an actor the moment it is gone.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "scene/collision.h"
#include "scene/geometry.h"
#include "world/kavodummy.h"

namespace kavo {

namespace scene {
class Node;
class GroupNode;
class SphereNode;
class AnimatedMeshNode;
}  // namespace scene

// A point an actor walks to; its function (may be empty) is called on arrival.
struct TWalkPoint {
  std::string function;
  float X = 0, Y = 0, Z = 0, W = 0;
};

class TActorClass;

struct TKavoActor {
  int actorID = 0;
  float measuredSpeed = 0;        // squared distance moved in the last 100 ms
  glm::vec3 lastMeasuredPosition{0.0f};
  std::string firstHandBone = "Bip01 L Hand", secondHandBone = "Bip01 R Hand";
  bool mouseControl = false;

  scene::GroupNode* root = nullptr;
  scene::GroupNode* pivot = nullptr;
  scene::GroupNode* frontMarker = nullptr;
  scene::GroupNode* sideMarker = nullptr;
  scene::AnimatedMeshNode* model = nullptr;
  scene::GroupNode* firstHand = nullptr;
  scene::GroupNode* secondHand = nullptr;
  scene::AnimatedMeshNode* secondModel = nullptr;
  scene::SphereNode* collisionSphere = nullptr;
  scene::Node* speechNode = nullptr;
  scene::BodyId body = scene::kNoBody;
  glm::vec3 bodySyncedAt{0.0f};  // the root's absolute position the body last took

  bool animationListFlag = false;
  bool frameEventFlag = true;
  float MaxWalkingTurnAngle = 200.0f;
  float TargetDistanceStopWalk = 10.0f;
  float TurnInsteadWalkDistance = 20.0f;
  float TurningSpeed = 250.0f;
  float TurningTargetAngle = 7.0f;
  int32_t SpeechHeight = 150;
  float WalkingSpeed = 500.0f;
  std::string walkingAnimation = "walking", standingAnimation = "standing", talkingAnimation = "talking";
  int32_t walkingInterval = 20, standingInterval = 200, talkingInterval = 100;
  std::deque<TWalkPoint> walkQueue;
  std::string automaticAnimation = "standing";
  int32_t automaticInterval = 200;
  bool secondModelFlag = false;
  bool automaticFlag = true;
  bool walkRequested = false;
  std::string boneAnimationEndFunction;

  // The speech line (drawn with the speech texts) and its colour.
  std::string speechText;
  glm::vec4 speechColour{1.0f, 1.0f, 1.0f, 1.0f};
  // The serial of the queued line on show; 0: none.
  uint64_t speechLine = 0;
};

class TActorClass : public TKavoMouseEvents {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TActorClass(TKavoContext& ctx) : TKavoMouseEvents(ctx) {}
  void Create() override;
  void DestroyObject() override;
  void WriteSave(const std::string& variableName, std::vector<std::string>& lines) override;
  void Script_Destroy(TKavo_ScriptFunctionData& d) override;

  bool MouseControl = false;
  std::string OnActorTalk;
  int32_t Interval = 0;
  bool Collision = false;
  TKavoActor actor;

  // The node a mesh held in the first or the second hand hangs under.
  scene::Node* HandNode(bool firstHand) const;
  // Switches the collision body on (a room's files were loaded).
  void ActivateBody();
  // The actor's current position in the actor list.
  int ID() const;
  bool ShowsSpeechText() const { return !actor.speechText.empty(); }

  // ---- operations behind the script members ----
  void LoadBaseMesh(const std::string& file, const std::string& second);
  void AddAnimation(const std::string& file);
  void SetVisible(bool on);
  std::string CurrentAnimation() const;
  void SetCurrentAnimation(const std::string& name);
  int CurrentFrame() const;
  void SetCurrentFrame(int64_t frame);
  void SetCollisionScale(const glm::vec3& size);
  void OverrideTexture(const std::string& file);
  void ClearWalkPoints();
  void AppendWalkPoint(const TWalkPoint& p) { actor.walkQueue.push_back(p); }
  // Replaces the walk queue by a route the room plans to (x, y, z); the last
  // point is always the goal asked for.
  void FindPathAndWalk(const glm::vec3& goal, const std::string& function);

  // ---- the frame ----
  // Part one of the actor's frame: hand nodes, the automatic animation, the
  // second model. Part two: the walking step. Both return false when the
  // actor was destroyed by a script it called.
  bool UpdateAnimation(double delta);
  bool WalkStep(double delta);
  // Model events (frame changes, ends of animations) of the last advance.
  void DeliverModelEvents();

  // ---- script methods ----
  void Script_LoadBaseMesh(TKavo_ScriptFunctionData& d);
  void Script_AddAnimation(TKavo_ScriptFunctionData& d);
  void Script_RunBoneAnimation(TKavo_ScriptFunctionData& d);
  void Script_SetHandBones(TKavo_ScriptFunctionData& d);
  void Script_SetMeshScale(TKavo_ScriptFunctionData& d);
  void Script_SetMeshRollAngle(TKavo_ScriptFunctionData& d);
  void Script_SetActor_Dummy_Position(TKavo_ScriptFunctionData& d);
  void Script_SetCollisionScale(TKavo_ScriptFunctionData& d);
  void Script_OverrideTexture(TKavo_ScriptFunctionData& d);
  void Script_PointTo(TKavo_ScriptFunctionData& d);
  void Script_SetSpeechText(TKavo_ScriptFunctionData& d);
  void Script_Say(TKavo_ScriptFunctionData& d);
  void Script_SayBackground(TKavo_ScriptFunctionData& d);
  void Script_SetSpeechColorRGB(TKavo_ScriptFunctionData& d);
  void Script_Walk(TKavo_ScriptFunctionData& d);
  void Script_AddWalkPoint(TKavo_ScriptFunctionData& d);
  void Script_FindPathAndWalk(TKavo_ScriptFunctionData& d);
  void Script_ClearWalkPoints(TKavo_ScriptFunctionData& d);
  void Script_MoveEndOfWalk(TKavo_ScriptFunctionData& d);
  void Script_ApplyForce(TKavo_ScriptFunctionData& d);
  void Script_Jump(TKavo_ScriptFunctionData& d);

 private:
  void SwitchModels(const std::string& name, bool smooth, int interval);
  void RegisterOccluder(scene::Node* node);
  void PushOther(const scene::CollisionContact& contact);
  void FreeNodes();
};

// ---- the actors' part of a frame and of input (called by the shell) ----

// Advances every actor's models by the frame's delta, then delivers their
// frame and end events.
void AdvanceActorModels(TKavoContext& ctx, double delta);
// Bodies take their roots' positions (where a script moved them) and turning
// before the collision step; roots follow their bodies after it.
void SyncActorBodies(TKavoContext& ctx);
void ActorsFollowBodies(TKavoContext& ctx);
// Each actor in list order: its animation update, then its walking step.
void StepActors(TKavoContext& ctx, double delta);
// The hover timer's movement measure: squared distance each actor's root
// moved since the last tick.
void MeasureActorMovement(TKavoContext& ctx);
// A left click on the floor at `point`: every actor with MouseControl gets a
// route there.
void WalkMouseControlActors(TKavoContext& ctx, const glm::vec3& point);
// F6: shows or hides every actor's collision sphere.
void ToggleActorCollisionSpheres(TKavoContext& ctx);
// Ray test against the posed models of an actor.
bool ActorRayHits(const TActorClass& actor, const scene::Ray& ray);

}  // namespace kavo
