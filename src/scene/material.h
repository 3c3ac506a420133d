// Materials and material libraries. A material describes how a surface is
// drawn: front colours, blending, one texture with its modes, fog and
// lighting options, depth writes and an optional shader. A library is the
// ordered, uniquely named collection that models, sprites and scripts share.
#pragma once

#include "scene/texture.h"

#include <glm/glm.hpp>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kavo::scene {

enum class BlendingMode { Opaque, Transparency, Additive };
// How the texture colour meets the material colour.
enum class TextureMode { Replace, Modulate, Decal };

class Material;

// A shader bound to a material. The renderer sets up the fixed-function
// state (matrices, light, material, fog) first, then calls Apply, draws,
// and calls UnApply; GLSL programs can therefore read the built-in state.
class MaterialShader {
 public:
  virtual ~MaterialShader() = default;
  virtual void Apply(Material& material) = 0;
  virtual void UnApply(Material& material) = 0;
};

struct MaterialTexture {
  Texture image;
  TextureMode mode = TextureMode::Modulate;
  bool enabled = false;
  // Texture repetition across the surface (HUD sprites use this).
  float repeatX = 1.0f, repeatY = 1.0f;
};

class Material {
 public:
  explicit Material(std::string name = {}) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }

  // Front-face colours, RGBA 0..1.
  glm::vec4 ambient{0.2f, 0.2f, 0.2f, 1.0f};
  glm::vec4 diffuse{0.8f, 0.8f, 0.8f, 1.0f};
  glm::vec4 specular{0.0f, 0.0f, 0.0f, 1.0f};
  glm::vec4 emission{0.0f, 0.0f, 0.0f, 1.0f};
  float shininess = 0.0f;

  BlendingMode blending = BlendingMode::Opaque;
  bool ignoreFog = false;
  bool unlit = false;       // drawn without lighting, in the diffuse colour
  bool depthWrite = true;
  MaterialTexture texture;
  std::shared_ptr<MaterialShader> shader;

  TextureAlphaMode AlphaMode() const { return texture.image.AlphaMode(); }
  void SetAlphaMode(TextureAlphaMode m) { texture.image.SetAlphaMode(m); }
  bool Blended() const { return blending != BlendingMode::Opaque; }
  // Whether the texture is to be used when drawing.
  bool Textured() const { return texture.enabled && !texture.image.Empty(); }

  // Copies everything but the name and the texture picture (the texture's
  // modes are copied).
  void AssignLook(const Material& other);

 private:
  friend class MaterialLibrary;
  std::string name_;
};

class MaterialLibrary {
 public:
  // Called with a texture file's name (as the model writes it) before that
  // file is loaded for a material of a model. It may throw to stop the load.
  using TextureNeededFn = std::function<void(const std::string& textureFile)>;

  MaterialLibrary() = default;
  MaterialLibrary(const MaterialLibrary&) = delete;
  MaterialLibrary& operator=(const MaterialLibrary&) = delete;

  size_t Count() const { return materials_.size(); }
  Material* At(size_t index) const { return index < materials_.size() ? materials_[index].get() : nullptr; }
  // Exact, case-sensitive.
  Material* Find(std::string_view name) const;
  int IndexOf(std::string_view name) const;  // -1 when missing

  // Appends a material. A taken name gets the smallest free numeric suffix
  // 1, 2, ... ("wood" -> "wood1"). Pointers stay valid for the library's life.
  Material& Add(std::string_view name);
  // The material with that name, appended first when missing.
  Material& FindOrAdd(std::string_view name);
  std::string UniqueName(std::string_view name) const;
  void Clear();

  void SetTextureNeeded(TextureNeededFn fn) { textureNeeded_ = std::move(fn); }
  // Runs the texture-needed callback (if any); exceptions pass through.
  void NotifyTextureNeeded(const std::string& textureFile) const {
    if (textureNeeded_) textureNeeded_(textureFile);
  }

 private:
  std::vector<std::unique_ptr<Material>> materials_;
  std::unordered_map<std::string, size_t> index_;
  // Per taken base name, the first suffix that may still be free: every
  // suffix below it is taken (materials only leave the library all at
  // once), so adding n materials of one name costs n look-ups, not n^2.
  mutable std::unordered_map<std::string, size_t> nextSuffix_;
  TextureNeededFn textureNeeded_;
};

}  // namespace kavo::scene
