// The static mesh node: a loaded model (MeshData) drawn with the materials
// of a shared material library, or with the node's own material. Loading
// goes through LoadModel and the scene file access; textures named by the
// model are looked up in the model's folder. Ray tests use a triangle octree
// in model coordinates and answer in absolute coordinates.
#pragma once

#include "scene/geometry.h"
#include "scene/material.h"
#include "scene/meshdata.h"
#include "scene/node.h"

#include <memory>
#include <optional>
#include <string>

namespace kavo::scene {

class StaticMeshNode : public Node {
 public:
  explicit StaticMeshNode(std::string name = {});
  ~StaticMeshNode() override;

  // Reads the model through the scene file access and loads it. Raises
  // EKavoError with the model-file number when the file cannot be read or
  // parsed; exceptions from the texture-needed callback pass through.
  void LoadFromFile(const std::string& fileName);
  // Loads a model from bytes; the file name picks the format and names the
  // folder the textures are looked up in.
  void LoadFromBytes(const std::string& fileName, const std::string& bytes);
  // Takes model data as it is (materials must already be in the library).
  void SetMeshData(MeshData data);
  const MeshData& Data() const { return data_; }
  MeshData& MutableData() { return data_; }  // call StructureChanged() after changes
  const std::string& FileName() const { return fileName_; }
  void Clear();

  // Material libraries (not owned). Without a shared library the node keeps
  // a private one.
  void SetMaterialLibrary(MaterialLibrary* lib) { materials_ = lib; }
  MaterialLibrary& Materials();
  const MaterialLibrary* MaterialLibraryPtr() const { return materials_ ? materials_ : ownLibrary_.get(); }
  void SetLightmapLibrary(MaterialLibrary* lib) { lightmaps_ = lib; }
  MaterialLibrary* LightmapLibrary() const { return lightmaps_; }

  // true: each face group uses the material its model names; false: the
  // whole mesh uses the node's own material.
  bool UseMeshMaterials() const { return useMeshMaterials_; }
  void SetUseMeshMaterials(bool on) { useMeshMaterials_ = on; }
  Material material;

  // The material a face group is drawn with (nullptr when it names none).
  const Material* FaceGroupMaterial(const FaceGroup& group) const;

  // Nearest hit of a ray given in absolute coordinates; point and normal
  // are absolute, distance is along the absolute ray. Builds the octree
  // (depth 3) on first use.
  std::optional<RayHit> RayIntersect(const Ray& absoluteRay) const;
  void BuildOctree(int depth = 3);

  // Axis-aligned bounds of all vertices in the node's own coordinates,
  // worked out once per change of structure; false when there are none.
  bool LocalBounds(glm::vec3& minCorner, glm::vec3& maxCorner) const;
  // Counts the changes of structure (StructureChanged).
  uint64_t StructureVersion() const { return structureVersion_; }

  bool IsBlended() const override;
  void StructureChanged() override;
  void Accept(NodeVisitor& v) override;

 protected:
  // Takes a loaded model: its materials join the library (their textures
  // looked up in the model's folder, face groups renamed to the names the
  // library gave) and it becomes the node's data. A texture that cannot be
  // loaded raises EKavoError with the node's data as it was.
  void AdoptModel(const std::string& fileName, MeshData loaded);

 private:
  MeshData data_;
  std::string fileName_;
  MaterialLibrary* materials_ = nullptr;
  MaterialLibrary* lightmaps_ = nullptr;
  std::unique_ptr<MaterialLibrary> ownLibrary_;
  bool useMeshMaterials_ = true;
  mutable TriangleOctree octree_;
  mutable bool octreeValid_ = false;
  mutable int boundsState_ = -1;  // -1 not worked out, 0 no vertices, 1 in the corners
  mutable glm::vec3 boundsLo_{0.0f}, boundsHi_{0.0f};
  uint64_t structureVersion_ = 0;
};

}  // namespace kavo::scene
