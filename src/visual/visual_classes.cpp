#include "visual/visual_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(TLightClass, nullptr, true)
KAVO_SIMPLE_CLASS_IMPL(TSpriteClass, nullptr, true)
KAVO_SIMPLE_CLASS_IMPL(TShaderClass, &TKavoForm::shaders, true)
KAVO_SIMPLE_CLASS_IMPL(TPostEffectClass, &TKavoForm::postEffects, true)
KAVO_SIMPLE_CLASS_IMPL(TSkyBoxClass, nullptr, true)

const TScriptClassInfo& TMaterialsClass::StaticInfo() {
  static TScriptClassInfo info("TMaterialsClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<TMaterialsClass>);
  return info;
}

void TMaterialsClass::Create() {
  TKavo_ScriptClass::Create();
  Form.materialsObject = this;  // the newest one takes the role over
}

void TMaterialsClass::DestroyObject() {
  if (Form.materialsObject == this) Form.materialsObject = nullptr;
  TKavo_ScriptClass::DestroyObject();
}
}  // namespace kavo
