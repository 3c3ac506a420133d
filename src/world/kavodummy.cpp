#include "world/kavodummy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "hud/kavomenu.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "script/binding.h"
#include "script/environment.h"

namespace kavo {

int ButtonCode(TMouseButton b) {
  switch (b) {
    case TMouseButton::Left: return 1;
    case TMouseButton::Right: return 2;
    case TMouseButton::Middle: return 4;
    default: return 0;
  }
}

// ---------------------------------------------------------------- movable

namespace {
using M = TKavoMovableClass;
using P = TPropType;

// Position, scale and angle reads give -1 without a node; writes do nothing.
template <class Get>
auto NodeRead(Get get) {
  return [get](M& m) { return m.Node() ? static_cast<double>(get(*m.Node())) : -1.0; };
}

float Arg(const TKavo_ScriptFunctionData& d, size_t i) { return static_cast<float>(d.Args[i].ToDouble()); }
}  // namespace

const TScriptClassInfo& TKavoMovableClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TKavoMovableClass", &TKavo_ScriptClass::StaticInfo());
    TClassBuilder<M> b(i);
    auto pos = [](int axis) {
      return [axis](M& m, const TVariant& v) {
        if (!m.Node()) return;
        glm::vec3 p = m.Node()->Position();
        p[axis] = static_cast<float>(v.AsDouble());
        m.Node()->SetPosition(p);
      };
    };
    auto scale = [](int axis) {
      return [axis](M& m, const TVariant& v) {
        if (!m.Node()) return;
        glm::vec3 s = m.Node()->Scale();
        s[axis] = static_cast<float>(v.AsDouble());
        m.Node()->SetScale(s);
      };
    };
    b.Prop("X", P::Single, NodeRead([](scene::Node& n) { return n.Position().x; }), pos(0))
        .Prop("Y", P::Single, NodeRead([](scene::Node& n) { return n.Position().y; }), pos(1))
        .Prop("Z", P::Single, NodeRead([](scene::Node& n) { return n.Position().z; }), pos(2))
        .Prop("ScaleX", P::Single, NodeRead([](scene::Node& n) { return n.Scale().x; }), scale(0))
        .Prop("ScaleY", P::Single, NodeRead([](scene::Node& n) { return n.Scale().y; }), scale(1))
        .Prop("ScaleZ", P::Single, NodeRead([](scene::Node& n) { return n.Scale().z; }), scale(2))
        .Prop("TurnAngle", P::Single, NodeRead([](scene::Node& n) { return n.TurnAngle(); }),
              [](M& m, const TVariant& v) {
                if (!m.Node()) return;
                m.storedTurn = static_cast<float>(v.AsDouble());
                m.ReapplyAngles();
              })
        .Prop("RollAngle", P::Single, NodeRead([](scene::Node& n) { return n.RollAngle(); }),
              [](M& m, const TVariant& v) {
                if (!m.Node()) return;
                m.storedRoll = static_cast<float>(v.AsDouble());
                m.ReapplyAngles();
              })
        .Prop("PitchAngle", P::Single, NodeRead([](scene::Node& n) { return n.PitchAngle(); }),
              [](M& m, const TVariant& v) {
                if (!m.Node()) return;
                m.storedPitch = static_cast<float>(v.AsDouble());
                m.ReapplyAngles();
              })
        .Prop("Visible", P::Boolean, [](M& m) { return m.Node() ? m.visibleFlag : false; },
              [](M& m, const TVariant& v) {
                m.visibleFlag = v.AsBool();
                m.ApplyVisibility();
              })
        .Prop("InMenu", P::Integer, [](M& m) { return m.InMenu; },
              [](M& m, const TVariant& v) { m.SetInMenu(static_cast<int32_t>(v.AsInt())); })
        .Field("Hint", P::ShortString, &M::Hint)
        .Field("OnActorDistance", P::ShortString, &M::OnActorDistance)
        .Field("ActorDistanceTrigger", P::Single, &M::ActorDistanceTrigger)
        .Field("ActorTriggerID", P::Integer, &M::ActorTriggerID)
        .Method("Destroy", &M::Script_Destroy, "")
        .Method("SetScale", &M::Script_SetScale, "float [, float [, float]]")
        .Method("SetPosition", &M::Script_SetPosition, "float [, float [, float]]")
        .Method("SetRotation", &M::Script_SetRotation, "float [, float [, float]]")
        .Method("RunAnimation", &M::Script_RunAnimation, "integer [, string]")
        .Method("OnAnimation", &M::Script_OnAnimation, "")
        .Method("AbortAnimation", &M::Script_AbortAnimation, "")
        .Method("MoveFirst", &M::Script_MoveFirst, "")
        .Method("MoveLast", &M::Script_MoveLast, "")
        .Method("MoveUp", &M::Script_MoveUp, "")
        .Method("MoveDown", &M::Script_MoveDown, "")
        .Bind<&M::Script_MoveToMenu>("MoveToMenu")
        .Bind<&M::Script_PointTo>("PointTo")
        .Method("SetRawRotations", &M::Script_SetRawRotations, "16 numbers: a 4 by 4 matrix")
        .Bind<&M::Script_DistanceToPoint>("DistanceToPoint");
    return i;
  }();
  return info;
}

void TKavoMovableClass::Create() {
  TKavo_ScriptClass::Create();
  InMenu = -1;
  SetInMenu(0);
}

void TKavoMovableClass::DestroyObject() {
  // A destroyed object never stays in a menu's member list.
  if (menu_) menu_->RemoveMember(*this);
  TKavo_ScriptClass::DestroyObject();
}

void TKavoMovableClass::SetNode(scene::Node* node) {
  node_ = node;
  if (node_) {
    storedTurn = node_->TurnAngle();
    storedRoll = node_->RollAngle();
    storedPitch = node_->PitchAngle();
  }
}

void TKavoMovableClass::ApplyVisibility() {
  if (!node_) return;
  node_->SetVisible(visibleFlag && Ctx.menus.At(InMenu)->Shown());
}

void TKavoMovableClass::SetInMenu(int32_t n) {
  if (TMenuClass* menu = Ctx.menus.Find(n))
    menu->AddMember(*this);  // leaves the old menu's list
  else if (menu_)
    menu_->RemoveMember(*this);
  InMenu = n;
  if (node_) ApplyVisibility();
}

void TKavoMovableClass::ReapplyAngles() {
  if (!node_) return;
  node_->ResetRotation();
  node_->SetTurnAngle(storedTurn);
  node_->SetRollAngle(storedRoll);
  node_->SetPitchAngle(storedPitch);
}

void TKavoMovableClass::WriteSave(const std::string& n, std::vector<std::string>& lines) {
  TKavo_ScriptClass::WriteSave(n, lines);
  std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  if (node_) m = node_->RawMatrix();
  std::string line = n + ".SetRawRotations(";
  for (size_t i = 0; i < 16; ++i) line += (i ? "," : "") + FormatSaveNumber(m[i]);
  lines.push_back(line + ");");
}

void TKavoMovableClass::Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

void TKavoMovableClass::Script_SetPosition(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  // Each axis right after its check: a bad later argument leaves the earlier ones set.
  for (size_t i = 0; i < 3 && (i == 0 || HasArg(d, i)); ++i) {
    CheckNumeric(d, i, "float");
    glm::vec3 p = node_->Position();
    p[static_cast<int>(i)] = Arg(d, i);
    node_->SetPosition(p);
  }
}

void TKavoMovableClass::Script_SetScale(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  for (size_t i = 0; i < 3 && (i == 0 || HasArg(d, i)); ++i) {
    CheckNumeric(d, i, "float");
    glm::vec3 s = node_->Scale();
    s[static_cast<int>(i)] = Arg(d, i);
    node_->SetScale(s);
  }
}

void TKavoMovableClass::Script_SetRotation(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  float* angles[] = {&storedTurn, &storedRoll, &storedPitch};
  for (size_t i = 0; i < 3 && (i == 0 || HasArg(d, i)); ++i) {
    CheckNumeric(d, i, "float");
    *angles[i] = Arg(d, i);
  }
  ReapplyAngles();
}

void TKavoMovableClass::Script_RunAnimation(TKavo_ScriptFunctionData& d) {
  CheckOrdinal(d, 0);
  if (HasArg(d, 1) && !d.Args[1].IsString()) ArgError(d, "string", 1, true);
  // Keyframe animation runs join with the animations.
}

void TKavoMovableClass::Script_OnAnimation(TKavo_ScriptFunctionData& d) { d.Result = TVariant(-1); }
void TKavoMovableClass::Script_AbortAnimation(TKavo_ScriptFunctionData&) {}

void TKavoMovableClass::Script_MoveFirst(TKavo_ScriptFunctionData&) {
  if (node_) node_->MoveFirst();
}
void TKavoMovableClass::Script_MoveLast(TKavo_ScriptFunctionData&) {
  if (node_) node_->MoveLast();
}
void TKavoMovableClass::Script_MoveUp(TKavo_ScriptFunctionData&) {
  if (node_) node_->MoveUp();
}
void TKavoMovableClass::Script_MoveDown(TKavo_ScriptFunctionData&) {
  if (node_) node_->MoveDown();
}

void TKavoMovableClass::Script_MoveToMenu(int64_t menu) { SetInMenu(static_cast<int32_t>(menu)); }

void TKavoMovableClass::Script_PointTo(double x, double y, double z) {
  if (!node_ || !Ctx.scene) return;
  // The node keeps facing the point; the stored angles stay as they were
  // (a later angle write re-applies them).
  glm::vec3 up = Ctx.scene->sceneNode->AbsoluteUp();
  node_->PointTo({static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)}, up);
}

void TKavoMovableClass::Script_SetRawRotations(TKavo_ScriptFunctionData& d) {
  if (!node_ || d.Args.size() < 16) return;
  float m[16];
  for (size_t i = 0; i < 16; ++i) {
    if (!d.Args[i].IsNumeric()) return;
    m[i] = Arg(d, i);
  }
  node_->SetRawMatrix(m);
}

double TKavoMovableClass::Script_DistanceToPoint(double x, double y, double z) {
  glm::vec3 p = node_ ? node_->Position() : glm::vec3(-1.0f);
  return static_cast<double>(
      glm::length(p - glm::vec3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z))));
}

// ---------------------------------------------------------------- mouse events

const TScriptClassInfo& TKavoMouseEvents::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TKavoMouseEvents", &TKavoMovableClass::StaticInfo());
    using T = TKavoMouseEvents;
    TClassBuilder<T>(i)
        .Field("OnMouseMove", P::ShortString, &T::OnMouseMove)
        .Field("OnMouseDown", P::ShortString, &T::OnMouseDown)
        .Field("OnMouseUp", P::ShortString, &T::OnMouseUp)
        .Field("OnMouseWheel", P::ShortString, &T::OnMouseWheel)
        .Field("WalkPointX", P::Single, &T::WalkPointX)
        .Field("WalkPointY", P::Single, &T::WalkPointY)
        .Field("WalkPointZ", P::Single, &T::WalkPointZ)
        .Method("SetWalkPoint", &T::Script_SetWalkPoint, "float [, float [, float]]");
    return i;
  }();
  return info;
}

void TKavoMouseEvents::Raise(const std::string& handler, const TKavo_ScriptFunctionData& args) {
  // "1" is what scripts get when they assign nil: it names no function.
  if (handler.empty() || handler == "1") return;
  std::string name = handler;  // the object may die in the call
  CallEvent(Ctx, "scripts\\" + Ctx.roomScriptFile, name, args);
}

void TKavoMouseEvents::MouseDown(TMouseButton b, TShiftState, int, int) {
  TKavo_ScriptFunctionData d;
  d.Args.emplace_back(ButtonCode(b));
  Raise(OnMouseDown, d);
}

void TKavoMouseEvents::MouseUp(TMouseButton b, TShiftState, int, int) {
  TKavo_ScriptFunctionData d;
  d.Args.emplace_back(ButtonCode(b));
  Raise(OnMouseUp, d);
}

void TKavoMouseEvents::MouseMove(TShiftState, int, int) {
  Raise(OnMouseMove, {});
}

void TKavoMouseEvents::MouseWheel(TShiftState, int delta, int, int) {
  TKavo_ScriptFunctionData d;
  d.Args.emplace_back(delta);
  Raise(OnMouseWheel, d);
}

void TKavoMouseEvents::Script_SetWalkPoint(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  float* fields[] = {&WalkPointX, &WalkPointY, &WalkPointZ};
  for (size_t i = 0; i < 3 && (i == 0 || HasArg(d, i)); ++i) {
    CheckNumeric(d, i, "float");
    *fields[i] = Arg(d, i);
  }
}

// ---------------------------------------------------------------- HUD base

const TScriptClassInfo& THudClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("THudClass", &TKavoMouseEvents::StaticInfo());
    using T = THudClass;
    TClassBuilder<T>(i)
        .Prop("Alpha", P::Single, [](T& h) { return h.Alpha; },
              [](T& h, const TVariant& v) {
                h.Alpha = static_cast<float>(v.AsDouble());
                if (auto* s = dynamic_cast<scene::HudSpriteNode*>(h.Node())) s->material.diffuse.a = h.Alpha;
              })
        .Bind<&T::Script_SetMouseRect>("SetMouseRect");
    return i;
  }();
  return info;
}

void THudClass::DestroyObject() {
  if (!Alive()) return;
  if (node_) {
    Ctx.nodeOwners.erase(node_);
    node_->Destroy();
    node_ = nullptr;
  }
  TKavoMouseEvents::DestroyObject();
}

void THudClass::SetUpHudMaterial() {
  if (auto* s = dynamic_cast<scene::HudSpriteNode*>(node_)) {
    scene::Material& m = s->material;
    m.diffuse = {1, 1, 1, 1};
    m.ambient = {1, 1, 1, 1};
    m.blending = scene::BlendingMode::Transparency;
    m.texture.mode = scene::TextureMode::Modulate;
    m.ignoreFog = true;
    m.unlit = true;
  }
}

void THudClass::Script_SetMouseRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  mouseLeft = static_cast<int32_t>(left);
  mouseTop = static_cast<int32_t>(top);
  mouseRight = static_cast<int32_t>(right);
  mouseBottom = static_cast<int32_t>(bottom);
}

// ---------------------------------------------------------------- dummies

const TScriptClassInfo& TDummyClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TDummyClass", &TKavoMouseEvents::StaticInfo(), MakeScriptObject<TDummyClass>);
    TClassBuilder<TDummyClass>(i).Registry([](TKavoContext& c) -> TRegistryBase& { return c.dummies; }, false);
    return i;
  }();
  return info;
}

void TDummyClass::Create() {
  TKavoMouseEvents::Create();
  auto* box = Ctx.scene->mousetargets->CreateChild<scene::GroupNode>("dummy");
  box->SetCubeSize(1.0f);
  SetNode(box);
  Ctx.nodeOwners[box] = Handle();
  ApplyVisibility();
}

void TDummyClass::DestroyObject() {
  if (node_) {
    Ctx.nodeOwners.erase(node_);
    node_->Destroy();
    node_ = nullptr;
  }
  TKavoMouseEvents::DestroyObject();
}

void TDummyClass::Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

bool TDummyClass::Contains(const glm::vec3& p) const {
  auto* g = dynamic_cast<scene::GroupNode*>(node_);
  return g && g->PointInside(p);
}

// ---------------------------------------------------------------- actor distance

void RunActorDistanceTrigger(TKavoContext& ctx, int actorID, const glm::vec3& point) {
  // Candidates: actors, dummies, meshes. Handlers may create or destroy
  // objects: walk a snapshot and skip the dead.
  std::vector<TObjectHandle> candidates;
  for (const TRegistryBase* list : {static_cast<const TRegistryBase*>(&ctx.actors),
                                    static_cast<const TRegistryBase*>(&ctx.dummies),
                                    static_cast<const TRegistryBase*>(&ctx.meshes)}) {
    std::vector<TObjectHandle> h = list->Handles();
    candidates.insert(candidates.end(), h.begin(), h.end());
  }
  for (TObjectHandle h : candidates) {
    TKavoMovableClass* obj = ResolveAs<TKavoMovableClass>(ctx.handles, h);
    if (!obj) continue;
    auto& m = *obj;
    if (m.OnActorDistance.empty() || !m.Node()) continue;
    bool fire;
    TDummyClass* dummy = ResolveAs<TDummyClass>(ctx.handles, h);
    if (dummy && m.ActorDistanceTrigger == -1.0f)
      fire = dummy->Contains(point);
    else
      fire = m.ActorDistanceTrigger > glm::length(m.Node()->AbsolutePosition() - point);
    if (!fire) continue;
    m.ActorTriggerID = actorID;
    std::string fn = m.OnActorDistance;
    CallEvent(ctx, "scripts\\" + ctx.roomScriptFile, fn);
    if (ctx.halted) return;
  }
}

}  // namespace kavo
