// The movable object base (every script object that owns a scene node), the
// mouse-event objects (four script-named mouse events and a walk point), the
// HUD base, and TDummyClass: an invisible box in the room that is a click
// target, a hover target and a trigger volume for actors.
#pragma once

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "platform/platform.h"
#include "script/scriptclass.h"

namespace kavo {

namespace scene {
class Node;
}

class TMenuClass;

class TKavoMovableClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TKavoMovableClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}
  void Create() override;
  void DestroyObject() override;
  void WriteSave(const std::string& variableName, std::vector<std::string>& lines) override;

  scene::Node* Node() const { return node_; }
  // The concrete class hands over its node (it stays the owner).
  void SetNode(scene::Node* node);

  // The visibility rule: the node is shown exactly when the stored flag is
  // true and the object's menu is shown. Raises the list error for a menu
  // index outside the menu list.
  virtual void ApplyVisibility();
  // Menu membership: a set, so repeating a value changes nothing.
  void SetInMenu(int32_t menu);
  // Resets the rotation and re-applies turn, roll, pitch in that order.
  void ReapplyAngles();

  float storedTurn = 0, storedPitch = 0, storedRoll = 0;
  std::string OnActorDistance;
  float ActorDistanceTrigger = 10.0f;
  int32_t ActorTriggerID = -1;
  std::string Hint;
  bool visibleFlag = true;
  int32_t InMenu = -1;

  // Script methods.
  virtual void Script_Destroy(TKavo_ScriptFunctionData& d);
  void Script_SetScale(TKavo_ScriptFunctionData& d);
  void Script_SetPosition(TKavo_ScriptFunctionData& d);
  void Script_SetRotation(TKavo_ScriptFunctionData& d);
  void Script_RunAnimation(TKavo_ScriptFunctionData& d);
  void Script_OnAnimation(TKavo_ScriptFunctionData& d);
  void Script_AbortAnimation(TKavo_ScriptFunctionData& d);
  void Script_MoveFirst(TKavo_ScriptFunctionData& d);
  void Script_MoveLast(TKavo_ScriptFunctionData& d);
  void Script_MoveUp(TKavo_ScriptFunctionData& d);
  void Script_MoveDown(TKavo_ScriptFunctionData& d);
  void Script_MoveToMenu(int64_t menu);
  void Script_PointTo(double x, double y, double z);
  void Script_SetRawRotations(TKavo_ScriptFunctionData& d);
  double Script_DistanceToPoint(double x, double y, double z);

 protected:
  scene::Node* node_ = nullptr;

 private:
  friend class TMenuClass;
  TMenuClass* menu_ = nullptr;  // whose member list holds the object, at menuSlot_
  size_t menuSlot_ = 0;
};

// Mouse button code passed to scripts: left 1, right 2, middle 4, other 0.
int ButtonCode(TMouseButton button);

class TKavoMouseEvents : public TKavoMovableClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TKavoMouseEvents(TKavoContext& ctx) : TKavoMovableClass(ctx) {}

  std::string OnMouseMove, OnMouseDown, OnMouseUp, OnMouseWheel;
  float WalkPointX = 0, WalkPointY = 0, WalkPointZ = 0;

  // The four mouse operations: each calls the object's script handler for
  // the event in the room script. Classes that react on their own (track
  // bars) override them.
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseWheel(TShiftState shift, int delta, int x, int y);

  void Script_SetWalkPoint(TKavo_ScriptFunctionData& d);

 private:
  void Raise(const std::string& handler, const TKavo_ScriptFunctionData& args);
};

class THudClass : public TKavoMouseEvents {
  KAVO_SCRIPT_CLASS()
 public:
  explicit THudClass(TKavoContext& ctx) : TKavoMouseEvents(ctx) {}
  // Frees the element's node (it owns it) and leaves the HUD list.
  void DestroyObject() override;
  float Alpha = 1.0f;
  int32_t mouseLeft = 0, mouseTop = 0, mouseRight = 0, mouseBottom = 0;
  void Script_SetMouseRect(int64_t left, int64_t top, int64_t right, int64_t bottom);
  // Sets the node's material up as every HUD element has it.
  void SetUpHudMaterial();
  // Whether the pointer at view pixel (x, y) is over the element. HUD
  // sprites and texts each have their own rectangle; the base has none.
  virtual bool HitTest(int /*x*/, int /*y*/) const { return false; }
};

class TDummyClass : public TKavoMouseEvents {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TDummyClass(TKavoContext& ctx) : TKavoMouseEvents(ctx) {}
  void Create() override;
  void DestroyObject() override;
  void Script_Destroy(TKavo_ScriptFunctionData& d) override;
  // Whether a point lies inside the dummy's box (edge 1, scaled and turned with it).
  bool Contains(const glm::vec3& absolutePoint) const;
};

// Runs the actor-distance trigger for one actor (its ID and the absolute
// position of its model pivot) over every candidate: actors, dummies, meshes.
void RunActorDistanceTrigger(TKavoContext& ctx, int actorID, const glm::vec3& actorPoint);


}  // namespace kavo
