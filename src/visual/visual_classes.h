// Visual classes whose members arrive with later work.
#pragma once

#include <cstdint>
#include <string>

#include "script/simpleclass.h"

namespace kavo {
KAVO_SIMPLE_CLASS_DECL(TLightClass)
KAVO_SIMPLE_CLASS_DECL(TSpriteClass)
KAVO_SIMPLE_CLASS_DECL(TShaderClass)
KAVO_SIMPLE_CLASS_DECL(TPostEffectClass)
KAVO_SIMPLE_CLASS_DECL(TSkyBoxClass)

class TMaterialsClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TMaterialsClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}
};

// Puts a shader (its index in the shader list) on a material of the shared
// library, or takes a material's shader off. Shaders get their programs with
// their class; until then materials keep drawing as they are.
void ApplyShaderToMaterial(TKavoContext& ctx, const std::string& material, int64_t shader);
void RemoveShaderFromMaterial(TKavoContext& ctx, const std::string& material);

}  // namespace kavo
