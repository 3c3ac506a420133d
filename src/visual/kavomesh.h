// TMeshClass (script class TMesh): a static model placed in the world, which
// can lie in the room, sit in an inventory, be held in an actor's hand or
// ride on another mesh.
//
// Holders. Exactly one holder applies at a time:
//   room        node under `scene` (`sceneshadows` while ReceiveShadows is
//               true); in-room flag true, InInventory -1, InMeshAsChild -1,
//               no hand record. Every way back to the room restores all of it.
//   inventory i node under inventory i's node; InInventory = i, the mesh is
//               in that inventory's item list (and in no other).
//   actor hand  node under one of the actor's hand nodes; hand record set.
//   mesh m      node under mesh m's node; InMeshAsChild = m. A mesh never
//               rides on itself or on a mesh it carries.
// EnableTransparency moves the node under `transparent` without touching
// the bookkeeping.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <glm/glm.hpp>

#include "scene/collision.h"
#include "scene/geometry.h"
#include "world/kavodummy.h"

namespace kavo {

namespace scene {
class StaticMeshNode;
class MaterialLibrary;
}  // namespace scene

// What meshes keep per engine beside the mesh list: the shadow occluders
// (the nodes the shadow volume will draw shadows of) and the inventories'
// item lists, keyed by the inventory object's handle.
struct TMeshBookkeeping {
  std::vector<scene::Node*> occluders;
  std::vector<std::pair<TObjectHandle, std::vector<TKavo_ScriptClass*>>> itemLists;
};

TMeshBookkeeping& MeshBookkeeping(TKavoForm& form);
// The item list of an inventory (made empty on first use). Lists of
// inventories that no longer exist are dropped on the way.
std::vector<TKavo_ScriptClass*>& InventoryItems(TKavoForm& form, const TKavo_ScriptClass& inventory);

// Replaces a material's texture with a picture file (disk or archive entry):
// RGBA, alpha as the picture stores it, modulated with the material colour,
// enabled. An index at or past the end does nothing; a negative one raises
// the list-index error; an unreadable picture raises the texture error.
void ChangeMaterialTexture(TKavoForm& form, scene::MaterialLibrary& library, long long index,
                           const std::string& fileName);

// Moves the collision bodies of meshes whose nodes moved since the last
// call; the frame step runs it before the collision manager steps.
void SyncMeshCollisions(TKavoForm& form);

class TMeshClass : public TKavoMouseEvents {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TMeshClass(TKavoForm& form) : TKavoMouseEvents(form) {}
  void Create() override;
  void DestroyObject() override;
  void WriteSave(const std::string& variableName, std::vector<std::string>& lines) override;
  void Script_Destroy(TKavo_ScriptFunctionData& d) override;

  scene::StaticMeshNode* MeshNode() const;
  int ID() const;

  // ---- state ----
  bool UseBump = false;
  bool CastShadows = false;
  bool ReceiveShadows = false;
  bool inRoom = true;
  bool Collisions = false;
  int32_t InInventory = -1;
  int32_t InMeshAsChild = -1;
  scene::ScreenRect screenRect;
  std::string handRecord;  // "" or the actor ID, followed by ",1" for the first hand

  // ---- operations behind the script members ----
  void Load(const std::string& fileName);
  void SetCastShadows(bool on);
  void SetReceiveShadows(bool on);
  void SetCollisions(bool on);
  void SetVisible(bool on);
  void SetInInventory(int64_t n);
  void SetInMeshAsChild(int64_t n);
  // Back to the room holder from wherever the mesh is.
  void ReturnToRoom();
  // Refreshes the screen rectangle from the node's bounds (children
  // included) through the active view; the inventory pass calls it.
  void UpdateScreenRect();
  scene::BodyId CollisionBody() const { return body_; }
  // The node the mesh lies under while its holder is the room.
  scene::Node* RoomParent() const;

  // ---- script methods ----
  void Script_Load(TKavo_ScriptFunctionData& d);
  void Script_MoveToActorsHand(TKavo_ScriptFunctionData& d);
  void Script_MoveToMesh(TKavo_ScriptFunctionData& d);
  void Script_MoveToInventory(TKavo_ScriptFunctionData& d);
  void Script_MoveToRoom(TKavo_ScriptFunctionData& d);
  void Script_EnableTransparency(TKavo_ScriptFunctionData& d);
  void Script_ChangeMaterial(TKavo_ScriptFunctionData& d);
  void Script_ChangeTexture(TKavo_ScriptFunctionData& d);
  void Script_HideSubObject(TKavo_ScriptFunctionData& d);
  void Script_ShowSubObject(TKavo_ScriptFunctionData& d);
  void Script_GetSubObjectID(TKavo_ScriptFunctionData& d);
  void Script_ApplyShader(TKavo_ScriptFunctionData& d);
  void Script_UnApplyShader(TKavo_ScriptFunctionData& d);

  // ---- hooks for the classes that hold meshes ----
  // An actor's hand node (first or second hand bone); null while actors
  // have none, and the mesh then waits under `scene`.
  static inline std::function<scene::Node*(TKavo_ScriptClass& actor, bool firstHand)> actorHandNode;
  // An inventory's node; null or unset: the `inventories` layer.
  static inline std::function<scene::Node*(TKavo_ScriptClass& inventory)> inventoryNode;
  // Lays an inventory's items out again.
  static inline std::function<void(TKavo_ScriptClass& inventory)> layOutInventory;
  // Attaches shader `shader` to the named material / takes its shader off.
  static inline std::function<void(TKavoForm&, const std::string& material, int64_t shader)> applyShader;
  static inline std::function<void(TKavoForm&, const std::string& material)> removeShader;

 private:
  TMeshClass* CarrierAt(int64_t id) const;  // list-index error when out of range
  // Whether `target` is this mesh's node or lies below it.
  bool CarriesNode(const scene::Node* target) const;
  void LeaveInventoryLists(bool layOut);
  scene::Node* InventoryNodeOf(TKavo_ScriptClass& inventory) const;
  void LayOut(TKavo_ScriptClass& inventory) const;
  void MoveNode(scene::Node& parent);

  scene::BodyId body_ = scene::kNoBody;
  glm::mat4 bodyMatrix_{1.0f};
  friend void SyncMeshCollisions(TKavoForm& form);
};

}  // namespace kavo
