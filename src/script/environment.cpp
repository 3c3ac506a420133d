#include "script/environment.h"

#include "script/context.h"

namespace kavo {

TKavo_ScriptEnvoirement::TKavo_ScriptEnvoirement(TKavoContext& ctx)
    : host_(std::make_unique<TKavo_Lua>(ctx)),
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

int CallEvent(TKavoContext& ctx, const std::string& homeScript, const std::string& function,
              const TKavo_ScriptFunctionData& data) {
  if (function.empty() || ctx.script == nullptr) return -1;
  if (!homeScript.empty()) ctx.script->LoadFile(homeScript, false);
  return ctx.script->CallWithData(function, data);
}

}  // namespace kavo
