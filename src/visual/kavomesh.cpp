#include "visual/kavomesh.h"

#include <algorithm>

#include "game/kavogame.h"
#include "platform/files.h"
#include "scene/staticmesh.h"
#include "script/registered.h"
#include "shell/gamefiles.h"
#include "shell/kavoform.h"
#include "core/log.h"
#include "shell/scenetree.h"

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

TKavo_ScriptClass* ListAt(const std::vector<TKavo_ScriptClass*>& list, int64_t i) {
  if (i < 0 || i >= static_cast<int64_t>(list.size())) throw ListIndexError(i);
  return list[static_cast<size_t>(i)];
}

template <class T, class U>
void Remove(std::vector<T*>& list, U* obj) {
  list.erase(std::remove(list.begin(), list.end(), obj), list.end());
}

// Bounds of a node's mesh and the meshes below it, in absolute coordinates.
void AbsoluteBounds(const scene::Node& node, glm::vec3& lo, glm::vec3& hi, bool& any) {
  if (auto* mesh = dynamic_cast<const scene::StaticMeshNode*>(&node)) {
    glm::vec3 a, b;
    if (scene::ComputeBounds(mesh->Data(), a, b)) {
      const glm::mat4 m = mesh->AbsoluteMatrix();
      for (int i = 0; i < 8; ++i) {
        glm::vec3 c((i & 1) ? b.x : a.x, (i & 2) ? b.y : a.y, (i & 4) ? b.z : a.z);
        glm::vec3 w = glm::vec3(m * glm::vec4(c, 1.0f));
        lo = any ? glm::min(lo, w) : w;
        hi = any ? glm::max(hi, w) : w;
        any = true;
      }
    }
  }
  for (const auto& child : node.Children()) AbsoluteBounds(*child, lo, hi, any);
}
}  // namespace

// ---------------------------------------------------------------- bookkeeping

TMeshBookkeeping& MeshBookkeeping(TKavoForm& form) {
  if (!form.meshBookkeeping) form.meshBookkeeping = std::make_shared<TMeshBookkeeping>();
  return *form.meshBookkeeping;
}

std::vector<TKavo_ScriptClass*>& InventoryItems(TKavoForm& form, const TKavo_ScriptClass& inventory) {
  auto& lists = MeshBookkeeping(form).itemLists;
  lists.erase(std::remove_if(lists.begin(), lists.end(),
                             [&form](const auto& entry) { return form.handles.Resolve(entry.first) == nullptr; }),
              lists.end());
  for (auto& entry : lists)
    if (entry.first == inventory.Handle()) return entry.second;
  lists.emplace_back(inventory.Handle(), std::vector<TKavo_ScriptClass*>{});
  return lists.back().second;
}

void ChangeMaterialTexture(TKavoForm& form, scene::MaterialLibrary& library, long long index,
                           const std::string& fileName) {
  TKavoFileLocation loc = ResolveGameFile(form, fileName);
  if (index >= static_cast<long long>(library.Count())) return;
  if (index < 0) throw ListIndexError(index);
  scene::Material& m = *library.At(static_cast<size_t>(index));
  std::string bytes, error;
  if (!ReadGameFile(form, loc, bytes, &error))
    throw EKavoError("Texture (" + fileName + ") couldn't be opened", kErrTexture);
  if (!m.texture.image.LoadFromBytes(bytes, fileName, error)) throw EKavoError(error, kErrTexture);
  m.texture.image.SetFormat(scene::TextureFormat::RGBA);
  m.texture.image.SetAlphaMode(scene::TextureAlphaMode::Default);
  m.texture.mode = scene::TextureMode::Modulate;
  m.texture.enabled = true;
}

void SyncMeshCollisions(TKavoForm& form) {
  if (!form.collisions) return;
  for (TKavo_ScriptClass* obj : form.meshes) {
    auto* mesh = static_cast<TMeshClass*>(obj);
    if (mesh->body_ == scene::kNoBody || !mesh->Node()) continue;
    const glm::mat4 m = mesh->Node()->AbsoluteMatrix();
    if (m == mesh->bodyMatrix_) continue;
    mesh->bodyMatrix_ = m;
    form.collisions->SetBodyTransform(mesh->body_, m);
  }
}

// ---------------------------------------------------------------- class table

const TScriptClassInfo& TMeshClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    using T = TMeshClass;
    TScriptClassInfo i("TMeshClass", &TKavoMouseEvents::StaticInfo(), MakeScriptObject<TMeshClass>);
    TClassBuilder<T>(i)
        .Prop("CastShadows", P::Boolean, [](T& m) { return TVariant(m.CastShadows); },
              [](T& m, const TVariant& v) { m.SetCastShadows(v.AsBool()); })
        .Prop("ReceiveShadows", P::Boolean, [](T& m) { return TVariant(m.ReceiveShadows); },
              [](T& m, const TVariant& v) { m.SetReceiveShadows(v.AsBool()); })
        .Prop("InInventory", P::Integer, [](T& m) { return TVariant(m.InInventory); },
              [](T& m, const TVariant& v) { m.SetInInventory(v.AsInt()); })
        .Prop("InMeshAsChild", P::Integer, [](T& m) { return TVariant(m.InMeshAsChild); },
              [](T& m, const TVariant& v) { m.SetInMeshAsChild(v.AsInt()); })
        .Prop("Collisions", P::Boolean, [](T& m) { return TVariant(m.Collisions); },
              [](T& m, const TVariant& v) { m.SetCollisions(v.AsBool()); })
        .Field("UseBump", P::Boolean, &T::UseBump)
        .Prop("Visible", P::Boolean, [](T& m) { return TVariant(m.Node() ? m.Node()->Visible() : false); },
              [](T& m, const TVariant& v) { m.SetVisible(v.AsBool()); })
        .Prop("ID", P::Integer, [](T& m) { return TVariant(m.ID()); }, [](T&, const TVariant&) {})
        .Method("Load", &T::Script_Load)
        .Method("Destroy", &T::Script_Destroy)
        .Method("MoveToActorsHand", &T::Script_MoveToActorsHand)
        .Method("MoveToMesh", &T::Script_MoveToMesh)
        .Method("MoveToInventory", &T::Script_MoveToInventory)
        .Method("MoveToRoom", &T::Script_MoveToRoom)
        .Method("EnableTransparency", &T::Script_EnableTransparency)
        .Method("ChangeMaterial", &T::Script_ChangeMaterial)
        .Method("ChangeTexture", &T::Script_ChangeTexture)
        .Method("HideSubObject", &T::Script_HideSubObject)
        .Method("ShowSubObject", &T::Script_ShowSubObject)
        .Method("GetSubObjectID", &T::Script_GetSubObjectID)
        .Method("ApplyShader", &T::Script_ApplyShader)
        .Method("UnApplyShader", &T::Script_UnApplyShader);
    return i;
  }();
  return info;
}

// ---------------------------------------------------------------- life

void TMeshClass::Create() {
  TKavoMouseEvents::Create();
  auto* node = Form.scene->sceneNode->CreateChild<scene::StaticMeshNode>("mesh");
  node->SetMaterialLibrary(&Form.scene->sharedMaterials);
  node->SetLightmapLibrary(&Form.scene->lightmaps);
  node->SetUseMeshMaterials(true);
  node->SetPitchAngle(90);
  node->SetHint("TMesh");
  node->SetTag(0);
  SetNode(node);  // the stored pitch becomes 90 with it
  Form.nodeOwners[node] = Handle();
  Form.meshes.push_back(this);
  ApplyVisibility();
}

void TMeshClass::DestroyObject() {
  if (!Alive()) return;
  const int id = ID();
  if (InInventory != -1 && node_) MoveNode(*Form.scene->sceneNode);
  InInventory = -1;
  LeaveInventoryLists(false);
  SetCollisions(false);
  Remove(MeshBookkeeping(Form).occluders, node_);

  // The meshes this one carries go back to the room; those that named it as
  // their carrier without riding on it forget it, and every later mesh ID
  // moves down by one, so carrier IDs follow.
  std::vector<TObjectHandle> others;
  for (TKavo_ScriptClass* o : Form.meshes)
    if (o != this) others.push_back(o->Handle());
  for (TObjectHandle h : others) {
    auto* m = static_cast<TMeshClass*>(Form.handles.Resolve(h));
    if (!m) continue;
    if (node_ && m->Node() && m->Node()->Parent() == node_) {
      m->ReturnToRoom();
    } else if (id >= 0 && m->InMeshAsChild == id) {
      m->InMeshAsChild = -1;
    }
    if (id >= 0 && m->InMeshAsChild > id) --m->InMeshAsChild;
  }

  LeaveRegistry(Form.meshes, this);
  if (node_) {
    Form.nodeOwners.erase(node_);
    node_->Destroy();
    node_ = nullptr;
  }
  TKavoMouseEvents::DestroyObject();
}

void TMeshClass::Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

void TMeshClass::WriteSave(const std::string& n, std::vector<std::string>& lines) {
  TKavoMouseEvents::WriteSave(n, lines);
  if (!handRecord.empty()) lines.push_back(n + ".MoveToActorsHand(" + handRecord + ");");
}

scene::StaticMeshNode* TMeshClass::MeshNode() const { return static_cast<scene::StaticMeshNode*>(node_); }

int TMeshClass::ID() const { return IndexInRegistry(Form.meshes, this); }

// ---------------------------------------------------------------- helpers

scene::Node* TMeshClass::RoomParent() const {
  return ReceiveShadows ? static_cast<scene::Node*>(Form.scene->sceneshadows)
                        : static_cast<scene::Node*>(Form.scene->sceneNode);
}

void TMeshClass::MoveNode(scene::Node& parent) {
  if (node_ && node_->Parent() != &parent) node_->MoveTo(parent);
}

TMeshClass* TMeshClass::CarrierAt(int64_t id) const { return static_cast<TMeshClass*>(ListAt(Form.meshes, id)); }

bool TMeshClass::CarriesNode(const scene::Node* target) const {
  for (const scene::Node* n = target; n; n = n->Parent())
    if (n == node_) return true;
  return false;
}

scene::Node* TMeshClass::InventoryNodeOf(TKavo_ScriptClass& inventory) const {
  if (inventoryNode)
    if (scene::Node* n = inventoryNode(inventory)) return n;
  if (inventory.Info().InheritsFrom(TKavoMovableClass::StaticInfo()))
    if (scene::Node* n = static_cast<TKavoMovableClass&>(inventory).Node()) return n;
  return Form.scene->inventories;
}

void TMeshClass::LayOut(TKavo_ScriptClass& inventory) const {
  if (layOutInventory) layOutInventory(inventory);
}

void TMeshClass::LeaveInventoryLists(bool layOut) {
  std::vector<TObjectHandle> invs;
  for (TKavo_ScriptClass* inv : Form.inventories) invs.push_back(inv->Handle());
  for (TObjectHandle h : invs) {
    TKavo_ScriptClass* inv = Form.handles.Resolve(h);
    if (!inv) continue;
    Remove(InventoryItems(Form, *inv), this);
    if (layOut) LayOut(*inv);
  }
}

void TMeshClass::ReturnToRoom() {
  if (node_) MoveNode(*RoomParent());
  inRoom = true;
  InMeshAsChild = -1;
  handRecord.clear();
  if (InInventory != -1) {
    TKavo_ScriptClass* inv =
        InInventory >= 0 && InInventory < static_cast<int32_t>(Form.inventories.size()) ? Form.inventories[InInventory]
                                                                                        : nullptr;
    InInventory = -1;
    LeaveInventoryLists(false);
    if (inv) LayOut(*inv);
  }
}

// ---------------------------------------------------------------- properties

void TMeshClass::SetCastShadows(bool on) {
  if (on == CastShadows) return;
  CastShadows = on;
  auto& occluders = MeshBookkeeping(Form).occluders;
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
    if (Form.collisions) Form.collisions->RemoveBody(body_);
    body_ = scene::kNoBody;
  }
  if (on && node_ && Form.collisions) {
    scene::StaticMeshNode& mesh = *MeshNode();
    mesh.BuildOctree(3);
    scene::StaticBodyDesc desc = scene::MeshCollisionBody();  // bounce 10, friction 0, layer 0, solid
    desc.layer = 0;
    desc.active = true;
    desc.solid = true;
    desc.user = this;
    bodyMatrix_ = mesh.AbsoluteMatrix();
    body_ = Form.collisions->AddStaticBody(mesh.Data(), bodyMatrix_, desc, 3);
  }
  Collisions = on;
}

void TMeshClass::SetVisible(bool on) {
  if (node_) {
    node_->SetVisible(on);
    node_->SetTag(on ? 0 : 1);
  }
  if (InInventory >= 0 && InInventory < static_cast<int32_t>(Form.inventories.size()))
    LayOut(*Form.inventories[InInventory]);
  visibleFlag = on;
}

void TMeshClass::SetInInventory(int64_t n) {
  const int64_t count = static_cast<int64_t>(Form.inventories.size());
  if (n > count - 1) {
    KavoLog(kOutOfRange);
    return;
  }
  if (n == -1) {
    MoveNode(*RoomParent());
    inRoom = true;
    InMeshAsChild = -1;
    handRecord.clear();
    InInventory = -1;
    LeaveInventoryLists(true);
    return;
  }
  if (n != InInventory) {
    TKavo_ScriptClass* inv = ListAt(Form.inventories, n);
    MoveNode(*InventoryNodeOf(*inv));
    LeaveInventoryLists(false);
    InventoryItems(Form, *inv).push_back(this);
    handRecord.clear();
    inRoom = false;
    InInventory = static_cast<int32_t>(n);
    LayOut(*inv);
  }
  InInventory = static_cast<int32_t>(n);
}

void TMeshClass::SetInMeshAsChild(int64_t n) {
  if (n > static_cast<int64_t>(Form.meshes.size()) - 1) {
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
  InMeshAsChild = static_cast<int32_t>(n);
}

// ---------------------------------------------------------------- load

void TMeshClass::Load(const std::string& fileName) {
  if (!node_) return;
  scene::StaticMeshNode& mesh = *MeshNode();
  // Whatever happens, the data folder is current again afterwards.
  struct BackToData {
    TKavoForm& form;
    ~BackToData() { form.EnterDataFolder(); }
  } back{Form};
  TKavoFileLocation loc = ResolveGameFile(Form, fileName);
  // A name found nowhere is reported as the script wrote it.
  if (loc.ResolvedPath.empty()) throw EKavoError(ToBackslashes(fileName), kErrModelFile);
  Form.LoadModelInto(mesh, loc, fileName);
  mesh.SetUseMeshMaterials(true);
  Form.modelBeingLoaded = fileName;
  if (!scene::BuildTangentSpace(mesh.MutableData()))
    KavoLog("Unable to build TangentSpace (normals and binormals) for mesh model. Probably a meshobject with no "
            "UV coordinates in " +
            fileName);
  Form.EnterDataFolder();
  mesh.StructureChanged();
  Form.modelBeingLoaded.clear();
  // A collision body follows the new model.
  if (Collisions) SetCollisions(true);
}

void TMeshClass::Script_Load(TKavo_ScriptFunctionData& d) { Load(TextArg(d, 0)); }

// ---------------------------------------------------------------- holders

void TMeshClass::Script_MoveToActorsHand(TKavo_ScriptFunctionData& d) {
  const int64_t id = IntArg(d, 0);
  TKavo_ScriptClass* actor = ListAt(Form.actors, id);
  SetCollisions(false);
  const bool firstHand = d.Args.size() >= 2;
  handRecord = std::to_string(id) + (firstHand ? ",1" : "");
  scene::Node* hand = actorHandNode ? actorHandNode(*actor, firstHand) : nullptr;
  MoveNode(hand ? *hand : *static_cast<scene::Node*>(Form.scene->sceneNode));
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
    InMeshAsChild = static_cast<int32_t>(n);
  }
}

void TMeshClass::Script_MoveToInventory(TKavo_ScriptFunctionData& d) {
  SetCollisions(false);
  handRecord.clear();
  if (node_) node_->SetTag(node_->Visible() ? 0 : 1);
  if (d.Args.empty()) return;
  const int64_t n = IntArg(d, 0);
  TKavo_ScriptClass* inv = ListAt(Form.inventories, n);
  MoveNode(*InventoryNodeOf(*inv));
  if (n != InInventory) {
    LeaveInventoryLists(false);
    InventoryItems(Form, *inv).push_back(this);
    inRoom = false;
    InInventory = static_cast<int32_t>(n);
    LayOut(*inv);
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
  MoveNode(*Form.scene->transparent);
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
  ChangeMaterialTexture(Form, mesh.Materials(), mesh.Materials().IndexOf(material), file);
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

void TMeshClass::Script_ApplyShader(TKavo_ScriptFunctionData& d) {
  CheckOrdinal(d, 0, "ApplyShader");
  if (HasArg(d, 1)) CheckOrdinal(d, 1, "ApplyShader");
  if (HasArg(d, 2)) CheckOrdinal(d, 2, "ApplyShader");
  if (!node_) return;
  scene::StaticMeshNode& mesh = *MeshNode();
  const int64_t shader = IntArg(d, 0);
  const int64_t a = IntArgOr(d, 1, -1), b = IntArgOr(d, 2, -1);
  auto apply = [&](const scene::FaceGroup& g) {
    if (applyShader) applyShader(Form, g.materialName, shader);
  };
  if (a < 0) {
    for (const scene::MeshObject& o : mesh.Data().objects)
      for (const scene::FaceGroup& g : o.faceGroups) apply(g);
  } else if (b < 0) {
    for (const scene::FaceGroup& g : ObjectAt(mesh, a).faceGroups) apply(g);
  } else {
    apply(GroupAt(mesh, a, b));
  }
  mesh.StructureChanged();
}

void TMeshClass::Script_UnApplyShader(TKavo_ScriptFunctionData&) {
  if (!node_) return;
  scene::StaticMeshNode& mesh = *MeshNode();
  for (const scene::MeshObject& o : mesh.Data().objects)
    for (const scene::FaceGroup& g : o.faceGroups)
      if (removeShader) removeShader(Form, g.materialName);
  mesh.StructureChanged();
}

// ---------------------------------------------------------------- screen rectangle

void TMeshClass::UpdateScreenRect() {
  if (!node_) return;
  glm::vec3 lo(0.0f), hi(0.0f);
  bool any = false;
  bool ok = false;
  try {
    AbsoluteBounds(*node_, lo, hi, any);
    if (any) {
      const bool fullscreen = Form.Game() && Form.Game()->Fullscreen;
      const scene::View& view = fullscreen ? Form.scene->fullscreenView : Form.scene->windowView;
      const glm::mat4 vp = view.ProjectionMatrix() * view.ViewMatrix();
      ok = scene::ProjectBoundsToScreen(lo, hi, glm::mat4(1.0f), vp, glm::ivec4(0, 0, view.Width(), view.Height()),
                                        screenRect);
    }
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) KavoLog("Abstract Error: Unable to get boundaries for inventory Mesh");
}

}  // namespace kavo
