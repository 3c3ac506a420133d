// TKavo_ScriptEnvoirement: the engine's single entry point into scripting.
// It owns the Lua host, keeps the reserved-name list (the runtime's own
// globals, never given script names nor saved) and offers the engine its
// calls: run a line, load a file, set a global, call a function.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "script/lua_host.h"

namespace kavo {

class TKavo_ScriptEnvoirement {
 public:
  explicit TKavo_ScriptEnvoirement(TKavoContext& ctx);

  void AddClass(const TScriptClassInfo& info, const std::string& name);
  void RunLine(const std::string& text) { host_->ExecuteLine(text); }
  void LoadFile(const std::string& fileName, bool force) { host_->LoadScriptFile(fileName, force); }
  void SetGlobal(const TVariant& value, const std::string& name) { host_->SetGlobalValue(value, name); }
  int CallWithData(const std::string& name, const TKavo_ScriptFunctionData& data) {
    return host_->CallScriptFunction(name, data);
  }
  int CallNoArgs(const std::string& name);
  int CallWithInteger(const std::string& name, int32_t value);
  int CallWithNumberAndTexts(const std::string& name, const std::string& text1, const std::string& text2,
                             float number);
  void SynchronizeNames() { host_->SynchronizeNames(reserved_); }

  TKavo_Lua& Host() { return *host_; }
  lua_State* State() const { return state_; }
  const std::vector<std::string>& ReservedNames() const { return reserved_; }

 private:
  std::unique_ptr<TKavo_Lua> host_;
  lua_State* state_;
  std::vector<std::string> reserved_;
};

// Makes an event call: loads the home script once (when given), then calls
// the function. An empty function name calls nothing and returns -1.
int CallEvent(TKavoContext& ctx, const std::string& homeScript, const std::string& function,
              const TKavo_ScriptFunctionData& data = {});

}  // namespace kavo
