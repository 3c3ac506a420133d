// Rooms: the one room holder the engine owns (the current room's model,
// walk area, navigation cells and path lines) and TRoomClass, the script
// descriptions of rooms that Load makes current.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "world/kavodummy.h"
#include "world/navigation.h"

namespace kavo {

namespace scene {
class StaticMeshNode;
class LineSetNode;
}  // namespace scene

class TRoomClass;

// The current room's script file as the script loader names it
// ("scripts\\" + the room's script file), "" before a room has one.
std::string RoomScriptPath(const TKavoContext& ctx);

// Cells from a navigation mesh's raw triangles (three file vertices each, in
// file order). Triangles of zero area are dropped; the others keep their
// order and are numbered from `firstIndex` on. Links are left empty.
std::vector<TNavigationCell> BuildNavigationCells(const std::vector<glm::vec3>& fileTriangles, int firstIndex = 0);
// Links cells that share an edge (the same two corners, exactly equal, in
// either order). For each cell q in list order and each other cell r in list
// order, q's first still-unlinked side that is also a side of r is linked to
// r, and r's matching side to q; at most one link of q per r.
void LinkNavigationCells(std::vector<TNavigationCell>& cells);

// Whether a name may be a component name: empty, or letters, digits and "_"
// not starting with a digit.
bool IsValidComponentName(const std::string& name);

class TKavoRoom {
 public:
  explicit TKavoRoom(TKavoContext& ctx);
  ~TKavoRoom();
  TKavoRoom(const TKavoRoom&) = delete;
  TKavoRoom& operator=(const TKavoRoom&) = delete;

  const std::string& Name() const;  // the current room
  const std::string& ScriptFile() const;
  bool Loaded() const { return loaded; }
  bool HasModel() const;  // a room model is loaded
  scene::StaticMeshNode& Model();
  scene::StaticMeshNode& WalkArea();
  scene::LineSetNode& PathLines();
  // Whether a walk area was ever loaded (it then has its ray-test octree and
  // its collision body).
  bool HasWalkArea() const { return walkAreaBody_ != 0; }
  // The walk area's static body in the collision manager (0 before the first).
  uint32_t WalkAreaBody() const { return walkAreaBody_; }

  // Makes a room description the current room: unload event of the old
  // room, the files, the load event of the new one. Raises the engine error
  // of a bad name or a missing room model; the previous room then stays
  // current and the frame clock is as it was before the call.
  void Load(TRoomClass& room);
  // Loads a room's files: the model F, the walk area W (a copy of the model
  // when W equals F) and the navigation mesh N. `modelLoaded` runs once the
  // model is in place (or at once when F is empty). Returns false when a
  // missing texture of the room model cut the loading short.
  bool LoadFiles(const std::string& F, const std::string& W, const std::string& N,
                 const std::function<void()>& modelLoaded);

  // The 200 ms progress call of the current room.
  void Progress();

  // The route from start (on the floor plane, y = 0) to goal over the
  // navigation cells, shortened; [start, goal] without cells. The path
  // lines show it.
  std::vector<glm::vec3> PlanRoute(const glm::vec3& start, const glm::vec3& goal);

  std::string modelFile;
  TNavigation navigation;  // the cells and their locating grid
  const std::vector<TNavigationCell>& cells = navigation.Cells();
  bool loaded = false;
  bool progressEnabled = false;
  // The room description made current last (0: none yet).
  TObjectHandle currentRoom = 0;

 private:
  void LoadWalkArea(const std::string& W, bool copyOfModel);
  void LoadNavigationMesh(const std::string& N);
  void PlaceWalkAreaBody();

  TKavoContext& ctx_;
  bool current_ = false;  // a room has been made current
  uint32_t walkAreaBody_ = 0;
};

// TRoom: one room description. Its node is the holder's room model, so the
// position, scale and angle members of every TRoom move that one model.
class TRoomClass : public TKavoMovableClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TRoomClass(TKavoContext& ctx) : TKavoMovableClass(ctx) {}
  void Create() override;
  void DestroyObject() override;

  std::string Name, FileName, ScriptFile, WalkArea, NaviMesh;
  int32_t LoadCount = 0;

  void Script_Load(TKavo_ScriptFunctionData& d);
  void Script_test(TKavo_ScriptFunctionData& d);
  void Script_getval(TKavo_ScriptFunctionData& d);
  void Script_setval(TKavo_ScriptFunctionData& d);
};

}  // namespace kavo
