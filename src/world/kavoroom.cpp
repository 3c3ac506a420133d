#include "world/kavoroom.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "core/errors.h"
#include "core/log.h"
#include "game/kavogame.h"
#include "platform/files.h"
#include "scene/collision.h"
#include "scene/geometry.h"
#include "scene/scenetree.h"
#include "scene/staticmesh.h"
#include "script/context.h"
#include "script/environment.h"
#include "world/kavoactor.h"
#include "world/world_classes.h"

namespace kavo {

// ---------------------------------------------------------------- navigation cells

namespace {

glm::vec3 FloorSpace(const glm::vec3& v) { return {v.x, v.z, -v.y}; }

bool ZeroArea(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c) {
  // In double, so that tiny but real triangles do not round to nothing.
  const glm::dvec3 u = glm::dvec3(b) - glm::dvec3(a), w = glm::dvec3(c) - glm::dvec3(a);
  const glm::dvec3 n = glm::cross(u, w);
  return n.x == 0.0 && n.y == 0.0 && n.z == 0.0;
}

// The corners of side i of a cell.
void Side(const TNavigationCell& c, int i, glm::vec3& p, glm::vec3& q) {
  p = c.Vertex(i);
  q = c.Vertex((i + 1) % 3);
}

bool SameEdge(const glm::vec3& p0, const glm::vec3& p1, const glm::vec3& q0, const glm::vec3& q1) {
  return (p0 == q0 && p1 == q1) || (p0 == q1 && p1 == q0);
}

// A hashable form of an undirected edge. Coordinates compare as numbers, so
// -0 and +0 are made one key; an edge with a NaN corner equals no edge and
// gets no key at all.
struct EdgeKey {
  uint32_t bits[6];
  bool operator==(const EdgeKey& o) const { return std::memcmp(bits, o.bits, sizeof(bits)) == 0; }
};
struct EdgeKeyHash {
  size_t operator()(const EdgeKey& k) const {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t b : k.bits) h = (h ^ b) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

bool PointBits(const glm::vec3& p, uint32_t* out) {
  for (int i = 0; i < 3; ++i) {
    if (std::isnan(p[i])) return false;
    float f = p[i] == 0.0f ? 0.0f : p[i];
    std::memcpy(&out[i], &f, 4);
  }
  return true;
}

bool MakeEdgeKey(const glm::vec3& p, const glm::vec3& q, EdgeKey& key) {
  uint32_t a[3], b[3];
  if (!PointBits(p, a) || !PointBits(q, b)) return false;
  const bool swap = std::lexicographical_compare(b, b + 3, a, a + 3);
  std::memcpy(key.bits, swap ? b : a, 12);
  std::memcpy(key.bits + 3, swap ? a : b, 12);
  return true;
}

}  // namespace

std::vector<TNavigationCell> BuildNavigationCells(const std::vector<glm::vec3>& tris, int firstIndex) {
  std::vector<TNavigationCell> cells;
  cells.reserve(tris.size() / 3);
  for (size_t t = 0; t + 2 < tris.size(); t += 3) {
    TNavigationCell c;
    c.a = FloorSpace(tris[t]);
    c.b = FloorSpace(tris[t + 1]);
    c.c = FloorSpace(tris[t + 2]);
    if (ZeroArea(c.a, c.b, c.c)) continue;
    c.index = firstIndex + static_cast<int>(cells.size());
    for (int i = 0; i < 3; ++i) c.wallMidpoints[i] = (c.Vertex(i) + c.Vertex((i + 1) % 3)) * 0.5f;
    for (int i = 0; i < 3; ++i) c.wallDistances[i] = glm::length(c.wallMidpoints[i] - c.wallMidpoints[(i + 1) % 3]);
    c.centre = glm::vec3((c.a.x + c.b.x + c.c.x) / 3.0f, (c.a.y + c.b.y + c.c.y) / 3.0f,
                         (c.a.z + c.b.z + c.c.z) / 3.0f);
    cells.push_back(c);
  }
  return cells;
}

void LinkNavigationCells(std::vector<TNavigationCell>& cells) {
  // Only cells sharing an edge can link, so each cell q meets the cells of
  // its three edges (found through a hash of the edges) in list order: the
  // same outcome as meeting every cell of the list in order.
  std::unordered_map<EdgeKey, std::vector<int>, EdgeKeyHash> byEdge;
  byEdge.reserve(cells.size() * 2);
  for (size_t q = 0; q < cells.size(); ++q)
    for (int i = 0; i < 3; ++i) {
      glm::vec3 p0, p1;
      Side(cells[q], i, p0, p1);
      EdgeKey key;
      if (!MakeEdgeKey(p0, p1, key)) continue;
      auto& list = byEdge[key];
      if (list.empty() || list.back() != static_cast<int>(q)) list.push_back(static_cast<int>(q));
    }

  // A cell r can link to q only while it shares an edge with one of q's
  // still-unlinked sides, and then it always links one of them. So q walks
  // the (ascending) cell lists of its unlinked sides together, smallest
  // cell first, and each cell it stops at makes a link: at most three stops
  // per cell, however many cells share an edge.
  for (size_t qi = 0; qi < cells.size(); ++qi) {
    TNavigationCell& q = cells[qi];
    const std::vector<int>* lists[3] = {nullptr, nullptr, nullptr};
    size_t cursor[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
      glm::vec3 p0, p1;
      Side(q, i, p0, p1);
      EdgeKey key;
      if (!MakeEdgeKey(p0, p1, key)) continue;
      auto it = byEdge.find(key);
      if (it != byEdge.end()) lists[i] = &it->second;
    }
    for (;;) {
      int r = -1;
      for (int i = 0; i < 3; ++i) {
        if (!lists[i] || q.links[i] != -1) continue;
        const std::vector<int>& l = *lists[i];
        while (cursor[i] < l.size() && l[cursor[i]] == static_cast<int>(qi)) ++cursor[i];
        if (cursor[i] < l.size() && (r < 0 || l[cursor[i]] < r)) r = l[cursor[i]];
      }
      if (r < 0) break;
      TNavigationCell& other = cells[r];
      for (int i = 0; i < 3; ++i) {
        if (q.links[i] != -1) continue;
        glm::vec3 p0, p1;
        Side(q, i, p0, p1);
        int side = -1;
        for (int j = 0; j < 3 && side < 0; ++j) {
          glm::vec3 r0, r1;
          Side(other, j, r0, r1);
          if (SameEdge(p0, p1, r0, r1)) side = j;
        }
        if (side < 0) continue;
        other.links[side] = static_cast<int>(qi);
        q.links[i] = r;
        break;
      }
      for (int i = 0; i < 3; ++i)
        if (lists[i])
          while (cursor[i] < lists[i]->size() && (*lists[i])[cursor[i]] <= r) ++cursor[i];
    }
  }
}

bool IsValidComponentName(const std::string& name) {
  if (name.empty()) return true;
  auto letter = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || ch == '_'; };
  if (!letter(name[0])) return false;
  for (char ch : name)
    if (!letter(ch) && !(ch >= '0' && ch <= '9')) return false;
  return true;
}

// ---------------------------------------------------------------- the holder

TKavoRoom::TKavoRoom(TKavoContext& ctx) : ctx_(ctx) {}
TKavoRoom::~TKavoRoom() = default;

const std::string& TKavoRoom::Name() const { return ctx_.roomName; }
const std::string& TKavoRoom::ScriptFile() const { return ctx_.roomScriptFile; }
bool TKavoRoom::HasModel() const { return !ctx_.scene->roomModel->Data().objects.empty(); }
scene::StaticMeshNode& TKavoRoom::Model() { return *ctx_.scene->roomModel; }
scene::StaticMeshNode& TKavoRoom::WalkArea() { return *ctx_.scene->walkArea; }
scene::LineSetNode& TKavoRoom::PathLines() { return *ctx_.scene->pathLines; }

std::vector<glm::vec3> TKavoRoom::PlanRoute(const glm::vec3& start, const glm::vec3& goal) {
  scene::LineSetNode& lines = PathLines();
  lines.points.clear();
  std::vector<glm::vec3> nodes = navigation.PlanRoute(start, goal);
  lines.points = nodes;
  return nodes;
}

void TKavoRoom::Progress() {
  if (!loaded || ctx_.halted || !progressEnabled || ScriptFile().empty()) return;
  if (!ctx_.scene->renderable->Visible() || !ctx_.scene->roomModel->Visible()) return;
  ctx_.LoadRoomScript();
  if (CallEvent(ctx_, "", "on" + Name() + "Progress") != 0) progressEnabled = false;
}

std::string RoomScriptPath(const TKavoContext& ctx) {
  return ctx.roomScriptFile.empty() ? std::string() : "scripts\\" + ctx.roomScriptFile;
}

void TKavoRoom::Load(TRoomClass& room) {
  // The handlers below may change or destroy the description: work on a copy.
  const std::string name = room.Name, F = room.FileName, W = room.WalkArea, N = room.NaviMesh,
                    script = room.ScriptFile;
  const TObjectHandle handle = room.Handle();
  const bool clockWasOn = ctx_.clock->Enabled();
  ctx_.clock->SetEnabled(false);
  try {
    // A bad name fails the load before anything of the current room changes.
    if (!IsValidComponentName(name)) throw EKavoError("'" + name + "' is not a valid component name");

    if (current_) {
      if (!ScriptFile().empty()) {
        KavoLog("Room Manager: Unloading Room (" + Name() + ")");
        if (Name() != name) {
          ctx_.LoadRoomScript();
          CallEvent(ctx_, "", "on" + Name() + "Unload");
          if (ctx_.halted) return;
        }
      }
      // Also after a room without a script: the next load event compares
      // against the room that really was current.
      if (ctx_.game) ctx_.game->PreviousRoom = Name();
    }

    if (auto* d = ResolveAs<TRoomClass>(ctx_.handles, handle)) d->SetNode(&Model());
    KavoLog("Room Manager: Loading Room (" + name + ")");

    // The new room becomes current once its model is in place.
    LoadFiles(F, W, N, [&] {
      ctx_.roomName = name;
      modelFile = F;
      ctx_.roomScriptFile = script;
      current_ = true;
      currentRoom = handle;
    });
  } catch (...) {
    ctx_.clock->SetEnabled(clockWasOn);
    throw;
  }
  if (ctx_.halted) return;

  // Actors are made with inactive bodies; a loaded room switches them on.
  for (TActorClass* actor : ctx_.actors) actor->ActivateBody();
  if (auto* d = ResolveAs<TRoomClass>(ctx_.handles, handle)) ++d->LoadCount;
  loaded = false;
  const std::string previous = ctx_.game ? ctx_.game->PreviousRoom : std::string();
  if (previous != Name() && !ScriptFile().empty()) {
    ctx_.LoadRoomScript();
    CallEvent(ctx_, "", "on" + name + "Load");
    progressEnabled = true;
  }
  if (ScriptFile().empty() && ctx_.DebugMode())
    KavoLog("Room Manager: Warning, room script file was not defined when loading room (" + name + ")");
  loaded = true;
  ctx_.clock->SetEnabled(true);
}

namespace {

// Loads a model into a node from the data folder or an archive. A file that
// is not there raises `missing`. The file's folder becomes current for a
// disk file, so the model's textures are found beside it.
void LoadNodeFrom(TKavoContext& ctx, scene::StaticMeshNode& node, const std::string& fileName, const EKavoError& missing) {
  const TKavoFileLocation loc = ctx.files.Resolve(ToBackslashes(fileName));
  if (loc.ResolvedPath.empty()) throw missing;
  if (!loc.ArchiveName.empty()) {
    std::string bytes, error;
    if (!ctx.files.Read(loc, bytes, &error)) throw EKavoError(error, missing.Number());
    node.LoadFromBytes(ToSlashes(loc.ResolvedPath), bytes);
    return;
  }
  const std::string bare = ctx.files.EnterFolderOf(loc);
  if (bare.empty() || !Files().FileExists(bare)) throw missing;
  node.LoadFromFile(bare);
}

struct ClearOnExit {
  std::string& s;
  ~ClearOnExit() { s.clear(); }
};

}  // namespace

bool TKavoRoom::LoadFiles(const std::string& F, const std::string& W, const std::string& N,
                          const std::function<void()>& modelLoaded) {
  ClearOnExit clear{ctx_.modelBeingLoaded};
  const bool walkIsModel = !F.empty() && W == F;

  if (F.empty()) {
    if (modelLoaded) modelLoaded();
  } else {
    scene::StaticMeshNode& model = Model();
    ctx_.modelBeingLoaded = F;
    struct Loading {
      bool& flag;
      explicit Loading(bool& f) : flag(f) { flag = true; }
      ~Loading() { flag = false; }
    };
    try {
      Loading loading(ctx_.roomModelLoading);
      LoadNodeFrom(ctx_, model, F, EKavoError(F, kErrRoomModel));
    } catch (const EKavoTextureMissing&) {
      // The model is current as far as it came; walk area and navigation
      // mesh stay as they were.
      if (modelLoaded) modelLoaded();
      ctx_.ShowFatalError("Room Manager: Couldn't find texture for room model " + Name(), kErrTexture);
      return false;
    } catch (const EKavoError& e) {
      if (e.Number() != kErrTexture) throw;
      // A texture that is there but cannot be decoded: the reason goes to
      // the log and into the dialog.
      if (modelLoaded) modelLoaded();
      const std::string line = "Room Manager: Couldn't load texture for room model " + Name() + ": " + e.what();
      KavoLog(line);
      ctx_.halted = true;
      ctx_.ShowFatalError(line, kErrTexture);
      return false;
    }
    model.SetUseMeshMaterials(true);
    navigation.SetCells({});
    model.Show();
    if (!scene::BuildTangentSpace(model.MutableData()))
      KavoLog("Unable to build TangentSpace (normals and binormals) for room model. Probably a meshobject with no "
              "UV coordinates in " + F);
    model.StructureChanged();
    model.BuildOctree(3);
    if (modelLoaded) modelLoaded();
  }

  if (walkIsModel)
    LoadWalkArea(F, true);
  else if (!W.empty())
    LoadWalkArea(W, false);
  if (!N.empty()) LoadNavigationMesh(N);
  return true;
}

void TKavoRoom::PlaceWalkAreaBody() {
  scene::StaticMeshNode& walk = WalkArea();
  if (walkAreaBody_ != 0) ctx_.collisions->RemoveBody(walkAreaBody_);
  walkAreaBody_ = ctx_.collisions->AddStaticBody(walk.Data(), walk.AbsoluteMatrix(), scene::WalkAreaBody(), 3);
}

void TKavoRoom::LoadWalkArea(const std::string& W, bool copyOfModel) {
  scene::StaticMeshNode& walk = WalkArea();
  try {
    walk.SetUseMeshMaterials(false);
    ctx_.modelBeingLoaded = W;
    if (copyOfModel) {
      scene::MeshData copy;
      copy.objects = Model().Data().objects;
      walk.SetMeshData(std::move(copy));
    } else {
      LoadNodeFrom(ctx_, walk, W, EKavoError("File not found", kErrWalkArea));
    }
    walk.Hide();
    walk.StructureChanged();
    walk.BuildOctree(3);
    PlaceWalkAreaBody();
  } catch (const std::exception& e) {
    if (ctx_.halted) throw;
    KavoLog("Unable to load walkarea " + W + " " + e.what());
    if (!HasWalkArea()) throw EKavoError(W, kErrWalkArea);
  }
}

void TKavoRoom::LoadNavigationMesh(const std::string& N) {
  try {
    scene::StaticMeshNode mesh("navimesh");  // a private material library: no texture checks
    mesh.SetUseMeshMaterials(false);
    LoadNodeFrom(ctx_, mesh, N, EKavoError("File not found", kErrNaviMesh));
    PathLines().Hide();
    PathLines().lineWidth = 2.0f;
    // A navigation mesh replaces the cells of the room loaded before, also
    // when the same room is loaded again without a model of its own.
    std::vector<TNavigationCell> built = BuildNavigationCells(scene::ExtractTriangles(mesh.Data()));
    LinkNavigationCells(built);
    navigation.SetCells(std::move(built));
  } catch (const std::exception& e) {
    if (ctx_.halted) throw;
    KavoLog("Unable to load navigation mesh " + N + " " + e.what());
    if (!HasWalkArea()) throw EKavoError(N, kErrNaviMesh);
  }
}

// ---------------------------------------------------------------- TRoom

const TScriptClassInfo& TRoomClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TRoomClass", &TKavoMovableClass::StaticInfo(), MakeScriptObject<TRoomClass>);
    using T = TRoomClass;
    using P = TPropType;
    TClassBuilder<T>(i)
        .Registry([](TKavoContext& c) -> TRegistryBase& { return c.rooms; }, false)
        .Field("Name", P::ShortString, &T::Name)
        .Field("FileName", P::ShortString, &T::FileName)
        .Field("ScriptFile", P::ShortString, &T::ScriptFile)
        .Field("WalkArea", P::ShortString, &T::WalkArea)
        .Field("NaviMesh", P::ShortString, &T::NaviMesh)
        .Field("LoadCount", P::Integer, &T::LoadCount)
        .Method("Load", &T::Script_Load, "")
        .Method("test", &T::Script_test, "")
        .Method("getval", &T::Script_getval, "")
        .Method("setval", &T::Script_setval, "[number, number]");
    return i;
  }();
  return info;
}

void TRoomClass::Create() {
  TKavoMovableClass::Create();
  SetNode(Ctx.scene->roomModel);
}

void TRoomClass::DestroyObject() {
  node_ = nullptr;  // the room model belongs to the holder
  TKavoMovableClass::DestroyObject();
}

void TRoomClass::Script_Load(TKavo_ScriptFunctionData&) { Ctx.room->Load(*this); }

namespace {
// The development stubs write to standard output; without one the write
// fails as a run-time error.
void StdoutLine(const std::string& line) {
  if (std::fputs((line + "\n").c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
    const int code = errno != 0 ? errno : 105;
    throw EKavoError("I/O error " + std::to_string(code));
  }
}
}  // namespace

void TRoomClass::Script_test(TKavo_ScriptFunctionData&) { StdoutLine(Name); }

void TRoomClass::Script_getval(TKavo_ScriptFunctionData& d) {
  StdoutLine("getval()");
  d.Result = TVariant(int32_t(5));
}

void TRoomClass::Script_setval(TKavo_ScriptFunctionData& d) {
  StdoutLine("setval() multiparameter");
  if (d.Args.size() >= 2) {
    StdoutLine(std::to_string(d.Args[0].ToRoundedInt()));
    StdoutLine(std::to_string(d.Args[1].ToRoundedInt()));
  }
}

}  // namespace kavo
