// Checked handles: how Lua and every engine list that outlives a call into
// Lua refer to script objects. A handle is a slot and a generation; a handle
// to a destroyed object never resolves again.
#pragma once

#include <cstdint>
#include <vector>

namespace kavo {

class TKavo_ScriptClass;
class TScriptClassInfo;

// A checked reference to a script object: slot and generation. A handle to
// a destroyed object never resolves again.
using TObjectHandle = uint64_t;

class TObjectHandles {
 public:
  TObjectHandle Register(TKavo_ScriptClass* obj);
  void Unregister(TObjectHandle h);
  TKavo_ScriptClass* Resolve(TObjectHandle h) const {
    uint32_t slot = static_cast<uint32_t>(h & 0xFFFFFFFFu);
    uint32_t gen = static_cast<uint32_t>(h >> 32);
    if (slot >= slots_.size()) return nullptr;
    const Slot& s = slots_[slot];
    return s.generation == gen ? s.object : nullptr;
  }
  // The handle an object was registered under.
  static TObjectHandle HandleOf(const TKavo_ScriptClass* obj);
  // Class of the object a handle was made for, also after its destruction.
  const TScriptClassInfo* ClassOf(TObjectHandle h) const;

 private:
  struct Slot {
    TKavo_ScriptClass* object = nullptr;
    const TScriptClassInfo* info = nullptr;
    uint32_t generation = 1;
  };
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;
};

}  // namespace kavo
