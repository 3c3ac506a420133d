#include "world/kavoactor.h"

#include <algorithm>
#include <cmath>

#include "core/cadencer.h"
#include "core/log.h"
#include "core/strings.h"
#include "platform/files.h"
#include "scene/animatedmesh.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/binding.h"
#include "script/context.h"
#include "script/environment.h"
#include "visual/kavomesh.h"
#include "world/actorspeech.h"
#include "world/kavoroom.h"

namespace kavo {

namespace {
using P = TPropType;
using T = TActorClass;

constexpr float kSmallestBodyRadius = 0.01f;
// A walk point farther off the facing direction than this is turned to on
// the spot, without a push: a fast actor would otherwise circle it.
constexpr float kPushConeDegrees = 45.0f;

float Horizontal(const glm::vec3& a, const glm::vec3& b) { return std::hypot(a.x - b.x, a.z - b.z); }

// Puts the data folder back as the file layer's current directory when the
// scope ends, whatever happened.
struct BackToDataFolder {
  const TKavoContext& ctx;
  ~BackToDataFolder() { ctx.files.EnterDataFolder(); }
};

struct ClearModelBeingLoaded {
  std::string& s;
  ~ClearModelBeingLoaded() { s.clear(); }
};

// Reads a model into an animated node from an archive or a loose file (the
// file's folder made current, so what it names is found beside it). A name
// found nowhere raises `missing`.
void LoadAnimatedNode(TKavoContext& ctx, scene::AnimatedMeshNode& node, const std::string& file,
                      const EKavoError& missing) {
  const TKavoFileLocation loc = ctx.files.Resolve(ToBackslashes(file));
  if (loc.ResolvedPath.empty()) throw missing;
  if (!loc.ArchiveName.empty()) {
    std::string bytes, error;
    if (!ctx.files.Read(loc, bytes, &error)) throw EKavoError(error, missing.Number());
    node.LoadAnimatedFromBytes(ToSlashes(loc.ResolvedPath), bytes);
    return;
  }
  const std::string bare = ctx.files.EnterFolderOf(loc);
  if (bare.empty() || !Files().FileExists(bare)) throw missing;
  node.LoadAnimatedFromFile(bare);
}

// The bytes of an animation file, from an archive or from disk.
std::string ReadAnimationFile(TKavoContext& ctx, const std::string& file) {
  const TKavoFileLocation loc = ctx.files.Resolve(ToBackslashes(file));
  const std::string bareName = file.substr(file.find_last_of("/\\") == std::string::npos ? 0 : file.find_last_of("/\\") + 1);
  if (loc.ResolvedPath.empty()) throw EKavoError(bareName, kErrModelFile);
  std::string bytes, error;
  if (!ctx.files.Read(loc, bytes, &error, size_t(256) << 20)) {
    if (!loc.ArchiveName.empty()) throw EKavoError(error, kErrModelFile);
    throw EKavoError(bareName, kErrModelFile);
  }
  return bytes;
}

// A walk point's function in a save line: in single quotes as usual, or as
// an escaped literal when the name holds anything a plain quote would break.
std::string WalkFunctionLiteral(const std::string& name) {
  for (unsigned char c : name)
    if (c == '\'' || c == '\\' || c < 32 || c == 127) return LuaQuote(name);
  return "'" + name + "'";
}

float Clamp(float v, float limit) { return std::clamp(v, -std::fabs(limit), std::fabs(limit)); }

}  // namespace

// ---------------------------------------------------------------- class table

const TScriptClassInfo& TActorClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TActorClass", &TKavoMouseEvents::StaticInfo(), MakeScriptObject<TActorClass>);
    auto param = [](float TKavoActor::*field) {
      return std::make_pair([field](T& a) { return static_cast<double>(a.actor.*field); },
                            [field](T& a, double v) { a.actor.*field = static_cast<float>(v); });
    };
    auto walkParam = [&](TClassBuilder<T>& b, const char* name, float TKavoActor::*field) {
      auto [get, set] = param(field);
      b.Prop(name, P::Single, get, set);
    };
    TClassBuilder<T> b(i);
    b.Registry([](TKavoContext& c) -> TRegistryBase& { return c.actors; }, true)
        .Prop("Visible", P::Boolean, [](T& a) { return a.actor.root ? a.actor.root->Visible() : false; },
              [](T& a, bool v) { a.SetVisible(v); })
        .Prop("CurrentAnimation", P::ShortString, [](T& a) { return a.CurrentAnimation(); },
              [](T& a, const std::string& v) { a.SetCurrentAnimation(v); })
        .Prop("CurrentFrame", P::Integer, [](T& a) { return static_cast<int64_t>(a.CurrentFrame()); },
              [](T& a, int64_t v) { a.SetCurrentFrame(v); })
        .Prop("WalkingAnimation", P::ShortString, [](T& a) { return a.actor.walkingAnimation; },
              [](T& a, const std::string& v) { a.actor.walkingAnimation = v; })
        .Prop("StandingAnimation", P::ShortString, [](T& a) { return a.actor.standingAnimation; },
              [](T& a, const std::string& v) { a.actor.standingAnimation = v; })
        .Prop("TalkingAnimation", P::ShortString, [](T& a) { return a.actor.talkingAnimation; },
              [](T& a, const std::string& v) { a.actor.talkingAnimation = v; })
        .Prop("WalkingInterval", P::Integer, [](T& a) { return static_cast<int64_t>(a.actor.walkingInterval); },
              [](T& a, int64_t v) { a.actor.walkingInterval = static_cast<int32_t>(v); })
        .Prop("StandingInterval", P::Integer, [](T& a) { return static_cast<int64_t>(a.actor.standingInterval); },
              [](T& a, int64_t v) { a.actor.standingInterval = static_cast<int32_t>(v); })
        .Prop("TalkingInterval", P::Integer, [](T& a) { return static_cast<int64_t>(a.actor.talkingInterval); },
              [](T& a, int64_t v) { a.actor.talkingInterval = static_cast<int32_t>(v); })
        .Field("Interval", P::Integer, &T::Interval)
        .Field("Collision", P::Boolean, &T::Collision)
        .Prop("DefaultSpeech", P::Boolean,
              [](T& a) { return a.actor.speechNode ? a.actor.speechNode->Visible() : false; },
              [](T& a, bool v) {
                if (a.actor.speechNode) a.actor.speechNode->SetVisible(v);
              })
        .Prop("SpeechHeight", P::Integer, [](T& a) { return static_cast<int64_t>(a.actor.SpeechHeight); },
              [](T& a, int64_t v) { a.actor.SpeechHeight = static_cast<int32_t>(v); })
        .Field("OnActorTalk", P::ShortString, &T::OnActorTalk)
        .Prop("MouseControl", P::Boolean, [](T& a) { return a.MouseControl; },
              [](T& a, bool v) { a.MouseControl = a.actor.mouseControl = v; });
    walkParam(b, "MaxWalkingTurnAngle", &TKavoActor::MaxWalkingTurnAngle);
    walkParam(b, "TargetDistanceStopWalk", &TKavoActor::TargetDistanceStopWalk);
    walkParam(b, "TurnInsteadWalkDistance", &TKavoActor::TurnInsteadWalkDistance);
    walkParam(b, "TurningTargetAngle", &TKavoActor::TurningTargetAngle);
    walkParam(b, "TurningSpeed", &TKavoActor::TurningSpeed);
    walkParam(b, "WalkingSpeed", &TKavoActor::WalkingSpeed);
    b.Method("LoadBaseMesh", &T::Script_LoadBaseMesh, "file name [, second model file name]")
        .Method("AddAnimation", &T::Script_AddAnimation, "file name (animation or .aaf list)")
        .Method("RunBoneAnimation", &T::Script_RunBoneAnimation,
                "animation name [, end function [, interval ms [, smooth]]]")
        .Method("SetHandBones", &T::Script_SetHandBones, "first bone, second bone")
        .Method("SetMeshScale", &T::Script_SetMeshScale, "number, number, number")
        .Method("SetMeshRollAngle", &T::Script_SetMeshRollAngle, "number")
        .Method("SetActor_Dummy_Position", &T::Script_SetActor_Dummy_Position, "number, number, number")
        .Method("SetCollisionScale", &T::Script_SetCollisionScale, "number, number, number")
        .Method("OverrideTexture", &T::Script_OverrideTexture, "file name")
        .Method("PointTo", &T::Script_PointTo, "number, number, number")
        .Method("Destroy", &T::Script_Destroy, "")
        .Method("SetSpeechText", &T::Script_SetSpeechText, "text")
        .Method("Say", &T::Script_Say, "text [, duration ms [, end function]]")
        .Method("SayBackground", &T::Script_SayBackground, "text [, duration ms [, end function]]: waits only for its own actor")
        .Method("SetSpeechColorRGB", &T::Script_SetSpeechColorRGB, "red, green, blue (0 to 255)")
        .Method("Walk", &T::Script_Walk, "number, number, number [, function name]")
        .Method("AddWalkPoint", &T::Script_AddWalkPoint, "number, number, number, function name")
        .Method("FindPathAndWalk", &T::Script_FindPathAndWalk, "number, number, number [, function name]")
        .Method("ClearWalkPoints", &T::Script_ClearWalkPoints, "")
        .Method("MoveEndOfWalk", &T::Script_MoveEndOfWalk, "")
        .Method("ApplyForce", &T::Script_ApplyForce, "number, number, number")
        .Method("Jump", &T::Script_Jump, "height, speed");
    return i;
  }();
  return info;
}

// ---------------------------------------------------------------- life

void TActorClass::Create() {
  TKavoMouseEvents::Create();
  TKavoActor& a = actor;
  TKavoScene& sc = *Ctx.scene;
  a.actorID = Ctx.actors.IndexOf(this);

  a.root = sc.sceneNode->CreateChild<scene::GroupNode>("actor");
  a.root->SetTag(1);
  a.root->SetHint("TActor");
  a.pivot = a.root->CreateChild<scene::GroupNode>("actorpivot");
  a.frontMarker = a.pivot->CreateChild<scene::GroupNode>("actorfront");
  a.frontMarker->SetPosition(0, 0, 20);
  a.sideMarker = a.pivot->CreateChild<scene::GroupNode>("actorside");
  a.sideMarker->SetPosition(-20, 0, 0);
  a.model = a.pivot->CreateChild<scene::AnimatedMeshNode>("actormodel");
  a.model->SetPitchAngle(90);
  a.model->SetInterval(200);
  a.model->SetMode(scene::AnimationMode::None);
  a.model->SetMaterialLibrary(&sc.sharedMaterials);
  a.model->SetUseMeshMaterials(true);
  a.firstHand = a.model->CreateChild<scene::GroupNode>("actorhand1");
  a.secondHand = a.model->CreateChild<scene::GroupNode>("actorhand2");
  a.collisionSphere = a.root->CreateChild<scene::SphereNode>("actorcollision");
  a.collisionSphere->radius = 1.0f;
  a.collisionSphere->Hide();
  a.collisionSphere->material.blending = scene::BlendingMode::Transparency;
  a.collisionSphere->material.diffuse.a = 0.3f;
  auto* speech = sc.speechtexts->CreateChild<scene::HudTextNode>("actorspeech");
  speech->SetPosition(400, 200, 0);
  speech->font = Ctx.speechFont;
  speech->Hide();
  a.speechNode = speech;

  SetNode(a.root);
  Ctx.nodeOwners[a.root] = Handle();

  if (Ctx.collisions) {
    scene::DynamicBodyDesc desc;
    desc.size = glm::vec3(1.0f);
    desc.bounce = 0.0f;
    desc.friction = 0.7f;
    desc.layer = 0;
    desc.slide = true;
    desc.solid = true;
    desc.useGravity = true;
    desc.tag = 1;
    desc.user = this;
    // Bodies wait for a room; an actor made while one is current starts moving at once.
    desc.active = Ctx.room != nullptr && Ctx.room->Loaded();
    a.body = Ctx.collisions->AddDynamicBody(a.root->AbsolutePosition(), desc);
    a.bodySyncedAt = a.root->AbsolutePosition();
    TKavoContext* ctx = &Ctx;
    const TObjectHandle self = Handle();
    Ctx.collisions->SetCallback(a.body, [ctx, self](const scene::CollisionContact& c) {
      if (TActorClass* me = ResolveAs<TActorClass>(ctx->handles, self)) me->PushOther(c);
    });
  }
  ApplyVisibility();
}

void TActorClass::FreeNodes() {
  TKavoActor& a = actor;
  TKavoScene& sc = *Ctx.scene;
  // Meshes in the hands go back to the room; engine nodes hung under the
  // actor (the camera, its target) go back under `scene`.
  for (TMeshClass* mesh : Ctx.meshes) {
    scene::Node* n = mesh->Node();
    if (n && (n->Parent() == a.firstHand || n->Parent() == a.secondHand)) mesh->ReturnToRoom();
  }
  for (scene::Node* engineNode : {static_cast<scene::Node*>(sc.cameraposition), static_cast<scene::Node*>(sc.cameratarget),
                                  static_cast<scene::Node*>(sc.mainCamera)}) {
    if (!engineNode || !a.root) continue;
    for (scene::Node* p = engineNode->Parent(); p; p = p->Parent())
      if (p == a.root) {
        engineNode->MoveTo(*sc.sceneNode);
        break;
      }
  }
  auto& occluders = sc.shadowOccluders;
  occluders.erase(std::remove_if(occluders.begin(), occluders.end(),
                                 [&](scene::Node* n) { return n == a.model || n == a.secondModel; }),
                  occluders.end());
  if (a.collisionSphere) a.collisionSphere->Destroy();
  if (a.speechNode) a.speechNode->Destroy();
  if (a.firstHand) a.firstHand->Destroy();
  if (a.secondHand) a.secondHand->Destroy();
  if (a.model) a.model->Destroy();  // with the second model
  a.walkQueue.clear();
  if (a.frontMarker) a.frontMarker->Destroy();
  if (a.sideMarker) a.sideMarker->Destroy();
  if (a.pivot) a.pivot->Destroy();
  if (a.body != scene::kNoBody && Ctx.collisions) Ctx.collisions->RemoveBody(a.body);
  if (a.root) {
    Ctx.nodeOwners.erase(a.root);
    a.root->Destroy();
  }
  a.collisionSphere = nullptr;
  a.speechNode = nullptr;
  a.firstHand = a.secondHand = nullptr;
  a.model = a.secondModel = nullptr;
  a.frontMarker = a.sideMarker = a.pivot = a.root = nullptr;
  a.body = scene::kNoBody;
  node_ = nullptr;
}

void TActorClass::DestroyObject() {
  if (!Alive()) return;
  FreeNodes();
  TKavoMouseEvents::DestroyObject();
}

void TActorClass::Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

void TActorClass::WriteSave(const std::string& n, std::vector<std::string>& lines) {
  TKavoMouseEvents::WriteSave(n, lines);
  const glm::vec3 s = actor.collisionSphere ? actor.collisionSphere->Scale() : glm::vec3(1.0f);
  lines.push_back(n + ".SetCollisionScale(" + FormatSaveNumber(s.x) + "," + FormatSaveNumber(s.y) + "," +
                  FormatSaveNumber(s.z) + ");");
  lines.push_back(n + ".SetSpeechText(\"\");");
  lines.push_back("-- Saving Walkpoints for actor " + n);
  lines.push_back(n + ".ClearWalkPoints();");
  for (const TWalkPoint& p : actor.walkQueue)
    lines.push_back(n + ".AddWalkPoint(" + FormatSaveNumber(p.X) + "," + FormatSaveNumber(p.Y) + "," +
                    FormatSaveNumber(p.Z) + "," + WalkFunctionLiteral(p.function) + ");");
}

scene::Node* TActorClass::HandNode(bool firstHand) const {
  return firstHand ? static_cast<scene::Node*>(actor.firstHand) : static_cast<scene::Node*>(actor.secondHand);
}

void TActorClass::ActivateBody() {
  if (actor.body != scene::kNoBody && Ctx.collisions) Ctx.collisions->SetActive(actor.body, true);
}

int TActorClass::ID() const { return Ctx.actors.IndexOf(this); }

// ---------------------------------------------------------------- models

void TActorClass::RegisterOccluder(scene::Node* node) {
  auto& occluders = Ctx.scene->shadowOccluders;
  occluders.erase(std::remove_if(occluders.begin(), occluders.end(),
                                 [&](scene::Node* n) { return n == actor.model || n == actor.secondModel; }),
                  occluders.end());
  if (node) occluders.push_back(node);
}

void TActorClass::LoadBaseMesh(const std::string& F, const std::string& S) {
  TKavoActor& a = actor;
  if (!a.model) return;
  BackToDataFolder back{Ctx};
  ClearModelBeingLoaded clear{Ctx.modelBeingLoaded};
  // A new model replaces the old one with its second model and occluder
  // entry. When loading fails the actor is left without a model.
  RegisterOccluder(nullptr);
  if (a.secondModel) {
    a.secondModel->Destroy();
    a.secondModel = nullptr;
  }
  a.secondModelFlag = false;
  a.animationListFlag = false;
  try {
    Ctx.modelBeingLoaded = F;
    LoadAnimatedNode(Ctx, *a.model, F, EKavoError(F, kErrActorModel));
    a.model->SetUseMeshMaterials(true);
    Ctx.files.EnterDataFolder();
    if (!S.empty()) {
      a.secondModel = a.model->CreateChild<scene::AnimatedMeshNode>("actormodel2");
      a.secondModel->SetMaterialLibrary(&Ctx.scene->sharedMaterials);
      a.secondModel->SetUseMeshMaterials(true);
      a.secondModel->SetMode(scene::AnimationMode::Loop);
      a.secondModel->SetInterval(200);
      Ctx.modelBeingLoaded = S;
      LoadAnimatedNode(Ctx, *a.secondModel, S, EKavoError(S, kErrActorShadowModel));
      a.secondModel->Hide();
      a.secondModel->FollowFramesOf(a.model);
      a.secondModelFlag = true;
      RegisterOccluder(a.secondModel);
    } else {
      RegisterOccluder(a.model);
    }
  } catch (...) {
    RegisterOccluder(nullptr);
    if (a.secondModel) {
      a.secondModel->Destroy();
      a.secondModel = nullptr;
    }
    a.secondModelFlag = false;
    a.model->ClearModel();
    a.model->SetMode(scene::AnimationMode::None);
    throw;
  }
  a.model->SetMode(scene::AnimationMode::Loop);
}

void TActorClass::AddAnimation(const std::string& F) {
  TKavoActor& a = actor;
  if (!a.model) return;
  BackToDataFolder back{Ctx};
  const std::string bytes = ReadAnimationFile(Ctx, F);
  const std::string name = ToSlashes(F);
  if (LowerExtension(F) == "aaf") {
    a.model->LoadAnimationList(name, bytes);
    a.animationListFlag = true;
    if (a.secondModel) a.secondModel->LoadAnimationList(name, bytes);
  } else {
    a.model->AddAnimationFromBytes(name, bytes);
    if (a.secondModel) a.secondModel->AddAnimationFromBytes(name, bytes);
  }
  SwitchModels(a.standingAnimation, false, a.standingInterval);
}

void TActorClass::SwitchModels(const std::string& name, bool smooth, int interval) {
  if (actor.secondModel) {
    actor.secondModel->SwitchTo(name, smooth);
    actor.secondModel->SetInterval(interval);
  }
  if (actor.model) {
    actor.model->SwitchTo(name, smooth);
    actor.model->SetInterval(interval);
  }
}

void TActorClass::SetVisible(bool on) {
  visibleFlag = on;
  if (actor.root) actor.root->SetVisible(on);
  if (actor.model) actor.model->SetMode(on ? scene::AnimationMode::Loop : scene::AnimationMode::None);
}

std::string TActorClass::CurrentAnimation() const {
  if (!actor.model) return "";
  const int frame = actor.model->CurrentFrame();
  for (const scene::AnimationRange& r : actor.model->Animations())
    if (frame >= r.start && frame <= r.end) return r.name;
  return "";
}

void TActorClass::SetCurrentAnimation(const std::string& name) {
  SwitchModels(name, false, actor.standingInterval);
}

int TActorClass::CurrentFrame() const {
  if (!actor.model) return 0;
  const int frame = actor.model->CurrentFrame();
  for (const scene::AnimationRange& r : actor.model->Animations())
    if (frame >= r.start && frame <= r.end) return frame - r.start;
  return frame;
}

void TActorClass::SetCurrentFrame(int64_t frame) {
  if (!actor.model || frame < 0 || frame >= actor.model->FrameCount()) return;
  actor.model->SetCurrentFrame(static_cast<int>(frame));
}

void TActorClass::SetCollisionScale(const glm::vec3& size) {
  TKavoActor& a = actor;
  if (a.collisionSphere) a.collisionSphere->SetScale(size);
  if (a.body == scene::kNoBody || !Ctx.collisions) return;
  if (const scene::DynamicBodyDesc* d = Ctx.collisions->DynamicDesc(a.body)) {
    scene::DynamicBodyDesc desc = *d;
    // A body of no size cannot be swept: it keeps a small radius.
    for (int i = 0; i < 3; ++i)
      desc.size[i] = std::isfinite(size[i]) ? std::max(size[i], kSmallestBodyRadius) : 1.0f;
    desc.active = true;
    Ctx.collisions->SetDynamicDesc(a.body, desc);
  }
}

void TActorClass::OverrideTexture(const std::string& file) {
  TKavoActor& a = actor;
  if (!a.model) return;
  BackToDataFolder back{Ctx};
  a.model->SetUseMeshMaterials(false);
  const TKavoFileLocation loc = Ctx.files.Resolve(ToBackslashes(file));
  if (loc.ResolvedPath.empty()) throw EKavoError("Texture (" + file + ") couldn't be opened", kErrTexture);
  std::string bytes, error;
  if (!Ctx.files.Read(loc, bytes, &error)) throw EKavoError("Texture (" + file + ") couldn't be opened", kErrTexture);
  scene::Material& m = a.model->material;
  if (!m.texture.image.LoadFromBytes(bytes, file, error)) throw EKavoError(error, kErrTexture);
  m.texture.mode = scene::TextureMode::Modulate;
  m.texture.enabled = true;
}

// ---------------------------------------------------------------- walking

void TActorClass::ClearWalkPoints() {
  actor.walkQueue.clear();
  if (Ctx.scene && Ctx.scene->walkpawns) Ctx.scene->walkpawns->Hide();
}

void TActorClass::FindPathAndWalk(const glm::vec3& goal, const std::string& function) {
  TKavoActor& a = actor;
  if (!a.root) return;
  glm::vec3 start = a.root->Position();
  start.y = 0.0f;
  std::vector<glm::vec3> nodes = Ctx.room ? Ctx.room->PlanRoute(start, goal) : std::vector<glm::vec3>{start, goal};
  a.walkQueue.clear();
  for (size_t i = 1; i + 1 < nodes.size(); ++i) a.walkQueue.push_back({"", nodes[i].x, nodes[i].y, nodes[i].z, 0});
  a.walkQueue.push_back({function, goal.x, goal.y, goal.z, 0});
}

void TActorClass::PushOther(const scene::CollisionContact& c) {
  // Only actors push each other; everything else with a tag (a hidden mesh
  // has one too) is left alone.
  if (Ctx.halted || !c.otherDynamic || c.otherUser == nullptr || !actor.root || !Ctx.collisions) return;
  auto* other = static_cast<TActorClass*>(c.otherUser);
  if (other == this || !Ctx.actors.Contains(other) || !other->actor.root) return;
  glm::vec3 v = other->actor.root->AbsolutePosition() - actor.root->AbsolutePosition();
  const float len = glm::length(v);
  if (!(len > 0.0f) || !std::isfinite(len)) return;  // actors at one point push nowhere
  v = v / len * 400.0f;
  Ctx.collisions->ResetAbsoluteAcceleration(other->actor.body);
  Ctx.collisions->AddAbsoluteAcceleration(other->actor.body, v);
}

// ---------------------------------------------------------------- the frame

bool TActorClass::UpdateAnimation(double) {
  TKavoActor& a = actor;
  if (!a.model) return true;
  // 1. Hand nodes follow their bones.
  if (a.model->HasModel()) {
    const int first = a.model->BoneIndex(a.firstHandBone);
    if (first >= 0) a.firstHand->SetLocalMatrix(a.model->BoneMatrix(first));
    const int second = a.model->BoneIndex(a.secondHandBone);
    if (second >= 0) a.secondHand->SetLocalMatrix(a.model->BoneMatrix(second));
  }
  // 2. The automatic choice: walking while the actor moves fast enough (the
  // hover timer's measure) or its walking step asked for it, else standing
  // or talking.
  const double multiplier = Ctx.clock ? Ctx.clock->TimeMultiplier() : 1.0;
  std::string choice;
  int32_t interval;
  if (0.005 * a.WalkingSpeed * multiplier < a.measuredSpeed) {
    choice = a.walkingAnimation;
  } else if (a.walkRequested) {
    choice = a.walkingAnimation;
    a.walkRequested = false;
  } else {
    a.walkRequested = false;
    choice = ShowsSpeechText() ? a.talkingAnimation : a.standingAnimation;
  }
  if (choice == a.walkingAnimation)
    interval = a.walkingInterval;
  else if (choice == a.talkingAnimation && ShowsSpeechText())
    interval = a.talkingInterval;
  else
    interval = a.standingInterval;
  a.automaticInterval = interval;
  // 3. Switch when the choice changed.
  if ((a.animationListFlag || a.automaticFlag) && choice != a.automaticAnimation) {
    a.model->SwitchTo(choice, !a.animationListFlag);
    a.model->SetInterval(a.automaticInterval);
  }
  // 4.
  a.automaticAnimation = choice;
  // 5. The speech text above the actor, shown exactly while there is a line.
  LayOutSpeechText(*this);
  // 6. The second model keeps the model's animation and frame.
  if (a.secondModelFlag && a.secondModel) {
    a.secondModel->SetInterval(a.model->Interval());
    a.secondModel->SwitchTo(a.automaticAnimation, false);
    a.secondModel->SyncWithMaster();
  }
  return true;
}

bool TActorClass::WalkStep(double delta) {
  TKavoActor& a = actor;
  if (!a.root || !a.pivot || !a.sideMarker) return true;
  const TObjectHandle self = Handle();
  glm::vec3 push(0.0f);
  if (!a.walkQueue.empty()) {
    const TWalkPoint w = a.walkQueue.front();
    const glm::vec3 target(w.X, w.Y, w.Z);
    const glm::vec3 P = a.pivot->AbsolutePosition();
    const glm::vec3 side = a.sideMarker->AbsolutePosition() - P;
    const glm::vec3 toTarget = target - P;
    const float dW = Horizontal(P, target);
    if (dW > a.TargetDistanceStopWalk) {
      // The steering value grows with the distance and the sideways offset
      // of the target; its sign says which way to turn.
      const float t = glm::dot(side, toTarget);
      const float limit = a.MaxWalkingTurnAngle / 25.0f;
      glm::vec3 facing = a.root->AbsoluteDirection();
      facing.y = 0.0f;
      glm::vec3 towards = toTarget;
      towards.y = 0.0f;
      float off = 0.0f;  // degrees between facing and target, horizontally
      if (glm::length(facing) > 0.0f && glm::length(towards) > 0.0f)
        off = glm::degrees(std::acos(std::clamp(glm::dot(glm::normalize(facing), glm::normalize(towards)), -1.0f, 1.0f)));
      float turn = 0.0f;
      if (off > 90.0f) {
        // Behind: turn on the spot at the full rate (straight behind picks a side).
        turn = (t < 0.0f ? -1.0f : 1.0f) * std::fabs(limit);
      } else if (std::fabs(t) > a.TurningTargetAngle) {
        turn = Clamp(t * static_cast<float>(delta) * a.TurningSpeed / 150.0f, limit);
      }
      if (std::isfinite(turn) && turn != 0.0f) a.root->Turn(turn);
      if (off <= kPushConeDegrees) push = glm::vec3(0.0f, 0.0f, a.WalkingSpeed);
      // Walking every frame it walks on, so the walking animation holds.
      a.walkRequested = true;
      const int playing = a.model ? a.model->PlayingAnimation() : -1;
      const bool showsWalking = a.model && playing >= 0 && playing < static_cast<int>(a.model->Animations().size()) &&
                                a.model->Animations()[playing].name == a.walkingAnimation;
      if (!showsWalking) a.automaticFlag = true;
    } else {
      a.walkQueue.pop_front();
      if (!w.function.empty()) {
        CallEvent(Ctx, RoomScriptPath(Ctx), w.function);
        if (!ResolveAs<TActorClass>(Ctx.handles, self) || Ctx.halted) return false;
      }
    }
  }
  if (a.body != scene::kNoBody && Ctx.collisions && push != glm::vec3(0.0f))
    Ctx.collisions->AddOwnAcceleration(a.body, push);
  if (!a.pivot) return true;
  RunActorDistanceTrigger(Ctx, a.actorID, a.pivot->AbsolutePosition());
  return ResolveAs<TActorClass>(Ctx.handles, self) != nullptr && !Ctx.halted;
}

void TActorClass::DeliverModelEvents() {
  if (!actor.model) return;
  const TObjectHandle self = Handle();
  std::vector<scene::AnimationEvent> events = actor.model->TakeEvents();
  if (actor.secondModel) actor.secondModel->TakeEvents();  // it follows the model; its own events are not raised
  for (const scene::AnimationEvent& e : events) {
    TActorClass* me = ResolveAs<TActorClass>(Ctx.handles, self);
    if (!me || Ctx.halted || !actor.model) return;
    TKavoActor& a = actor;
    if (e.kind == scene::AnimationEvent::Kind::FrameChange) {
      if (Ctx.roomScriptFile.empty()) continue;
      if (Ctx.script) Ctx.script->LoadFile(RoomScriptPath(Ctx), false);
      if (!a.frameEventFlag) continue;
      TKavo_ScriptFunctionData args;
      args.Args.emplace_back(static_cast<int64_t>(ID()));
      args.Args.emplace_back(e.animation);
      int within = e.frame;
      const int index = a.model->FindAnimation(e.animation);
      if (index >= 0) within -= a.model->Animations()[index].start;
      args.Args.emplace_back(static_cast<int64_t>(within));
      const int rc = CallEvent(Ctx, "", "onActorFrameChange", args);
      if (rc != 0 && ResolveAs<TActorClass>(Ctx.handles, self)) a.frameEventFlag = false;
    } else {
      a.automaticFlag = true;
      const int playing = a.model->PlayingAnimation();
      const std::string current =
          playing >= 0 && playing < static_cast<int>(a.model->Animations().size()) ? a.model->Animations()[playing].name : "";
      if (current != a.automaticAnimation) SwitchModels(a.automaticAnimation, true, a.automaticInterval);
      if (!a.boneAnimationEndFunction.empty()) {
        // Cleared before the call: a function that starts the next run
        // keeps that run's end function.
        const std::string fn = a.boneAnimationEndFunction;
        a.boneAnimationEndFunction.clear();
        CallEvent(Ctx, RoomScriptPath(Ctx), fn);
      }
    }
  }
}

void AdvanceActorModels(TKavoContext& ctx, double delta) {
  for (TActorClass* a : ctx.actors) {
    if (a->actor.model) a->actor.model->Advance(delta);
    if (a->actor.secondModel) a->actor.secondModel->SyncWithMaster();
  }
  ctx.actors.ForEachLive([&](TActorClass& a) {
    a.DeliverModelEvents();
    return !ctx.halted;
  });
}

void SyncActorBodies(TKavoContext& ctx) {
  if (!ctx.collisions) return;
  for (TActorClass* actor : ctx.actors) {
    TKavoActor& a = actor->actor;
    if (a.body == scene::kNoBody || !a.root) continue;
    const glm::mat4 m = a.root->AbsoluteMatrix();
    const glm::vec3 p(m[3]);
    if (p != a.bodySyncedAt) {
      ctx.collisions->SetPosition(a.body, p);
      a.bodySyncedAt = p;
    }
    glm::mat3 axes(glm::normalize(glm::vec3(m[0])), glm::normalize(glm::vec3(m[1])), glm::normalize(glm::vec3(m[2])));
    bool finite = true;
    for (int c = 0; c < 3; ++c)
      for (int r = 0; r < 3; ++r) finite = finite && std::isfinite(axes[c][r]);
    if (finite) ctx.collisions->SetOrientation(a.body, axes);
  }
}

void ActorsFollowBodies(TKavoContext& ctx) {
  if (!ctx.collisions) return;
  for (TActorClass* actor : ctx.actors) {
    TKavoActor& a = actor->actor;
    if (a.body == scene::kNoBody || !a.root || !ctx.collisions->IsActive(a.body)) continue;
    const glm::vec3 p = ctx.collisions->Position(a.body);
    if (p == a.bodySyncedAt) continue;
    glm::vec3 local = p;
    if (scene::Node* parent = a.root->Parent()) local = glm::vec3(glm::inverse(parent->AbsoluteMatrix()) * glm::vec4(p, 1.0f));
    a.root->SetPosition(local);
    a.bodySyncedAt = a.root->AbsolutePosition();
  }
}

void StepActors(TKavoContext& ctx, double delta) {
  ctx.actors.ForEachLive([&](TActorClass& a) {
    // An actor a script destroyed during its own step is dropped there; the
    // others go on.
    if (a.UpdateAnimation(delta)) a.WalkStep(delta);
    return !ctx.halted;
  });
}

void MeasureActorMovement(TKavoContext& ctx) {
  for (TActorClass* actor : ctx.actors) {
    TKavoActor& a = actor->actor;
    if (!a.root) continue;
    const glm::vec3 p = a.root->Position();
    const glm::vec3 d = p - a.lastMeasuredPosition;
    a.measuredSpeed = glm::dot(d, d);
    a.lastMeasuredPosition = p;
  }
}

void WalkMouseControlActors(TKavoContext& ctx, const glm::vec3& point) {
  ctx.actors.ForEachLive([&](TActorClass& actor) {
    if (!actor.MouseControl || !actor.actor.root) return;
    glm::vec3 start = actor.actor.root->Position();
    start.y = 0.0f;
    std::vector<glm::vec3> nodes = ctx.room ? ctx.room->PlanRoute(start, point) : std::vector<glm::vec3>{start, point};
    actor.actor.walkQueue.clear();
    for (size_t i = 1; i < nodes.size(); ++i) actor.actor.walkQueue.push_back({"", nodes[i].x, nodes[i].y, nodes[i].z, 0});
  });
}

void ToggleActorCollisionSpheres(TKavoContext& ctx) {
  bool shown = false;
  for (TActorClass* actor : ctx.actors)
    if (scene::SphereNode* s = actor->actor.collisionSphere) {
      s->SetVisible(!s->Visible());
      shown = shown || s->Visible();
    }
  // The last route shows with the spheres.
  if (ctx.scene && ctx.scene->pathLines) ctx.scene->pathLines->SetVisible(shown);
}

bool ActorRayHits(const TActorClass& actor, const scene::Ray& ray) {
  const scene::AnimatedMeshNode* model = actor.actor.model;
  if (!model || !model->HasModel() || !model->VisibleInTree()) return false;
  return model->RayIntersectPosed(ray).has_value();
}

// ---------------------------------------------------------------- script methods

void TActorClass::Script_LoadBaseMesh(TKavo_ScriptFunctionData& d) {
  const std::string F = StringArg(d, 0);
  std::string S;
  if (HasArg(d, 1)) S = StringArg(d, 1);
  LoadBaseMesh(F, S);
}

void TActorClass::Script_AddAnimation(TKavo_ScriptFunctionData& d) { AddAnimation(StringArg(d, 0)); }

void TActorClass::Script_RunBoneAnimation(TKavo_ScriptFunctionData& d) {
  const std::string name = StringArg(d, 0);
  const std::string endFunction = HasArg(d, 1) ? d.Args[1].ToText() : "";
  const int interval = HasArg(d, 2) ? static_cast<int>(std::clamp<int64_t>(d.Args[2].ToRoundedInt(), 1, INT32_MAX)) : 200;
  const bool smooth = HasArg(d, 3) ? d.Args[3].ToBool() : true;
  actor.automaticFlag = false;
  SwitchModels(name, smooth, interval);
  if (HasArg(d, 1)) actor.boneAnimationEndFunction = endFunction;
}

void TActorClass::Script_SetHandBones(TKavo_ScriptFunctionData& d) {
  const std::string first = StringArg(d, 0);
  const std::string second = StringArg(d, 1);
  actor.firstHandBone = first;
  actor.secondHandBone = second;
}

void TActorClass::Script_SetMeshScale(TKavo_ScriptFunctionData& d) {
  const glm::vec3 s(NumberArg(d, 0), NumberArg(d, 1), NumberArg(d, 2));
  if (actor.model) actor.model->SetScale(s);
}

void TActorClass::Script_SetMeshRollAngle(TKavo_ScriptFunctionData& d) {
  const float angle = static_cast<float>(NumberArg(d, 0));
  if (actor.model) actor.model->SetRollAngle(angle);
}

void TActorClass::Script_SetActor_Dummy_Position(TKavo_ScriptFunctionData& d) {
  const glm::vec3 p(NumberArg(d, 0), NumberArg(d, 1), NumberArg(d, 2));
  if (actor.pivot) actor.pivot->SetPosition(p);
}

void TActorClass::Script_SetCollisionScale(TKavo_ScriptFunctionData& d) {
  SetCollisionScale(glm::vec3(NumberArg(d, 0), NumberArg(d, 1), NumberArg(d, 2)));
}

void TActorClass::Script_OverrideTexture(TKavo_ScriptFunctionData& d) {
  OverrideTexture(HasArg(d, 0) ? d.Args[0].ToText() : "");
}

void TActorClass::Script_PointTo(TKavo_ScriptFunctionData& d) {
  const glm::vec3 p(NumberArg(d, 0), NumberArg(d, 1), NumberArg(d, 2));
  if (!actor.root || !Ctx.scene) return;
  const glm::vec3 up = Ctx.scene->sceneNode->AbsoluteUp();
  const glm::vec3 to = p - actor.root->AbsolutePosition();
  // A point straight above, below or at the actor gives no direction to face.
  if (!std::isfinite(glm::dot(to, to)) || glm::length(glm::cross(to, up)) <= 1e-6f * std::max(1.0f, glm::length(to)))
    return;
  actor.root->PointTo(p, up);
}

void TActorClass::Script_SetSpeechText(TKavo_ScriptFunctionData& d) {
  actor.speechText = SpeechText(Ctx, StringArg(d, 0));
}

void TActorClass::Script_Say(TKavo_ScriptFunctionData& d) { QueueSpeechLine(*this, d, true); }

void TActorClass::Script_SayBackground(TKavo_ScriptFunctionData& d) { QueueSpeechLine(*this, d, false); }

void TActorClass::Script_SetSpeechColorRGB(TKavo_ScriptFunctionData& d) {
  const float r = static_cast<float>(NumberArg(d, 0)), g = static_cast<float>(NumberArg(d, 1)),
              b = static_cast<float>(NumberArg(d, 2));
  actor.speechColour = {r / 255.0f, g / 255.0f, b / 255.0f, 1.0f};
}

void TActorClass::Script_Walk(TKavo_ScriptFunctionData& d) {
  TWalkPoint p;
  p.X = static_cast<float>(NumberArg(d, 0));
  p.Y = static_cast<float>(NumberArg(d, 1));
  p.Z = static_cast<float>(NumberArg(d, 2));
  if (HasArg(d, 3)) p.function = StringArg(d, 3);
  AppendWalkPoint(p);
}

void TActorClass::Script_AddWalkPoint(TKavo_ScriptFunctionData& d) {
  TWalkPoint p;
  p.X = static_cast<float>(NumberArg(d, 0));
  p.Y = static_cast<float>(NumberArg(d, 1));
  p.Z = static_cast<float>(NumberArg(d, 2));
  p.function = StringArg(d, 3);
  AppendWalkPoint(p);
}

void TActorClass::Script_FindPathAndWalk(TKavo_ScriptFunctionData& d) {
  const glm::vec3 goal(NumberArg(d, 0), NumberArg(d, 1), NumberArg(d, 2));
  const std::string fn = HasArg(d, 3) ? StringArg(d, 3) : "";
  FindPathAndWalk(goal, fn);
}

void TActorClass::Script_ClearWalkPoints(TKavo_ScriptFunctionData&) { ClearWalkPoints(); }

void TActorClass::Script_MoveEndOfWalk(TKavo_ScriptFunctionData&) {
  if (actor.walkQueue.empty()) throw ListIndexError(-1);
  const TWalkPoint last = actor.walkQueue.back();
  if (actor.root) actor.root->SetPosition(last.X, last.Y, last.Z);
  actor.walkQueue.clear();
}

void TActorClass::Script_ApplyForce(TKavo_ScriptFunctionData& d) {
  const glm::vec3 f(NumberArg(d, 0), NumberArg(d, 1), NumberArg(d, 2));
  if (actor.body != scene::kNoBody && Ctx.collisions) Ctx.collisions->AddOwnAcceleration(actor.body, f);
}

void TActorClass::Script_Jump(TKavo_ScriptFunctionData& d) {
  const float height = static_cast<float>(NumberArg(d, 0)), speed = static_cast<float>(NumberArg(d, 1));
  if (actor.body != scene::kNoBody && Ctx.collisions) Ctx.collisions->Jump(actor.body, height, speed);
}

}  // namespace kavo
