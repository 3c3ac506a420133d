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

#include <optional>
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
class View;
}  // namespace scene

class TInventoryClass;

// Replaces a material's texture with a picture file (disk or archive entry):
// RGBA, alpha as the picture stores it, modulated with the material colour,
// enabled. An index at or past the end does nothing; a negative one raises
// the list-index error; an unreadable picture raises the texture error.
void ChangeMaterialTexture(TKavoContext& ctx, scene::MaterialLibrary& library, long long index,
                           const std::string& fileName);

// What measuring nodes on screen needs of a view, worked out once for many
// nodes: the view-projection matrix, the viewport and the camera's frame.
struct TScreenProjection {
  explicit TScreenProjection(const scene::View& view);
  // The matrix the view draws a node with (View::DrawnMatrix).
  glm::mat4 DrawnMatrix(const scene::Node& node) const;
  glm::mat4 viewProjection{1.0f};
  glm::ivec4 viewport{0};
  glm::mat4 cameraFrame{1.0f};
};

// The axis-aligned bounds, in absolute coordinates, of a node's model and
// the models below it; `drawn` is the node's matrix as the view draws it.
// A node without geometry measures as the point at its origin.
void NodeBounds(const scene::Node& node, const glm::mat4& drawn, glm::vec3& lo, glm::vec3& hi);
// The screen rectangle of absolute bounds: their eight corners projected to
// view pixels (y down). False, with the rectangle untouched, when a corner
// lies on or behind the eye plane or a value is not finite.
bool ProjectBoundsToView(const glm::vec3& lo, const glm::vec3& hi, const TScreenProjection& projection,
                         scene::ScreenRect& rect);
// Both for one node through a view.
bool ProjectNodeToScreen(const scene::Node& node, const scene::View& view, scene::ScreenRect& rect);

// Moves the collision bodies of meshes whose nodes moved since the last
// call; the frame step runs it before the collision manager steps.
void SyncMeshCollisions(TKavoContext& ctx);

class TMeshClass : public TKavoMouseEvents {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TMeshClass(TKavoContext& ctx) : TKavoMouseEvents(ctx) {}
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
  // included) through the active view; the inventory pass calls the second
  // form with the view and the parent's drawn matrix worked out once, and
  // gets the bounds back. A failure is logged and keeps the rectangle.
  void UpdateScreenRect();
  bool UpdateScreenRect(const TScreenProjection& projection, const glm::mat4& parentDrawn, glm::vec3& lo,
                        glm::vec3& hi);
  scene::BodyId CollisionBody() const { return body_; }
  // The node the mesh lies under while its holder is the room.
  scene::Node* RoomParent() const;
  // The materials of the face groups ApplyShader works on: every group of
  // every object (a < 0), every group of object a (b < 0), or group b of
  // object a. Raises the list-index error for a missing object or group.
  std::vector<std::string> FaceGroupMaterials(int64_t a, int64_t b) const;

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
  void Script_ApplyShader(int64_t shader, std::optional<int64_t> object, std::optional<int64_t> group);
  void Script_UnApplyShader(TKavo_ScriptFunctionData& d);

 private:
  TMeshClass* CarrierAt(int64_t id) const;  // list-index error when out of range
  // Sets InMeshAsChild, keeping the list of meshes that name a carrier.
  void SetCarrier(int32_t id);
  // Whether `target` is this mesh's node or lies below it.
  bool CarriesNode(const scene::Node* target) const;
  void LeaveInventoryLists(bool layOut);
  scene::Node* InventoryNodeOf(TInventoryClass& inventory) const;
  void MoveNode(scene::Node& parent);

  // What the screen rectangle was last worked out from, and its bounds.
  struct TRectInputs {
    glm::mat4 parentDrawn, viewProjection;
    glm::ivec4 viewport;
    glm::vec3 position, direction, up, scale;
    uint64_t structure;
  } rectInputs_{};
  bool rectValid_ = false, rectOk_ = false;
  glm::vec3 rectLo_{0.0f}, rectHi_{0.0f};
  // The variable name of the latest save of this mesh (for the order of
  // the items' lines in a save).
  std::string savedAs_;
  scene::BodyId body_ = scene::kNoBody;
  glm::mat4 bodyMatrix_{1.0f};
  friend void SyncMeshCollisions(TKavoContext& ctx);
};

}  // namespace kavo
