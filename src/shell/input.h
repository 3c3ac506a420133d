// Input dispatch: which engine object or script function receives each
// mouse and key event, in which order the candidates are tried, what counts
// as a hit and when an event stops travelling. Also the hover picking run
// by the hover timer.
//
// The candidate order lives here, in one place: a captured track bar, the
// bindings, the inventories, HUD texts, HUD sprites, actors, meshes, then
// the room (dummies' boxes, walk clicks, the room's own functions). Classes
// that arrive later plug in through the hooks below.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "platform/platform.h"
#include "scene/geometry.h"
#include "script/scriptclass.h"

namespace kavo {

class TKavoForm;
class TKavoMouseEvents;
class TDummyClass;

class TKavoInput {
 public:
  explicit TKavoInput(TKavoForm& form) : form_(form) {}

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

  TShiftState lastShift = 0;

  // Hooks for the classes that join the dispatch later.
  std::function<void(TMouseButton, TShiftState, int, int)> capturedDown, capturedUp;  // captured track bar
  std::function<void(TShiftState, int, int)> capturedMove;
  std::function<void(TShiftState, int, int, int)> capturedWheel;
  std::function<bool(TMouseButton, int, int)> inventoryDown, inventoryUp;
  std::function<bool(int, int, int)> inventoryWheel;
  std::function<bool(const TKavoMouseEvents&, int, int)> hudHitTest;  // HUD texts and sprites
  std::function<void(const glm::vec3&)> walkClick;                   // actors with MouseControl
  std::function<void()> toggleActorSpheres;

  enum class Event { Down, Up, Move, Wheel };

 private:
  bool Halted() const;
  void UpdatePointer(int x, int y);
  void CallBindings(int code, bool release, bool anyRelease, const TKavo_ScriptFunctionData& args);
  TKavoMouseEvents* FirstHit(const std::vector<TKavo_ScriptClass*>& list, Event e, const scene::Ray& ray);
  std::vector<TObjectHandle> HudHits(const std::vector<TKavo_ScriptClass*>& list, Event e, int x, int y);
  bool DeliverHud(const std::vector<TKavo_ScriptClass*>& list, Event e, int x, int y, bool all, TMouseButton b,
                  TShiftState s, int delta);
  TDummyClass* MouseTarget();
  void WalkClick(const glm::vec3& point, const glm::vec3& normal);
  bool RoomPress(const scene::Ray& ray, TShiftState shift, const std::function<void(TDummyClass&)>& deliver);
  bool MoveOverHud(const std::vector<TKavo_ScriptClass*>& list, TShiftState shift, int x, int y);
  bool RoomReady() const;
  void CallRoom(const std::string& event, const TKavo_ScriptFunctionData& args);

  TKavoForm& form_;
};

}  // namespace kavo
