#include "visual/visual_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(TLightClass, KAVO_NO_REGISTRY)
KAVO_SIMPLE_CLASS_IMPL(TSpriteClass, KAVO_NO_REGISTRY)
KAVO_SIMPLE_CLASS_IMPL(TShaderClass, KAVO_REGISTRY(shaders))
KAVO_SIMPLE_CLASS_IMPL(TPostEffectClass, KAVO_REGISTRY(postEffects))
KAVO_SIMPLE_CLASS_IMPL(TSkyBoxClass, KAVO_NO_REGISTRY)

const TScriptClassInfo& TMaterialsClass::StaticInfo() {
  static TScriptClassInfo info("TMaterialsClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<TMaterialsClass>);
  return info;
}


void ApplyShaderToMaterial(TKavoContext&, const std::string&, int64_t) {}
void RemoveShaderFromMaterial(TKavoContext&, const std::string&) {}

}  // namespace kavo
