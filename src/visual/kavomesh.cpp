#include "visual/kavomesh.h"

#include <algorithm>

#include "core/log.h"
#include "game/kavogame.h"
#include "hud/kavoinventory.h"
#include "platform/files.h"
#include "scene/scenetree.h"
#include "scene/staticmesh.h"
#include "scene/view.h"
#include "script/binding.h"
#include "script/context.h"
#include "visual/visual_classes.h"
#include "world/kavoactor.h"
#include "world/world_classes.h"

namespace kavo {

namespace {
using P = TPropType;

const char* const kOutOfRange = "TMesh: Inventory index out of range";
const char* const kCarriesItself = "TMesh: A mesh cannot ride on itself or on a mesh it carries";

// Integer arguments: any numeric value, rounded; a missing or non-numeric
// one raises the conversion error.
int64_t IntArg(const TKavo_ScriptFunctionData& d, size_t i) {
  return i < d.Args.size() ? d.Args[i].ToRoundedInt() : TVariant().ToRoundedInt();
}
int64_t IntArgOr(const TKavo_ScriptFunctionData& d, size_t i, int64_t fallback) {
  return HasArg(d, i) ? d.Args[i].ToRoundedInt() : fallback;
}
std::string TextArg(const TKavo_ScriptFunctionData& d, size_t i) { return i < d.Args.size() ? d.Args[i].ToText() : ""; }

scene::MeshObject& ObjectAt(scene::StaticMeshNode& node, int64_t a) {
  auto& objects = node.MutableData().objects;
  if (a < 0 || a >= static_cast<int64_t>(objects.size())) throw ListIndexError(a);
  return objects[static_cast<size_t>(a)];
}

scene::FaceGroup& GroupAt(scene::StaticMeshNode& node, int64_t a, int64_t b) {
  auto& groups = ObjectAt(node, a).faceGroups;
  if (b < 0 || b >= static_cast<int64_t>(groups.size())) throw ListIndexError(b);
  return groups[static_cast<size_t>(b)];
}

template <class T, class U>
void Remove(std::vector<T*>& list, U* obj) {
  list.erase(std::remove(list.begin(), list.end(), obj), list.end());
}

// Bounds of a node's mesh and the meshes below it, in absolute coordinates;
// `m` is the node's absolute matrix as the view draws it.
void AbsoluteBounds(const scene::Node& node, const glm::mat4& m, glm::vec3& lo, glm::vec3& hi, bool& any) {
  if (auto* mesh = dynamic_cast<const scene::StaticMeshNode*>(&node)) {
    glm::vec3 a, b;
    if (mesh->LocalBounds(a, b)) {
      for (int i = 0; i < 8; ++i) {
        glm::vec3 c((i & 1) ? b.x : a.x, (i & 2) ? b.y : a.y, (i & 4) ? b.z : a.z);
        glm::vec3 w = glm::vec3(m * glm::vec4(c, 1.0f));
        lo = any ? glm::min(lo, w) : w;
        hi = any ? glm::max(hi, w) : w;
        any = true;
      }
    }
  }
  for (const auto& child : node.Children()) AbsoluteBounds(*child, m * child->LocalMatrix(), lo, hi, any);
}
}  // namespace

// ---------------------------------------------------------------- materials

void ChangeMaterialTexture(TKavoContext& ctx, scene::MaterialLibrary& library, long long index,
                           const std::string& fileName) {
  TKavoFileLocation loc = ctx.files.Resolve(fileName);
  if (index >= static_cast<long long>(library.Count())) return;
  if (index < 0) throw ListIndexError(index);
  scene::Material& m = *library.At(static_cast<size_t>(index));
  std::string bytes, error;
  if (!ctx.files.Read(loc, bytes, &error))
    throw EKavoError("Texture (" + fileName + ") couldn't be opened", kErrTexture);
  if (!m.texture.image.LoadFromBytes(bytes, fileName, error)) throw EKavoError(error, kErrTexture);
  m.texture.image.SetFormat(scene::TextureFormat::RGBA);
  m.texture.image.SetAlphaMode(scene::TextureAlphaMode::Default);
  m.texture.mode = scene::TextureMode::Modulate;
  m.texture.enabled = true;
}

void SyncMeshCollisions(TKavoContext& ctx) {
  if (!ctx.collisions) return;
  for (TMeshClass* mesh : ctx.meshes) {
    if (mesh->body_ == scene::kNoBody || !mesh->Node()) continue;
    const glm::mat4 m = mesh->Node()->AbsoluteMatrix();
    if (m == mesh->bodyMatrix_) continue;
    mesh->bodyMatrix_ = m;
    ctx.collisions->SetBodyTransform(mesh->body_, m);
  }
}

// ---------------------------------------------------------------- class table

const TScriptClassInfo& TMeshClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    using T = TMeshClass;
    TScriptClassInfo i("TMeshClass", &TKavoMouseEvents::StaticInfo(), MakeScriptObject<TMeshClass>);
    TClassBuilder<T>(i)
        .Registry([](TKavoContext& c) -> TRegistryBase& { return c.meshes; }, true)
        .Prop("CastShadows", P::Boolean, [](T& m) { return m.CastShadows; },
              [](T& m, const TVariant& v) { m.SetCastShadows(v.AsBool()); })
        .Prop("ReceiveShadows", P::Boolean, [](T& m) { return m.ReceiveShadows; },
              [](T& m, const TVariant& v) { m.SetReceiveShadows(v.AsBool()); })
        .Prop("InInventory", P::Integer, [](T& m) { return m.InInventory; },
              [](T& m, const TVariant& v) { m.SetInInventory(v.AsInt()); })
        .Prop("InMeshAsChild", P::Integer, [](T& m) { return m.InMeshAsChild; },
              [](T& m, const TVariant& v) { m.SetInMeshAsChild(v.AsInt()); })
        .Prop("Collisions", P::Boolean, [](T& m) { return m.Collisions; },
              [](T& m, const TVariant& v) { m.SetCollisions(v.AsBool()); })
        .Field("UseBump", P::Boolean, &T::UseBump)
        .Prop("Visible", P::Boolean, [](T& m) { return m.Node() ? m.Node()->Visible() : false; },
              [](T& m, const TVariant& v) { m.SetVisible(v.AsBool()); })
        .Method("Load", &T::Script_Load, "file name")
        .Method("Destroy", &T::Script_Destroy, "")
        .Method("MoveToActorsHand", &T::Script_MoveToActorsHand, "actor ID [, any: the first hand]")
        .Method("MoveToMesh", &T::Script_MoveToMesh, "[mesh ID]")
        .Method("MoveToInventory", &T::Script_MoveToInventory, "[inventory ID]")
        .Method("MoveToRoom", &T::Script_MoveToRoom, "")
        .Method("EnableTransparency", &T::Script_EnableTransparency, "[object [, face group]]")
        .Method("ChangeMaterial", &T::Script_ChangeMaterial, "material name [, object [, face group]]")
        .Method("ChangeTexture", &T::Script_ChangeTexture, "file name [, object [, face group]]")
        .Method("HideSubObject", &T::Script_HideSubObject, "object")
        .Method("ShowSubObject", &T::Script_ShowSubObject, "object")
        .Method("GetSubObjectID", &T::Script_GetSubObjectID, "object name")
        .Bind<&T::Script_ApplyShader>("ApplyShader")
        .Method("UnApplyShader", &T::Script_UnApplyShader, "");
    return i;
  }();
  return info;
}

// ---------------------------------------------------------------- life

void TMeshClass::Create() {
  TKavoMouseEvents::Create();
  auto* node = Ctx.scene->sceneNode->CreateChild<scene::StaticMeshNode>("mesh");
  node->SetMaterialLibrary(&Ctx.scene->sharedMaterials);
  node->SetLightmapLibrary(&Ctx.scene->lightmaps);
  node->SetUseMeshMaterials(true);
  node->SetPitchAngle(90);
  node->SetHint("TMesh");
  node->SetTag(0);
  SetNode(node);  // the stored pitch becomes 90 with it
  Ctx.nodeOwners[node] = Handle();
  ApplyVisibility();
}

void TMeshClass::DestroyObject() {
  if (!Alive()) return;
  const int id = ID();
  if (InInventory != -1 && node_) MoveNode(*Ctx.scene->sceneNode);
  InInventory = -1;
  LeaveInventoryLists(false);
  SetCollisions(false);
  Remove(Ctx.scene->shadowOccluders, node_);

  // The meshes this one carries go back to the room; those that named it as
  // their carrier without riding on it forget it, and every later mesh ID
  // moves down by one, so carrier IDs follow. Only meshes that name a
  // carrier can be concerned: the walk goes over those alone.
  SetCarrier(-1);
  Ctx.meshRiders.ForEachLive([&](TMeshClass& m) {
    if (node_ && m.Node() && m.Node()->Parent() == node_) {
      m.ReturnToRoom();
    } else if (id >= 0 && m.InMeshAsChild == id) {
      m.SetCarrier(-1);
    }
    if (id >= 0 && m.InMeshAsChild > id) m.SetCarrier(m.InMeshAsChild - 1);
  });

  if (node_) {
    Ctx.nodeOwners.erase(node_);
    node_->Destroy();
    node_ = nullptr;
  }
  TKavoMouseEvents::DestroyObject();
}

void TMeshClass::Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

void TMeshClass::WriteSave(const std::string& n, std::vector<std::string>& lines) {
  const size_t first = lines.size();
  TKavoMouseEvents::WriteSave(n, lines);
  if (!handRecord.empty()) lines.push_back(n + ".MoveToActorsHand(" + handRecord + ");");
  savedAs_ = n;
  if (InInventory == -1) return;
  // An item the inventory's paging hid is still visible to the game: it
  // saves its hidden marker, not its node's state, so a load does not hide
  // it for good.
  if (node_) {
    const std::string visible = n + ".Visible = ";
    for (size_t i = first; i < lines.size(); ++i)
      if (lines[i].rfind(visible, 0) == 0) lines[i] = visible + (node_->Tag() == 1 ? "0;" : "1;");
  }
  // A load appends the items in the order their InInventory lines run, so
  // this mesh's line goes before the lines of the items after it in the
  // same inventory that this save has written already.
  TInventoryClass* inv = Ctx.inventories.Find(InInventory);
  if (inv == nullptr) return;
  auto self = std::find(inv->items.begin(), inv->items.end(), this);
  if (self == inv->items.end()) return;
  const std::string tail = ".InInventory = " + FormatSaveNumber(InInventory) + ";";
  const std::string own = n + tail;
  auto mine = std::find(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end(), own);
  if (mine == lines.end()) return;
  size_t before = static_cast<size_t>(mine - lines.begin());
  for (auto it = self + 1; it != inv->items.end(); ++it) {
    const TMeshClass& later = **it;
    if (later.savedAs_.empty()) continue;
    auto at = std::find(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(first), later.savedAs_ + tail);
    before = std::min(before, static_cast<size_t>(at - lines.begin()));
  }
  const size_t from = static_cast<size_t>(mine - lines.begin());
  if (before < from) {
    std::string line = std::move(lines[from]);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(before), std::move(line));
  }
}

scene::StaticMeshNode* TMeshClass::MeshNode() const { return static_cast<scene::StaticMeshNode*>(node_); }

int TMeshClass::ID() const { return Ctx.meshes.IndexOf(this); }

// ---------------------------------------------------------------- helpers

scene::Node* TMeshClass::RoomParent() const {
  return ReceiveShadows ? static_cast<scene::Node*>(Ctx.scene->sceneshadows)
                        : static_cast<scene::Node*>(Ctx.scene->sceneNode);
}

void TMeshClass::MoveNode(scene::Node& parent) {
  if (node_ && node_->Parent() != &parent) node_->MoveTo(parent);
}

void TMeshClass::SetCarrier(int32_t id) {
  if ((id != -1) != (InMeshAsChild != -1)) {
    if (id != -1)
      Ctx.meshRiders.Join(this);
    else
      Ctx.meshRiders.Leave(this);
  }
  InMeshAsChild = id;
}

TMeshClass* TMeshClass::CarrierAt(int64_t id) const { return Ctx.meshes.At(id); }

bool TMeshClass::CarriesNode(const scene::Node* target) const {
  for (const scene::Node* n = target; n; n = n->Parent())
    if (n == node_) return true;
  return false;
}

scene::Node* TMeshClass::InventoryNodeOf(TInventoryClass& inventory) const {
  if (scene::Node* n = inventory.ItemsNode()) return n;
  return Ctx.scene->inventories;
}

void TMeshClass::LeaveInventoryLists(bool layOut) {
  Ctx.inventories.ForEachLive([&](TInventoryClass& inv) {
    Remove(inv.items, this);
    if (layOut) inv.LayOut();
  });
}

void TMeshClass::ReturnToRoom() {
  if (node_) MoveNode(*RoomParent());
  inRoom = true;
  SetCarrier(-1);
  handRecord.clear();
  if (InInventory != -1) {
    TInventoryClass* inv = Ctx.inventories.Find(InInventory);
    InInventory = -1;
    LeaveInventoryLists(false);
    if (inv) inv->LayOut();
  }
}

// ---------------------------------------------------------------- properties

void TMeshClass::SetCastShadows(bool on) {
  if (on == CastShadows) return;
  CastShadows = on;
  auto& occluders = Ctx.scene->shadowOccluders;
  Remove(occluders, node_);
  // Casts while the node and all its ancestors are shown, radius automatic.
  if (on && node_) occluders.push_back(node_);
}

void TMeshClass::SetReceiveShadows(bool on) {
  if (on == ReceiveShadows || !inRoom) return;
  ReceiveShadows = on;
  MoveNode(*RoomParent());
}

void TMeshClass::SetCollisions(bool on) {
  if (body_ != scene::kNoBody) {
    if (Ctx.collisions) Ctx.collisions->RemoveBody(body_);
    body_ = scene::kNoBody;
  }
  if (on && node_ && Ctx.collisions) {
    scene::StaticMeshNode& mesh = *MeshNode();
    mesh.BuildOctree(3);
    scene::StaticBodyDesc desc = scene::MeshCollisionBody();  // bounce 10, friction 0, layer 0, solid
    desc.layer = 0;
    desc.active = true;
    desc.solid = true;
    desc.user = this;
    bodyMatrix_ = mesh.AbsoluteMatrix();
    body_ = Ctx.collisions->AddStaticBody(mesh.Data(), bodyMatrix_, desc, 3);
  }
  Collisions = on;
}

void TMeshClass::SetVisible(bool on) {
  if (node_) {
    node_->SetVisible(on);
    node_->SetTag(on ? 0 : 1);
  }
  if (TInventoryClass* inv = Ctx.inventories.Find(InInventory)) inv->LayOut();
  visibleFlag = on;
}

void TMeshClass::SetInInventory(int64_t n) {
  const int64_t count = static_cast<int64_t>(Ctx.inventories.Count());
  if (n > count - 1) {
    KavoLog(kOutOfRange);
    return;
  }
  if (n == -1) {
    MoveNode(*RoomParent());
    inRoom = true;
    SetCarrier(-1);
    handRecord.clear();
    InInventory = -1;
    LeaveInventoryLists(true);
    return;
  }
  // While a saved game loads, the line re-appends the mesh even when it
  // names the inventory it is in already: the save writes the items in
  // list order, so the lines rebuild that order in a running game too.
  const bool loading = Ctx.game && Ctx.game->GameLoading;
  if (n != InInventory || loading) {
    TInventoryClass* inv = Ctx.inventories.At(n);
    MoveNode(*InventoryNodeOf(*inv));
    LeaveInventoryLists(false);
    inv->items.push_back(this);
    handRecord.clear();
    inRoom = false;
    InInventory = static_cast<int32_t>(n);
    inv->LayOut();
  }
  InInventory = static_cast<int32_t>(n);
}

void TMeshClass::SetInMeshAsChild(int64_t n) {
  if (n > static_cast<int64_t>(Ctx.meshes.Count()) - 1) {
    KavoLog(kOutOfRange);
    return;
  }
  if (n == InMeshAsChild) return;
  if (n == -1) {
    ReturnToRoom();
    return;
  }
  TMeshClass* carrier = CarrierAt(n);
  if (CarriesNode(carrier->Node())) {
    KavoLog(kCarriesItself);
    return;
  }
  if (carrier->Node()) MoveNode(*carrier->Node());
  inRoom = false;
  SetCarrier(static_cast<int32_t>(n));
}

// ---------------------------------------------------------------- load

void TMeshClass::Load(const std::string& fileName) {
  if (!node_) return;
  scene::StaticMeshNode& mesh = *MeshNode();
  // Whatever happens, the data folder is current again afterwards.
  struct BackToData {
    TKavoContext& ctx;
    ~BackToData() { ctx.files.EnterDataFolder(); }
  } back{Ctx};
  TKavoFileLocation loc = Ctx.files.Resolve(fileName);
  // A name found nowhere is reported as the script wrote it.
  if (loc.ResolvedPath.empty()) throw EKavoError(ToBackslashes(Shortened(fileName, 1024)), kErrModelFile);
  LoadModelInto(Ctx, mesh, loc, fileName);
  mesh.SetUseMeshMaterials(true);
  Ctx.modelBeingLoaded = fileName;
  if (!scene::BuildTangentSpace(mesh.MutableData()))
    KavoLog("Unable to build TangentSpace (normals and binormals) for mesh model. Probably a meshobject with no "
            "UV coordinates in " +
            fileName);
  Ctx.files.EnterDataFolder();
  mesh.StructureChanged();
  Ctx.modelBeingLoaded.clear();
  // A collision body follows the new model.
  if (Collisions) SetCollisions(true);
}

void TMeshClass::Script_Load(TKavo_ScriptFunctionData& d) { Load(TextArg(d, 0)); }

// ---------------------------------------------------------------- holders

void TMeshClass::Script_MoveToActorsHand(TKavo_ScriptFunctionData& d) {
  const int64_t id = IntArg(d, 0);
  TActorClass* actor = Ctx.actors.At(id);
  SetCollisions(false);
  const bool firstHand = d.Args.size() >= 2;
  handRecord = std::to_string(id) + (firstHand ? ",1" : "");
  scene::Node* hand = actor->HandNode(firstHand);
  MoveNode(hand ? *hand : *static_cast<scene::Node*>(Ctx.scene->sceneNode));
  inRoom = false;
}

void TMeshClass::Script_MoveToMesh(TKavo_ScriptFunctionData& d) {
  if (d.Args.empty()) return;
  const int64_t n = IntArg(d, 0);
  TMeshClass* carrier = CarrierAt(n);
  if (CarriesNode(carrier->Node())) {
    KavoLog(kCarriesItself);
    return;
  }
  if (carrier->Node()) MoveNode(*carrier->Node());
  if (n != InMeshAsChild) {
    inRoom = false;
    SetCarrier(static_cast<int32_t>(n));
  }
}

void TMeshClass::Script_MoveToInventory(TKavo_ScriptFunctionData& d) {
  SetCollisions(false);
  handRecord.clear();
  if (node_) node_->SetTag(node_->Visible() ? 0 : 1);
  if (d.Args.empty()) return;
  const int64_t n = IntArg(d, 0);
  TInventoryClass* inv = Ctx.inventories.At(n);
  MoveNode(*InventoryNodeOf(*inv));
  if (n != InInventory) {
    LeaveInventoryLists(false);
    inv->items.push_back(this);
    inRoom = false;
    InInventory = static_cast<int32_t>(n);
    inv->LayOut();
  }
}

void TMeshClass::Script_MoveToRoom(TKavo_ScriptFunctionData&) {
  handRecord.clear();
  if (inRoom) return;
  ReturnToRoom();
}

// ---------------------------------------------------------------- model parts

void TMeshClass::Script_EnableTransparency(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  scene::StaticMeshNode& mesh = *MeshNode();
  scene::FaceGroup& g = GroupAt(mesh, IntArgOr(d, 0, 0), IntArgOr(d, 1, 0));
  if (scene::Material* m = mesh.Materials().Find(g.materialName)) m->blending = scene::BlendingMode::Transparency;
  MoveNode(*Ctx.scene->transparent);
  mesh.StructureChanged();
}

void TMeshClass::Script_ChangeMaterial(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  scene::StaticMeshNode& mesh = *MeshNode();
  const std::string name = TextArg(d, 0);
  scene::FaceGroup& g = GroupAt(mesh, IntArgOr(d, 1, 0), IntArgOr(d, 2, 0));
  if (mesh.Materials().Find(name)) g.materialName = name;
  mesh.StructureChanged();
}

void TMeshClass::Script_ChangeTexture(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  scene::StaticMeshNode& mesh = *MeshNode();
  const std::string file = TextArg(d, 0);
  const std::string material = GroupAt(mesh, IntArgOr(d, 1, 0), IntArgOr(d, 2, 0)).materialName;
  ChangeMaterialTexture(Ctx, mesh.Materials(), mesh.Materials().IndexOf(material), file);
  mesh.StructureChanged();
}

void TMeshClass::Script_HideSubObject(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  ObjectAt(*MeshNode(), IntArg(d, 0)).visible = false;
  MeshNode()->StructureChanged();
}

void TMeshClass::Script_ShowSubObject(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  ObjectAt(*MeshNode(), IntArg(d, 0)).visible = true;
  MeshNode()->StructureChanged();
}

void TMeshClass::Script_GetSubObjectID(TKavo_ScriptFunctionData& d) {
  const std::string name = TextArg(d, 0);
  int result = -1;
  if (node_) {
    const auto& objects = MeshNode()->Data().objects;
    for (size_t i = 0; i < objects.size(); ++i)
      if (objects[i].name == name) {
        result = static_cast<int>(i);
        break;
      }
  }
  d.Result = TVariant(result);
}

std::vector<std::string> TMeshClass::FaceGroupMaterials(int64_t a, int64_t b) const {
  std::vector<std::string> names;
  if (!node_) return names;
  scene::StaticMeshNode& mesh = *MeshNode();
  if (a < 0) {
    for (const scene::MeshObject& o : mesh.Data().objects)
      for (const scene::FaceGroup& g : o.faceGroups) names.push_back(g.materialName);
  } else if (b < 0) {
    for (const scene::FaceGroup& g : ObjectAt(mesh, a).faceGroups) names.push_back(g.materialName);
  } else {
    names.push_back(GroupAt(mesh, a, b).materialName);
  }
  return names;
}

void TMeshClass::Script_ApplyShader(int64_t shader, std::optional<int64_t> object, std::optional<int64_t> group) {
  if (!node_) return;
  for (const std::string& material : FaceGroupMaterials(object.value_or(-1), group.value_or(-1)))
    ApplyShaderToMaterial(Ctx, material, shader);
  MeshNode()->StructureChanged();
}

void TMeshClass::Script_UnApplyShader(TKavo_ScriptFunctionData&) {
  if (!node_) return;
  for (const std::string& material : FaceGroupMaterials(-1, -1)) RemoveShaderFromMaterial(Ctx, material);
  MeshNode()->StructureChanged();
}

// ---------------------------------------------------------------- screen rectangle

TScreenProjection::TScreenProjection(const scene::View& view)
    : viewport(0, 0, view.Width(), view.Height()) {
  const glm::mat4 v = view.ViewMatrix();
  viewProjection = view.ProjectionMatrix() * v;
  cameraFrame = scene::CameraFrame(v);
}

glm::mat4 TScreenProjection::DrawnMatrix(const scene::Node& node) const {
  glm::mat4 m(1.0f);
  for (const scene::Node* n = &node; n; n = n->Parent()) {
    m = n->LocalMatrix() * m;
    if (n->KeepsCameraOrientation()) return cameraFrame * m;
  }
  return m;
}

void NodeBounds(const scene::Node& node, const glm::mat4& drawn, glm::vec3& lo, glm::vec3& hi) {
  bool any = false;
  AbsoluteBounds(node, drawn, lo, hi, any);
  if (!any) lo = hi = glm::vec3(drawn[3]);
}

bool ProjectBoundsToView(const glm::vec3& lo, const glm::vec3& hi, const TScreenProjection& projection,
                         scene::ScreenRect& rect) {
  return scene::ProjectBoundsToScreen(lo, hi, glm::mat4(1.0f), projection.viewProjection, projection.viewport, rect);
}

bool ProjectNodeToScreen(const scene::Node& node, const scene::View& view, scene::ScreenRect& rect) {
  const TScreenProjection projection(view);
  glm::vec3 lo, hi;
  NodeBounds(node, projection.DrawnMatrix(node), lo, hi);
  return ProjectBoundsToView(lo, hi, projection, rect);
}

void TMeshClass::UpdateScreenRect() {
  if (!node_) return;
  const bool fullscreen = Ctx.game && Ctx.game->Fullscreen;
  const TScreenProjection projection(fullscreen ? Ctx.scene->fullscreenView : Ctx.scene->windowView);
  const glm::mat4 parent = node_->Parent() ? projection.DrawnMatrix(*node_->Parent()) : glm::mat4(1.0f);
  glm::vec3 lo, hi;
  UpdateScreenRect(projection, parent, lo, hi);
}

bool TMeshClass::UpdateScreenRect(const TScreenProjection& projection, const glm::mat4& parentDrawn, glm::vec3& lo,
                                  glm::vec3& hi) {
  if (!node_) return false;
  // A node without children measured from the same inputs as last time
  // gives the same result: the inventory pass runs every frame, and in most
  // frames nothing moved.
  const scene::Node& n = *node_;
  const TRectInputs& was = rectInputs_;
  const uint64_t structure = MeshNode()->StructureVersion();
  const bool same = rectValid_ && n.Children().empty() && structure == was.structure &&
                    n.Position() == was.position && n.Direction() == was.direction && n.Up() == was.up &&
                    n.Scale() == was.scale && projection.viewport == was.viewport &&
                    parentDrawn == was.parentDrawn && projection.viewProjection == was.viewProjection;
  if (!same) {
    NodeBounds(n, parentDrawn * n.LocalMatrix(), rectLo_, rectHi_);
    rectOk_ = ProjectBoundsToView(rectLo_, rectHi_, projection, screenRect);
    rectInputs_ = {parentDrawn, projection.viewProjection, projection.viewport, n.Position(), n.Direction(),
                   n.Up(),      n.Scale(),                 structure};
    rectValid_ = true;
  }
  lo = rectLo_;
  hi = rectHi_;
  if (!rectOk_) KavoLog("Abstract Error: Unable to get boundaries for inventory Mesh");
  return rectOk_;
}

}  // namespace kavo
