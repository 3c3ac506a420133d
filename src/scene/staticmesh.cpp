#include "scene/staticmesh.h"

#include "scene/fileaccess.h"
#include "scene/visitor.h"
#include "core/errors.h"

#include <cmath>
#include <unordered_map>

namespace kavo::scene {

void NodeVisitor::VisitStaticMesh(StaticMeshNode& n) { VisitNode(n); }

namespace {
// The folder part of a file name, ending in its separator ("" for none).
std::string FolderOf(const std::string& fileName) {
  size_t cut = fileName.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : fileName.substr(0, cut + 1);
}
}  // namespace

StaticMeshNode::StaticMeshNode(std::string name) : Node(std::move(name)) {}
StaticMeshNode::~StaticMeshNode() = default;

MaterialLibrary& StaticMeshNode::Materials() {
  if (materials_) return *materials_;
  if (!ownLibrary_) ownLibrary_ = std::make_unique<MaterialLibrary>();
  return *ownLibrary_;
}

void StaticMeshNode::LoadFromFile(const std::string& fileName) {
  std::string bytes;
  if (!OpenSceneFile(fileName, bytes)) throw EKavoError(fileName, kErrModelFile);
  LoadFromBytes(fileName, bytes);
}

void StaticMeshNode::LoadFromBytes(const std::string& fileName, const std::string& bytes) {
  MeshData loaded;
  std::string error;
  if (!LoadModel(fileName, bytes, loaded, error))
    throw EKavoError(error.empty() ? "Unable to load model " + fileName : error, kErrUnnumbered);
  AdoptModel(fileName, std::move(loaded));
}

void StaticMeshNode::AdoptModel(const std::string& fileName, MeshData loaded) {
  // Add the model's materials to the library; names may change there, so
  // the face groups are renamed to match.
  MaterialLibrary& lib = Materials();
  const std::string folder = FolderOf(fileName);
  std::unordered_map<std::string, std::string> renamed;
  for (const ModelMaterial& mm : loaded.materials) {
    Material& m = lib.Add(mm.name);
    renamed.emplace(mm.name, m.Name());
    m.ambient = mm.ambient;
    m.diffuse = mm.diffuse;
    m.specular = mm.specular;
    float opacity = std::isfinite(mm.opacity) ? std::fmin(std::fmax(mm.opacity, 0.0f), 1.0f) : 1.0f;
    m.diffuse.a = opacity;
    if (opacity < 1.0f) m.blending = BlendingMode::Transparency;
    if (!mm.textureFile.empty()) {
      lib.NotifyTextureNeeded(mm.textureFile);
      m.texture.image.LoadFromFile(folder + mm.textureFile);
      m.texture.mode = TextureMode::Modulate;
      m.texture.enabled = true;
    }
  }
  for (MeshObject& obj : loaded.objects)
    for (FaceGroup& g : obj.faceGroups) {
      auto it = renamed.find(g.materialName);
      if (it != renamed.end()) g.materialName = it->second;
    }

  data_ = std::move(loaded);
  fileName_ = fileName;
  StructureChanged();
}

void StaticMeshNode::SetMeshData(MeshData data) {
  data_ = std::move(data);
  StructureChanged();
}

void StaticMeshNode::Clear() {
  data_ = MeshData{};
  fileName_.clear();
  StructureChanged();
}

const Material* StaticMeshNode::FaceGroupMaterial(const FaceGroup& group) const {
  if (!useMeshMaterials_) return &material;
  const MaterialLibrary* lib = MaterialLibraryPtr();
  return lib ? lib->Find(group.materialName) : nullptr;
}

bool StaticMeshNode::IsBlended() const {
  if (!useMeshMaterials_) return material.Blended();
  for (const MeshObject& o : data_.objects)
    for (const FaceGroup& g : o.faceGroups)
      if (const Material* m = FaceGroupMaterial(g); m && m->Blended()) return true;
  return false;
}

void StaticMeshNode::StructureChanged() {
  Node::StructureChanged();
  octree_.Clear();
  octreeValid_ = false;
  boundsState_ = -1;
  ++structureVersion_;
}

bool StaticMeshNode::LocalBounds(glm::vec3& minCorner, glm::vec3& maxCorner) const {
  if (boundsState_ < 0) boundsState_ = ComputeBounds(data_, boundsLo_, boundsHi_) ? 1 : 0;
  minCorner = boundsLo_;
  maxCorner = boundsHi_;
  return boundsState_ == 1;
}

void StaticMeshNode::BuildOctree(int depth) {
  octree_.Build(data_, depth);
  octreeValid_ = true;
}

std::optional<RayHit> StaticMeshNode::RayIntersect(const Ray& absoluteRay) const {
  if (!octreeValid_) {
    octree_.Build(data_, 3);
    octreeValid_ = true;
  }
  return IntersectPlaced(octree_, AbsoluteMatrix(), absoluteRay);
}

void StaticMeshNode::Accept(NodeVisitor& v) { v.VisitStaticMesh(*this); }

}  // namespace kavo::scene
