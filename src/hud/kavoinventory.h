// TInventoryClass (script class TInventory): a grid of 3D items on the HUD.
//
// An inventory owns one grid node under `inventories` (scale 0.1, its own
// cube never drawn, hint "TInventory"); a mesh enters it through its
// InInventory property or MoveToInventory, which hang the mesh node under
// the grid node and append the mesh to `items` (see visual/kavomesh.h for
// the holder bookkeeping). The inventory layer is drawn in the camera's own
// frame, so the grid keeps its place on screen: its local +x runs to the
// left of the picture, +y up and +z into the screen.
//
// Layout puts the items into cells of XCount columns, rows along +y, and
// pages them by list position (Start). It runs only on its triggers (the
// property writes, mesh moves, construction), never while a game is being
// saved or loaded or while the grid is hidden. The screen rectangles, in
// contrast, are refreshed every frame by the inventory pass, and the mouse
// tests hand events to the items' own handlers, last item first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "scene/geometry.h"
#include "world/kavodummy.h"

namespace kavo {

namespace scene {
class GroupNode;
struct LayerLight;
}  // namespace scene

class TMeshClass;

class TInventoryClass : public TKavoMovableClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TInventoryClass(TKavoContext& ctx) : TKavoMovableClass(ctx) {}
  void Create() override;
  void DestroyObject() override;
  void WriteSave(const std::string& variableName, std::vector<std::string>& lines) override;
  void Script_Destroy(TKavo_ScriptFunctionData& d) override;

  // ---- state ----
  int32_t creationIndex = 0;  // position in the inventory list at creation
  int32_t XCount = 3, YCount = 3;
  float XOffset = 2.0f, YOffset = 2.0f;
  int32_t Start = 0;
  scene::ScreenRect screenRect;  // the grid node's extent on screen, refreshed every frame
  // The meshes in the inventory in the order they came. The meshes keep it
  // up to date as they move between holders, and a destroyed mesh leaves it.
  std::vector<TMeshClass*> items;

  int ID() const;
  scene::GroupNode* Grid() const;
  // The node the items hang under: the grid node.
  scene::Node* ItemsNode() const { return node_; }

  // Places the items into their cells (see the header comment).
  void LayOut();
  // Every item's screen rectangle through the active view, then the grid
  // node's through the window view.
  void RefreshScreenRects();
  // The mouse tests: the last visible item whose rectangle holds (x, y)
  // and that has a handler for the event gets it. Each returns whether an
  // item took the event.
  bool MouseMove(int x, int y);
  bool MouseDown(TMouseButton button, int x, int y);
  bool MouseUp(TMouseButton button, int x, int y);
  bool MouseWheel(int x, int y, int delta);

  void SetVisible(bool on);

  // ---- script methods ----
  void Script_SetPosition(TKavo_ScriptFunctionData& d);
  void Script_Has(TKavo_ScriptFunctionData& d);
  void Script_GetMeshID(TKavo_ScriptFunctionData& d);
  void Script_Empty(TKavo_ScriptFunctionData& d);

 private:
  enum class TEvent { Move, Down, Up, Wheel };
  bool TakeEvent(TEvent event, TMouseButton button, int x, int y, int delta);
};

// The inventory pass at `GLDirectOpenGL1`: every inventory refreshes its
// screen rectangles; then the light the layer is lit by: light 0 at
// `invlight`'s position with `invlightcolors`' colours, no attenuation.
void PrepareInventoryPass(TKavoContext& ctx, scene::LayerLight& light);

// The frame step's pointer test: while Game.MouseEnabled, every inventory
// tests the pointer for its items' move handlers; when one took it, the
// 2D-hover flag is set (and the hover picking of 3D objects waits).
void InventoriesPointerTest(TKavoContext& ctx);

}  // namespace kavo
