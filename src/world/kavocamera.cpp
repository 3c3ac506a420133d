#include "world/kavocamera.h"

#include <cmath>

#include "game/kavogame.h"
#include "scene/scenetree.h"
#include "script/binding.h"
#include "script/context.h"

namespace kavo {

namespace {
using C = TCameraClass;
using P = TPropType;

scene::Node& CameraNode(C& c) { return *c.Ctx.scene->mainCamera; }
scene::Node& TargetNode(C& c) { return *c.Ctx.scene->cameratarget; }
scene::Node& PositionNode(C& c) { return *c.Ctx.scene->cameraposition; }

template <int Axis>
void SetCameraAxis(C& c, const TVariant& v) {
  if (c.Suspended()) return;
  for (scene::Node* n : {&CameraNode(c), &PositionNode(c)}) {
    glm::vec3 p = n->Position();
    p[Axis] = static_cast<float>(v.AsDouble());
    n->SetPosition(p);
  }
}
template <int Axis>
void SetTargetAxis(C& c, const TVariant& v) {
  if (c.Suspended()) return;
  glm::vec3 p = TargetNode(c).Position();
  p[Axis] = static_cast<float>(v.AsDouble());
  TargetNode(c).SetPosition(p);
}
}  // namespace

const TScriptClassInfo& TCameraClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TCameraClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<TCameraClass>);
    auto num = [](float v) { return static_cast<double>(v); };
    TClassBuilder<C>(i)
        .Prop("X", P::Single, [num](C& c) { return num(CameraNode(c).Position().x); }, SetCameraAxis<0>)
        .Prop("Y", P::Single, [num](C& c) { return num(CameraNode(c).Position().y); }, SetCameraAxis<1>)
        .Prop("Z", P::Single, [num](C& c) { return num(CameraNode(c).Position().z); }, SetCameraAxis<2>)
        .Prop("TargetX", P::Single, [num](C& c) { return num(TargetNode(c).Position().x); }, SetTargetAxis<0>)
        .Prop("TargetY", P::Single, [num](C& c) { return num(TargetNode(c).Position().y); }, SetTargetAxis<1>)
        .Prop("TargetZ", P::Single, [num](C& c) { return num(TargetNode(c).Position().z); }, SetTargetAxis<2>)
        .Prop("FocalLength", P::Single, [num](C& c) { return num(c.Ctx.scene->mainCamera->FocalLength()); },
              [](C& c, const TVariant& v) { c.Ctx.scene->mainCamera->SetFocalLength(static_cast<float>(v.AsDouble())); })
        .Prop("DepthOfView", P::Single, [num](C& c) { return num(c.Ctx.scene->mainCamera->DepthOfView()); },
              [](C& c, const TVariant& v) { c.Ctx.scene->mainCamera->SetDepthOfView(static_cast<float>(v.AsDouble())); })
        .Field("FollowingActor", P::Integer, &C::FollowingActor)
        .Field("AttachedToActor", P::Integer, &C::AttachedToActor)
        .Field("TargetAttachedToCamera", P::Boolean, &C::TargetAttachedToCamera)
        .Field("AttachedToNone", P::Boolean, &C::AttachedToNone)
        .Method("SetPosition", &C::Script_SetPosition, "number, number, number [, boolean: glide]")
        .Bind<&C::Script_SetTargetPosition>("SetTargetPosition")
        .Method("FollowNone", &C::Script_FollowNone, "")
        .Method("AttachToNone", &C::Script_AttachToNone, "")
        .Method("AttachTargetToCamera", &C::Script_AttachTargetToCamera, "")
        .Method("DeAttachTargetFromCamera", &C::Script_DeAttachTargetFromCamera, "")
        .Method("Destroy", &C::Script_Destroy, "");
    return i;
  }();
  return info;
}

bool TCameraClass::Suspended() const { return Ctx.pointer.freeCamera && Ctx.DebugMode(); }

void CameraFollow(TKavoContext& ctx, double delta) {
  if (ctx.pointer.freeCamera || ctx.scene == nullptr) return;
  scene::CameraNode& cam = *ctx.scene->mainCamera;
  glm::vec3 target = ctx.scene->cameraposition->Position();
  glm::vec3 d = target - cam.Position();
  if (std::fabs(d.x) < 0.1f && std::fabs(d.y) < 0.1f && std::fabs(d.z) < 0.1f) {
    cam.SetPosition(target);
  } else {
    // Each axis closes its own gap at a rate of one per second.
    cam.SetPosition(cam.Position() + d * static_cast<float>(delta));
  }
  if (cam.Tag() == 0) cam.SetPosition(target);
}

void TCameraClass::Script_SetPosition(TKavo_ScriptFunctionData& d) {
  for (size_t i = 0; i < 3; ++i) CheckNumeric(d, i);
  if (Suspended()) return;
  glm::vec3 p(d.Args[0].ToDouble(), d.Args[1].ToDouble(), d.Args[2].ToDouble());
  PositionNode(*this).SetPosition(p);
  const bool glide = HasArg(d, 3) && d.Args[3].IsBoolean() && d.Args[3].AsBool();
  CameraNode(*this).SetTag(glide ? 1 : 0);
  if (!glide) CameraNode(*this).SetPosition(p);
}

void TCameraClass::Script_SetTargetPosition(double x, double y, double z) {
  if (Suspended()) return;
  TargetNode(*this).SetPosition({x, y, z});
}

void TCameraClass::Script_FollowNone(TKavo_ScriptFunctionData&) {
  FollowingActor = -1;
  TargetNode(*this).MoveTo(*Ctx.scene->sceneNode);
}

void TCameraClass::Script_AttachToNone(TKavo_ScriptFunctionData&) {
  AttachedToActor = -1;
  AttachedToNone = true;
  CameraNode(*this).MoveTo(*Ctx.scene->sceneNode);
  PositionNode(*this).MoveTo(*Ctx.scene->sceneNode);
}

void TCameraClass::Script_AttachTargetToCamera(TKavo_ScriptFunctionData&) {
  TargetNode(*this).MoveTo(CameraNode(*this));
  TargetAttachedToCamera = true;
}

void TCameraClass::Script_DeAttachTargetFromCamera(TKavo_ScriptFunctionData&) {
  TargetNode(*this).MoveTo(*Ctx.scene->sceneNode);
  TargetAttachedToCamera = false;
}

}  // namespace kavo
