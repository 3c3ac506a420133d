// Rooms: the one room holder the engine owns (the current room's model,
// walk area, navigation cells and path lines) and TRoomClass, the script
// descriptions of rooms that Load makes current.
#pragma once

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "world/kavodummy.h"

namespace kavo {

namespace scene {
class StaticMeshNode;
class LineSetNode;
}  // namespace scene

// One triangle of a room's navigation mesh, linked to its neighbours.
struct TNavigationCell {
  glm::vec3 a, b, c;
  int links[3] = {-1, -1, -1};  // neighbour across edge ab, bc, ca
};

class TKavoRoom {
 public:
  explicit TKavoRoom(TKavoForm& form);
  ~TKavoRoom();

  const std::string& Name() const;  // the current room
  const std::string& ScriptFile() const;
  bool Loaded() const { return loaded; }
  bool HasModel() const;  // a room model is loaded
  scene::StaticMeshNode& Model();
  scene::StaticMeshNode& WalkArea();
  scene::LineSetNode& PathLines();

  // The 200 ms progress call of the current room.
  void Progress();

  std::string modelFile;
  std::vector<TNavigationCell> cells;
  bool loaded = false;
  bool progressEnabled = false;

 private:
  TKavoForm& form_;
};

}  // namespace kavo
