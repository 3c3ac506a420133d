#include "visual/kavomesh.h"

#include "scene/staticmesh.h"
#include "script/registered.h"
#include "shell/kavoform.h"
#include "shell/scenetree.h"

namespace kavo {

const TScriptClassInfo& TMeshClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TMeshClass", &TKavoMouseEvents::StaticInfo(), MakeScriptObject<TMeshClass>);
    TClassBuilder<TMeshClass>(i).Prop(
        "ID", TPropType::Integer, [](TMeshClass& m) { return TVariant(m.ID()); }, [](TMeshClass&, const TVariant&) {});
    return i;
  }();
  return info;
}

void TMeshClass::Create() {
  TKavoMouseEvents::Create();
  auto* node = Form.scene->sceneNode->CreateChild<scene::StaticMeshNode>("mesh");
  node->SetMaterialLibrary(&Form.scene->sharedMaterials);
  node->SetLightmapLibrary(&Form.scene->lightmaps);
  node->SetPitchAngle(90);
  node->SetHint("TMesh");
  SetNode(node);
  Form.nodeOwners[node] = Handle();
  Form.meshes.push_back(this);
  ApplyVisibility();
}

void TMeshClass::DestroyObject() {
  LeaveRegistry(Form.meshes, this);
  if (node_) {
    Form.nodeOwners.erase(node_);
    node_->Destroy();
    node_ = nullptr;
  }
  TKavoMouseEvents::DestroyObject();
}

void TMeshClass::Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

scene::StaticMeshNode* TMeshClass::MeshNode() const { return static_cast<scene::StaticMeshNode*>(node_); }

int TMeshClass::ID() const { return IndexInRegistry(Form.meshes, this); }

}  // namespace kavo
