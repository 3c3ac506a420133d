// glTF models (.gltf with embedded buffers, .glb) read by assimp from
// memory. Other assimp importers are not offered: fed corrupt files, some
// of them (PLY, Collada) hang or allocate without bound, which a game file
// must never be able to cause; glTF survives garbage input. Only triangulation is asked for: no step that merges,
// reorders or transforms vertices. Each assimp mesh becomes one mesh object
// with one face group naming its material; meshes keep assimp's order and
// their own coordinates (node transforms are not applied).
#include "scene/model_loaders.h"

#include <assimp/cimport.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <array>
#include <limits>

namespace kavo::scene::detail {

namespace {

constexpr std::array<std::string_view, 2> kAssimpExtensions = {"gltf", "glb"};

std::string MaterialString(const aiMaterial* m, const char* key, unsigned type, unsigned index) {
  aiString s;
  if (aiGetMaterialString(m, key, type, index, &s) == aiReturn_SUCCESS) return std::string(s.data, s.length);
  return {};
}

void MaterialColour(const aiMaterial* m, const char* key, unsigned type, unsigned index, glm::vec4& out) {
  aiColor4D c;
  if (aiGetMaterialColor(m, key, type, index, &c) == aiReturn_SUCCESS) out = {c.r, c.g, c.b, out.a};
}

}  // namespace

bool AssimpKnowsExtension(std::string_view lowerExt) {
  for (std::string_view e : kAssimpExtensions)
    if (e == lowerExt) return true;
  return false;
}

bool LoadWithAssimp(std::string_view fileName, const std::string& bytes, MeshData& out, std::string& error) {
  if (bytes.empty()) {
    error = "empty file";  // assimp asserts on empty input
    return false;
  }
  if (bytes.size() > std::numeric_limits<unsigned>::max()) {
    error = "model file too large";
    return false;
  }
  std::string hint;
  size_t dot = fileName.find_last_of('.');
  if (dot != std::string_view::npos) hint = std::string(fileName.substr(dot + 1));
  const aiScene* scene = aiImportFileFromMemory(bytes.data(), static_cast<unsigned>(bytes.size()),
                                                aiProcess_Triangulate, hint.c_str());
  if (!scene) {
    error = std::string("assimp: ") + aiGetErrorString();
    return false;
  }
  MeshData data;
  for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
    const aiMaterial* m = scene->mMaterials[i];
    ModelMaterial mm;
    mm.name = MaterialString(m, AI_MATKEY_NAME);
    MaterialColour(m, AI_MATKEY_COLOR_AMBIENT, mm.ambient);
    MaterialColour(m, AI_MATKEY_COLOR_DIFFUSE, mm.diffuse);
    MaterialColour(m, AI_MATKEY_COLOR_SPECULAR, mm.specular);
    float opacity = 1.0f;
    unsigned max = 1;
    if (aiGetMaterialFloatArray(m, AI_MATKEY_OPACITY, &opacity, &max) == aiReturn_SUCCESS && opacity >= 0.0f &&
        opacity <= 1.0f)
      mm.opacity = opacity;
    mm.ambient.a = mm.diffuse.a = mm.specular.a = mm.opacity;
    mm.textureFile = MaterialString(m, _AI_MATKEY_TEXTURE_BASE, aiTextureType_DIFFUSE, 0);
    data.materials.push_back(std::move(mm));
  }
  for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
    const aiMesh* mesh = scene->mMeshes[i];
    MeshObject obj;
    obj.name = std::string(mesh->mName.data, mesh->mName.length);
    obj.positions.reserve(mesh->mNumVertices);
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
      obj.positions.push_back({mesh->mVertices[v].x, mesh->mVertices[v].y, mesh->mVertices[v].z});
    if (mesh->mNormals)
      for (unsigned v = 0; v < mesh->mNumVertices; ++v)
        obj.normals.push_back({mesh->mNormals[v].x, mesh->mNormals[v].y, mesh->mNormals[v].z});
    if (mesh->mTextureCoords[0])
      for (unsigned v = 0; v < mesh->mNumVertices; ++v)
        obj.texCoords.push_back({mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y});
    FaceGroup group;
    if (mesh->mMaterialIndex < data.materials.size()) group.materialName = data.materials[mesh->mMaterialIndex].name;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
      const aiFace& face = mesh->mFaces[f];
      if (face.mNumIndices != 3) continue;  // points and lines
      bool inRange = true;
      for (unsigned k = 0; k < 3; ++k) inRange = inRange && face.mIndices[k] < mesh->mNumVertices;
      if (!inRange) continue;
      for (unsigned k = 0; k < 3; ++k) group.indices.push_back(face.mIndices[k]);
    }
    obj.fileTriangles = group.indices;
    if (!group.indices.empty()) obj.faceGroups.push_back(std::move(group));
    data.objects.push_back(std::move(obj));
  }
  aiReleaseImport(scene);
  out = std::move(data);
  return true;
}

}  // namespace kavo::scene::detail
