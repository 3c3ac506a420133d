// HUD classes whose members arrive with later work.
#pragma once

#include <vector>

#include "hud/kavohudsprite.h"
#include "script/simpleclass.h"

namespace kavo::scene {
class Node;
}

namespace kavo {
KAVO_SIMPLE_CLASS_DECL(THudTrackBarClass)

class TMeshClass;

class TInventoryClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TInventoryClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}
  void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

  // The meshes in the inventory in the order they came; the meshes keep it
  // up to date as they move between holders.
  std::vector<TMeshClass*> items;
  // The node the items hang under; none until inventories get their grid
  // node, and the items then wait under `inventories`.
  scene::Node* ItemsNode() const { return nullptr; }
  // Lays the items out again (the grid layout comes with the inventories).
  void LayOut() {}
  // The input dispatch's inventory layer: whether an item takes a press
  // (0), release (1) or wheel turn (2) at the pointer. No item does until
  // inventories get their grid.
  bool TakePointer(int /*event*/, int /*buttonCode*/, int /*x*/, int /*y*/, int /*delta*/) { return false; }
};

}  // namespace kavo
