// Visual classes whose members arrive with later work.
#pragma once

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
  explicit TMaterialsClass(TKavoForm& form) : TKavo_ScriptClass(form) {}
  void Create() override;
  void DestroyObject() override;
};
}  // namespace kavo
