// TMeshClass (script class TMesh): a static model placed in the world, which
// can lie in the room, sit in an inventory, be held in an actor's hand or
// ride on another mesh.
#pragma once

#include "world/kavodummy.h"

namespace kavo {

namespace scene {
class StaticMeshNode;
}

class TMeshClass : public TKavoMouseEvents {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TMeshClass(TKavoForm& form) : TKavoMouseEvents(form) {}
  void Create() override;
  void DestroyObject() override;
  void Script_Destroy(TKavo_ScriptFunctionData& d) override;

  scene::StaticMeshNode* MeshNode() const;
  int ID() const;
};

}  // namespace kavo
