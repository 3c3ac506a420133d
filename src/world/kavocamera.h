// TCameraClass (script class TCamera): scripts steer the one game camera,
// MainCamera, which always looks at cameratarget and moves to (or glides
// towards) cameraposition each frame. Following and riding with actors and
// the camera's keyframe runs join with actors and animations.
#pragma once

#include "script/scriptclass.h"

namespace kavo {

class TCameraClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TCameraClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}

  int32_t FollowingActor = -1, AttachedToActor = -1;
  bool TargetAttachedToCamera = false, AttachedToNone = true;

  void Script_SetPosition(TKavo_ScriptFunctionData& d);
  void Script_SetTargetPosition(double x, double y, double z);
  void Script_FollowNone(TKavo_ScriptFunctionData& d);
  void Script_AttachToNone(TKavo_ScriptFunctionData& d);
  void Script_AttachTargetToCamera(TKavo_ScriptFunctionData& d);
  void Script_DeAttachTargetFromCamera(TKavo_ScriptFunctionData& d);
  void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

  // While the player orbits the camera in debug mode, scripts leave it alone.
  bool Suspended() const;
};

// The frame step's camera follow: MainCamera moves to `cameraposition`, or
// glides towards it (each axis closes its gap at a rate of one per second)
// while its tag is 1. Suspended while the player orbits the camera.
void CameraFollow(TKavoContext& ctx, double delta);

}  // namespace kavo
