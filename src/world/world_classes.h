// World classes whose members arrive with later work.
#pragma once

#include "script/simpleclass.h"

namespace kavo::scene {
class Node;
}

namespace kavo {

class TActorClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TActorClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}
  void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

  // The node a mesh held in the first or the second hand hangs under; none
  // until actors get their models, and held meshes then wait under `scene`.
  scene::Node* HandNode(bool /*firstHand*/) const { return nullptr; }
  // Switches the actor's collision body on once a room's files are loaded
  // (actors are made with inactive bodies); actors get bodies with their models.
  void ActivateBody() {}
};

KAVO_SIMPLE_CLASS_DECL(TAnimationClass)

}  // namespace kavo
