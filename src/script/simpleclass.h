// A compact way to declare a script class that so far only joins the object
// list and, optionally, one registry of the main window. Classes start out
// this way and grow their own members as the engine gains them.
#pragma once

#include "script/registered.h"

#define KAVO_SIMPLE_CLASS_DECL(Cls)                                         \
  class Cls : public TKavo_ScriptClass {                                    \
    KAVO_SCRIPT_CLASS()                                                     \
   public:                                                                  \
    explicit Cls(TKavoForm& form) : TKavo_ScriptClass(form) {}              \
    void Create() override;                                                 \
    void DestroyObject() override;                                          \
    void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }     \
  };

// Registry: a pointer to a TKavoForm list member, or nullptr.
#define KAVO_SIMPLE_CLASS_IMPL(Cls, Registry, Destroyable)                                       \
  const TScriptClassInfo& Cls::StaticInfo() {                                                   \
    static TScriptClassInfo info = [] {                                                         \
      TScriptClassInfo i(#Cls, &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<Cls>);        \
      if (Destroyable) TClassBuilder<Cls>(i).Method("Destroy", &Cls::Script_Destroy);           \
      return i;                                                                                 \
    }();                                                                                        \
    return info;                                                                                \
  }                                                                                             \
  void Cls::Create() {                                                                          \
    TKavo_ScriptClass::Create();                                                                \
    TRegistry reg = Registry;                                                                   \
    if (reg) (Form.*reg).push_back(this);                                                       \
  }                                                                                             \
  void Cls::DestroyObject() {                                                                   \
    TRegistry reg = Registry;                                                                   \
    if (reg) LeaveRegistry(Form.*reg, this);                                                    \
    TKavo_ScriptClass::DestroyObject();                                                         \
  }
