#include "scene/material.h"

namespace kavo::scene {

void Material::AssignLook(const Material& o) {
  ambient = o.ambient;
  diffuse = o.diffuse;
  specular = o.specular;
  emission = o.emission;
  shininess = o.shininess;
  blending = o.blending;
  ignoreFog = o.ignoreFog;
  unlit = o.unlit;
  depthWrite = o.depthWrite;
  texture.mode = o.texture.mode;
  texture.enabled = o.texture.enabled;
  texture.repeatX = o.texture.repeatX;
  texture.repeatY = o.texture.repeatY;
  texture.image.SetAlphaMode(o.texture.image.AlphaMode());
  texture.image.SetFormat(o.texture.image.Format());
  shader = o.shader;
}

Material* MaterialLibrary::Find(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : materials_[static_cast<size_t>(i)].get();
}

int MaterialLibrary::IndexOf(std::string_view name) const {
  auto it = index_.find(std::string(name));
  return it == index_.end() ? -1 : static_cast<int>(it->second);
}

std::string MaterialLibrary::UniqueName(std::string_view name) const {
  std::string base(name);
  if (!index_.count(base)) return base;
  size_t& n = nextSuffix_.emplace(base, 1).first->second;
  for (;; ++n) {
    std::string candidate = base + std::to_string(n);
    if (!index_.count(candidate)) return candidate;
  }
}

Material& MaterialLibrary::Add(std::string_view name) {
  std::string unique = UniqueName(name);
  materials_.push_back(std::make_unique<Material>(unique));
  index_.emplace(std::move(unique), materials_.size() - 1);
  return *materials_.back();
}

Material& MaterialLibrary::FindOrAdd(std::string_view name) {
  if (Material* m = Find(name)) return *m;
  return Add(name);
}

void MaterialLibrary::Clear() {
  materials_.clear();
  index_.clear();
  nextSuffix_.clear();
}

}  // namespace kavo::scene
