// The twenty script classes in the order they are registered in Lua, with
// the names scripts know them by. Start-up registers them from this list and
// `kavo --api-reference` documents them from it.
#pragma once

#include <string>
#include <vector>

#include "script/scriptclass.h"

namespace kavo {

struct TScriptClassEntry {
  const char* name;                        // the script class name ("THudtrackbar")
  const TScriptClassInfo& (*info)();       // the engine class's class table
};

const std::vector<TScriptClassEntry>& ScriptClasses();

}  // namespace kavo
