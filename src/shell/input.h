// Input dispatch: which engine object or script function receives each
// mouse and key event, in which order the candidates are tried, what counts
// as a hit and when an event stops travelling. Also the hover picking run
// by the hover timer.
//
// Mouse down, up and wheel travel one ordered table of layers (input.cpp):
// the captured track bar, the bindings, the inventories, HUD texts, HUD
// sprites, actors, meshes, dummies and the room, with the two gates
// (`Game.MouseEnabled`, `Game.DisableScene`) between them. Each layer
// offers the event to its candidates and says whether it stops there; a
// class that joins the dispatch adds or fills one layer. Mouse move and the
// hover picking have their own, shorter walks.
#pragma once

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "platform/platform.h"
#include "scene/geometry.h"
#include "script/scriptclass.h"

namespace kavo {

class TKavoForm;
struct TKavoContext;
class TKavoMouseEvents;
class TDummyClass;
class TRegistryBase;

// One mouse press, release or wheel turn on its way through the layers.
struct TPointerEvent {
  enum class Kind : uint8_t { Down, Up, Wheel };
  Kind kind = Kind::Down;
  TMouseButton button = TMouseButton::Left;
  TShiftState shift = 0;
  int x = 0, y = 0;  // view pixels of the event
  int delta = 0;     // wheel delta
  scene::Ray ray;    // the pointer ray, once the scene gate built it
  bool handled = false;  // a dummy took the event (the room's function is then not called)
};

class TKavoInput {
 public:
  explicit TKavoInput(TKavoForm& form);

  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseWheel(TShiftState shift, int delta, int x, int y);
  void KeyUp(int key, TShiftState shift);
  void HoverPicking();
  void Dispatch(const TInputEvent& e);
  void SetMouseTargetMarkers(bool on);

  // The pointer ray: from MainCamera through (Game.MouseX, view height - Game.MouseY).
  scene::Ray PointerRay() const;

  // One layer of the dispatch of presses, releases and wheel turns: true
  // when the event stops there.
  struct TLayer {
    const char* name;
    bool (TKavoInput::*offer)(TPointerEvent&);
  };
  // The layers in the order an event travels them.
  static const std::vector<TLayer>& Layers();

 private:
  void Walk(TPointerEvent e);

  // The layers.
  bool CapturedBarLayer(TPointerEvent& e);
  bool BindingsLayer(TPointerEvent& e);
  bool MouseEnabledGate(TPointerEvent& e);
  bool InventoriesLayer(TPointerEvent& e);
  bool HudTextsLayer(TPointerEvent& e);
  bool HudSpritesLayer(TPointerEvent& e);
  bool SceneGate(TPointerEvent& e);
  bool ActorsLayer(TPointerEvent& e);
  bool MeshesLayer(TPointerEvent& e);
  bool DummiesLayer(TPointerEvent& e);
  bool RoomLayer(TPointerEvent& e);

  bool Halted() const;
  void UpdatePointer(int x, int y);
  void CallBindings(int code, bool release, bool anyRelease, const TKavo_ScriptFunctionData& args);
  TKavoMouseEvents* FirstHit(const TRegistryBase& list, TPointerEvent::Kind e, const scene::Ray& ray);
  std::vector<TObjectHandle> HudHits(const TRegistryBase& list, int handler, int x, int y);
  bool DeliverHud(const TRegistryBase& list, const TPointerEvent& e, int x, int y, bool all);
  TDummyClass* MouseTarget();
  void WalkClick(const glm::vec3& point, const glm::vec3& normal);
  bool MoveOverHud(const TRegistryBase& list, TShiftState shift, int x, int y);
  bool RoomReady() const;
  void CallRoom(const std::string& event, const TKavo_ScriptFunctionData& args);

  TKavoForm& form_;
  TKavoContext& ctx_;
};

}  // namespace kavo
