// Helpers for script classes that live in one of the engine's registries
// (the mesh list, the actor list, ...): joining it on creation and leaving
// it on destruction, and the IDs that are a position in it.
#pragma once

#include <algorithm>
#include <vector>

#include "script/scriptclass.h"
#include "shell/kavoform.h"

namespace kavo {

using TRegistry = std::vector<TKavo_ScriptClass*> TKavoForm::*;

inline void LeaveRegistry(std::vector<TKavo_ScriptClass*>& list, TKavo_ScriptClass* obj) {
  auto it = std::find(list.begin(), list.end(), obj);
  if (it != list.end()) list.erase(it);
}

inline int IndexInRegistry(const std::vector<TKavo_ScriptClass*>& list, const TKavo_ScriptClass* obj) {
  auto it = std::find(list.begin(), list.end(), obj);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

// A factory for the class tables: constructs, then runs the virtual Create.
template <class T>
TKavo_ScriptClass* MakeScriptObject(TKavoForm& form) {
  T* obj = new T(form);
  obj->Create();
  return obj;
}

}  // namespace kavo
