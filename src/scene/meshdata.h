// A loaded model as the scene layer keeps it: mesh objects in the order of
// the file, each with its face groups in the order of the file. Scripts
// address both by index, so the loaders must keep that order.
#pragma once

#include <glm/glm.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kavo::scene {

struct FaceGroup {
  std::string materialName;       // name of a material in the node's material library
  std::vector<uint32_t> indices;  // triangle list, three indices per triangle
};

struct MeshObject {
  std::string name;
  bool visible = true;
  std::vector<glm::vec3> positions;
  std::vector<glm::vec3> normals;    // empty or one per position
  std::vector<glm::vec2> texCoords;  // empty or one per position
  std::vector<glm::vec3> tangents;   // filled by BuildTangentSpace
  std::vector<glm::vec3> binormals;
  std::vector<FaceGroup> faceGroups;
  // Every triangle of the object once, in the order the file lists them,
  // three indices each. Face groups may reorder or repeat faces (3DS groups
  // by material); ray tests, collisions and navigation cells use this list.
  // When empty (data built by hand), the face groups in order stand for it.
  std::vector<uint32_t> fileTriangles;
};

// A material as a model file describes it; the loading node adds these to
// its material library (names made unique there).
struct ModelMaterial {
  std::string name;
  glm::vec4 ambient{0.2f, 0.2f, 0.2f, 1.0f};
  glm::vec4 diffuse{0.8f, 0.8f, 0.8f, 1.0f};
  glm::vec4 specular{0.0f, 0.0f, 0.0f, 1.0f};
  float opacity = 1.0f;
  std::string textureFile;  // as written in the model file, may be empty
};

struct MeshData {
  std::vector<MeshObject> objects;
  std::vector<ModelMaterial> materials;
};

}  // namespace kavo::scene
