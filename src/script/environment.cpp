#include "script/environment.h"

#include "shell/kavoform.h"

namespace kavo {

TKavo_ScriptEnvoirement::TKavo_ScriptEnvoirement(TKavoForm& form)
    : host_(std::make_unique<TKavo_Lua>(form)),
      state_(host_->GetState()),
      reserved_{"coroutine", "string", "table", "math", "_G", "_VERSION", "newproxy"} {}

void TKavo_ScriptEnvoirement::AddClass(const TScriptClassInfo& info, const std::string& name) {
  reserved_.push_back(name);
  info.SetScriptClassName(name);
  host_->RegisterScriptClass(info, name);
}

int TKavo_ScriptEnvoirement::CallNoArgs(const std::string& name) { return CallWithData(name, {}); }

int TKavo_ScriptEnvoirement::CallWithInteger(const std::string& name, int32_t value) {
  TKavo_ScriptFunctionData d;
  d.Args.emplace_back(value);
  return CallWithData(name, d);
}

int TKavo_ScriptEnvoirement::CallWithNumberAndTexts(const std::string& name, const std::string& text1,
                                                    const std::string& text2, float number) {
  TKavo_ScriptFunctionData d;
  d.Args.emplace_back(static_cast<double>(number));
  d.Args.emplace_back(text1);
  d.Args.emplace_back(text2);
  return CallWithData(name, d);
}

int CallEvent(TKavoForm& form, const std::string& homeScript, const std::string& function,
              const TKavo_ScriptFunctionData& data) {
  if (function.empty() || !form.HasScript()) return -1;
  if (!homeScript.empty()) form.Script().LoadFile(homeScript, false);
  return form.Script().CallWithData(function, data);
}

}  // namespace kavo
