// A compact way to declare a script class that so far only joins the object
// list and, optionally, one registry of the engine. Classes start out this
// way and grow their own members as the engine gains them.
#pragma once

#include "script/context.h"
#include "script/scriptclass.h"

#define KAVO_SIMPLE_CLASS_DECL(Cls)                                         \
  class Cls : public TKavo_ScriptClass {                                    \
    KAVO_SCRIPT_CLASS()                                                     \
   public:                                                                  \
    explicit Cls(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}             \
    void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }     \
  };

// Registry: a member of TKavoContext, or nothing.
#define KAVO_SIMPLE_CLASS_IMPL(Cls, Registry)                                                    \
  const TScriptClassInfo& Cls::StaticInfo() {                                                   \
    static TScriptClassInfo info = [] {                                                         \
      TScriptClassInfo i(#Cls, &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<Cls>);        \
      TClassBuilder<Cls> b(i);                                                                  \
      Registry;                                                                                 \
      b.Method("Destroy", &Cls::Script_Destroy, "");                                            \
      return i;                                                                                 \
    }();                                                                                        \
    return info;                                                                                \
  }
#define KAVO_NO_REGISTRY (void)0
#define KAVO_REGISTRY(member) b.Registry([](TKavoContext& c) -> TRegistryBase& { return c.member; }, false)
