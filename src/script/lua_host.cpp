#include "script/lua_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cmath>

#include "archive/cipher.h"
#include "core/log.h"
#include "platform/files.h"
#include "script/context.h"
#include "script/lua_utils.h"

namespace kavo {

namespace {

// Every native function below catches at its boundary: nothing thrown in
// engine code reaches Lua, which unwinds with longjmp.

const char kObjectTablesKey[] = "kavo.objecttables";

inline TObjectHandle HandleAt(lua_State* L, int upvalue) {
  return static_cast<TObjectHandle>(reinterpret_cast<uintptr_t>(lua_touserdata(L, lua_upvalueindex(upvalue))));
}
template <class T>
inline T* PointerAt(lua_State* L, int upvalue) {
  return static_cast<T*>(lua_touserdata(L, lua_upvalueindex(upvalue)));
}

std::string KeyText(lua_State* L, int index) {
  if (lua_type(L, index) == LUA_TSTRING || lua_type(L, index) == LUA_TNUMBER) {
    size_t len = 0;
    lua_pushvalue(L, index);  // lua_tolstring converts numbers in place: work on a copy
    const char* s = lua_tolstring(L, -1, &len);
    std::string k(s, len);
    lua_pop(L, 1);
    return k;
  }
  return lua_typename(L, lua_type(L, index));
}

void ReportScriptError(TKavoContext& ctx, const std::string& line, int number) {
  KavoLog(line);
  if (ctx.DebugMode()) ctx.ShowFatalError(line, number);
}

// Reports a failed method call; the call still returns one value: the last
// argument, or the method closure itself when there were none.
int MethodFailed(lua_State* L, TKavoContext& ctx, int n, const std::string& failure, int number) {
  ReportScriptError(ctx, "Script Error: Calling object property failed: (" + failure + ")!", number);
  lua_settop(L, n);
  if (n > 0) {
    lua_pushvalue(L, n);
  } else {
    lua_Debug ar;
    if (lua_getstack(L, 0, &ar) && lua_getinfo(L, "f", &ar)) return 1;
    lua_pushnil(L);
  }
  return 1;
}

// Calls with only Lua numbers reach a method bound from an all-numeric
// signature without an argument record; at most this many numbers.
constexpr int kMaxNumberArgs = 8;

// obj.Method(...) -- upvalues: handle, the method's binding.
int MethodClosure(lua_State* L) {
  const TMethodBinding* binding = PointerAt<const TMethodBinding>(L, 2);
  TKavo_Lua* host = binding->host;
  TKavoContext& ctx = *binding->ctx;
  if (ctx.halted) return 0;
  const int n = lua_gettop(L);
  const TScriptMethod* method = binding->method;
  TKavo_ScriptClass* obj = ctx.handles.Resolve(HandleAt(L, 1));
  std::string failure;
  int number = kErrUnnumbered;
  // The record lives in the host's pool, not in this frame: the result is
  // pushed from it after everything of this frame that needs destroying is
  // gone, so a Lua error in the push (memory at the heap cap) skips nothing.
  TKavo_ScriptFunctionData& data = host->AcquireCallData();
  try {
    bool done = false;
    if (obj == nullptr) {
      failure = "Object " + binding->info->DisplayName() + " was destroyed";
      number = kErrScript;
      done = true;
    } else if (method->callNumbers != nullptr && n <= kMaxNumberArgs) {
      // Calls of all-numeric bound methods with only numbers: no arguments
      // in the record. When the numbers fail the checks, the record path
      // below runs and reports why.
      double numbers[kMaxNumberArgs];
      bool allNumbers = true;
      for (int i = 0; i < n && allNumbers; ++i) {
        allNumbers = lua_type(L, i + 1) == LUA_TNUMBER;
        if (allNumbers) numbers[i] = lua_tonumber(L, i + 1);
      }
      done = allNumbers && method->callNumbers(*obj, numbers, n, data.Result);
    }
    if (!done) {
      data.Method = method->name.c_str();
      data.Args.reserve(static_cast<size_t>(n));
      for (int i = 1; i <= n; ++i) {
        if (lua_type(L, i) == LUA_TNUMBER) {
          // The common case without a temporary: numbers.
          double v = lua_tonumber(L, i);
          if (v >= -2147483647.0 && v <= 2147483647.0 && v == std::floor(v))  // NaN fails the range
            data.Args.emplace_back(static_cast<int64_t>(v));
          else
            data.Args.emplace_back(v);
        } else {
          data.Args.push_back(LuaToVariant(L, i));
        }
      }
      method->call(*obj, data);
    }
  } catch (const EKavoError& e) {
    failure = e.what();
    number = e.Number();
  } catch (const std::exception& e) {
    failure = e.what();
    number = kErrUnnumbered;
  } catch (...) {
    failure = "Unknown error";
    number = kErrUnnumbered;
  }
  host->ReleaseCallData();
  if (!failure.empty()) return MethodFailed(L, ctx, n, failure, number);
  lua_settop(L, n);
  PushVariant(L, data.Result);
  return 1;
}

// The object a property closure works on and the property its key names
// (either may be missing). Upvalues: handle, class binding.
struct TPropertyTarget {
  TKavo_ScriptClass* obj = nullptr;
  const TScriptProperty* prop = nullptr;
};

inline TPropertyTarget FindPropertyTarget(lua_State* L, TKavoContext& ctx, const TScriptClassInfo* info) {
  TPropertyTarget t;
  t.obj = ctx.handles.Resolve(HandleAt(L, 1));
  if (t.obj != nullptr) {
    // The key is the closure's own copy: a number key may be turned into
    // its text in place (it names no property either way); other keys give
    // no text.
    size_t len = 0;
    if (const char* s = lua_tolstring(L, 2, &len)) t.prop = info->FindPropertyInterned(s, len);
  }
  return t;
}

// Logs a failed read or write ("get" or "set"); returns the key's text.
std::string ReportPropertyFailure(lua_State* L, TKavo_Lua* host, const TScriptClassInfo* info, bool destroyed,
                                  const char* verb, int number) {
  std::string key;
  try {
    key = KeyText(L, 2);
  } catch (...) {
  }
  if (destroyed)
    ReportScriptError(host->Context(),
                      "Script Error: Object " + info->DisplayName() + " was destroyed, but tried to " + verb + " " +
                          key + " in " + host->CurrentScriptName(),
                      kErrScript);
  else
    ReportScriptError(host->Context(),
                      "Script Error: Property " + info->DisplayName() + "." + key + " is not defined, but tried to " +
                          verb + " in " + host->CurrentScriptName(),
                      number);
  return key;
}

// __index(table, key)
int IndexClosure(lua_State* L) {
  const TClassBinding* binding = PointerAt<const TClassBinding>(L, 2);
  TKavo_Lua* host = binding->host;
  TKavoContext& ctx = *binding->ctx;
  if (ctx.halted) return 0;
  const TScriptClassInfo* info = binding->info;
  bool destroyed = false;
  try {
    TPropertyTarget t = FindPropertyTarget(L, ctx, info);
    destroyed = t.obj == nullptr;
    if (t.prop) {
      if (t.prop->getNumber) {
        // Numbers go straight to Lua.
        const double v = t.prop->getNumber(*t.obj);
        lua_pushnumber(L, v);
        return 1;
      }
      const TVariant value = ReadPropertyForScript(*t.obj, *t.prop);
      PushVariant(L, value);
      return 1;
    }
  } catch (...) {
  }
  // An unknown property reads as its own name; a destroyed object's as nil.
  std::string key = ReportPropertyFailure(L, host, info, destroyed, "get", kErrScript);
  if (destroyed)
    lua_pushnil(L);
  else
    lua_pushlstring(L, key.data(), key.size());
  return 1;
}

// Writes a Lua number to a numeric property by the write rules; false when
// the number is not taken (the variant path then reports why).
inline bool WriteNumber(TKavo_ScriptClass& obj, const TScriptProperty& p, double v) {
  switch (p.type) {
    case TPropType::Single:
    case TPropType::Double: p.setNumber(obj, v); return true;
    case TPropType::Integer:
    case TPropType::Byte: {
      if (!std::isfinite(v)) return false;
      const double t = std::trunc(v);
      const bool inRange = p.type == TPropType::Byte ? (t >= 0 && t <= 255) : (t >= -2147483648.0 && t <= 2147483647.0);
      if (!inRange) return false;
      p.setNumber(obj, t);
      return true;
    }
    default: return false;
  }
}

// __newindex(table, key, value)
int NewIndexClosure(lua_State* L) {
  const TClassBinding* binding = PointerAt<const TClassBinding>(L, 2);
  TKavo_Lua* host = binding->host;
  TKavoContext& ctx = *binding->ctx;
  if (ctx.halted) return 0;
  const TScriptClassInfo* info = binding->info;
  int number = kErrUnnumbered;
  bool destroyed = false;
  try {
    TPropertyTarget t = FindPropertyTarget(L, ctx, info);
    destroyed = t.obj == nullptr;
    if (t.prop) {
      if (t.prop->setNumber && lua_type(L, 3) == LUA_TNUMBER && WriteNumber(*t.obj, *t.prop, lua_tonumber(L, 3)))
        return 0;
      TVariant v = ConvertForProperty(LuaToVariant(L, 3), t.prop->type);
      if (t.prop->set) t.prop->set(*t.obj, v);  // a read-only property takes the write and ignores it
      return 0;
    }
  } catch (const EKavoError& e) {
    number = e.Number();
  } catch (...) {
    number = kErrUnnumbered;
  }
  ReportPropertyFailure(L, host, info, destroyed, "set", number);
  return 0;
}

// T.Create(...) -- upvalues: class infos record, host.
int CreateClosure(lua_State* L) {
  TKavo_ClassInfos* ci = PointerAt<TKavo_ClassInfos>(L, 1);
  TKavo_Lua* host = PointerAt<TKavo_Lua>(L, 2);
  std::string failure;
  try {
    host->CreateObject(*ci->info);
    return 1;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unknown error";
  }
  ReportScriptError(host->Context(), "Script Error: Unable to create object " + ci->name + " (" + failure + ")",
                    kErrScript);
  lua_pushnil(L);
  return 1;
}

// Sets t.ScriptName = name on a plain Lua table, protected.
int SetScriptNameField(lua_State* L) {
  // stack: table, name
  lua_pushvalue(L, 2);
  lua_setfield(L, 1, "ScriptName");
  return 0;
}

// The engine's own calls into Lua run protected (lua_cpcall): a Lua error
// raised inside them (a game's metatables, memory at the heap cap) comes
// back as a status and a message, never as a jump through engine frames.
// The functions below hold no C++ objects that need destroying.

// A global function by name, looked up raw: whatever a game's metatable on
// the globals does, a missing function is just missing.
struct TCallRequest {
  const char* name;
  size_t nameLength;
  const TKavo_ScriptFunctionData* data;
  bool found;
};

int ProtectedCallGlobal(lua_State* L) {
  auto* r = static_cast<TCallRequest*>(lua_touserdata(L, 1));
  lua_pushlstring(L, r->name, r->nameLength);
  lua_rawget(L, LUA_GLOBALSINDEX);
  if (!lua_isfunction(L, -1)) return 0;
  r->found = true;
  const int n = static_cast<int>(r->data->Args.size());
  luaL_checkstack(L, n + 2, "too many arguments");
  for (const TVariant& arg : r->data->Args) PushVariant(L, arg);
  lua_call(L, n, 0);
  return 0;
}

// Sets a global raw: engine globals ignore a game's guards on the globals.
struct TSetGlobalRequest {
  const char* name;
  size_t nameLength;
  const TVariant* value;
  lua_CFunction function;  // set this instead of the value when given
};

int ProtectedSetGlobal(lua_State* L) {
  auto* r = static_cast<TSetGlobalRequest*>(lua_touserdata(L, 1));
  lua_pushlstring(L, r->name, r->nameLength);
  if (r->function)
    lua_pushcfunction(L, r->function);
  else
    PushVariant(L, *r->value);
  lua_rawset(L, LUA_GLOBALSINDEX);
  return 0;
}

struct TClassTableRequest {
  const char* name;
  size_t nameLength;
  void* classInfos;
  void* host;
};

int ProtectedRegisterClass(lua_State* L) {
  auto* r = static_cast<TClassTableRequest*>(lua_touserdata(L, 1));
  lua_pushlstring(L, r->name, r->nameLength);
  lua_createtable(L, 0, 1);
  lua_pushlightuserdata(L, r->classInfos);
  lua_pushlightuserdata(L, r->host);
  lua_pushcclosure(L, CreateClosure, 2);
  lua_setfield(L, -2, "Create");
  lua_rawset(L, LUA_GLOBALSINDEX);
  return 0;
}

std::string ErrorText(lua_State* L) {
  const char* m = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : nullptr;
  return m ? m : "";
}

}  // namespace

namespace {
// Lua's heap is capped: a runaway script gets Lua's "not enough memory"
// error (reported like any script error) instead of exhausting the machine.
constexpr size_t kLuaHeapLimit = size_t(2) << 30;

void* LimitedAlloc(void* ud, void* ptr, size_t osize, size_t nsize) {
  size_t& used = static_cast<TKavo_Lua::TStateData*>(ud)->heapUsed;
  if (nsize == 0) {
    std::free(ptr);
    used -= osize;
    return nullptr;
  }
  if (nsize > osize && used + (nsize - osize) > kLuaHeapLimit) return nullptr;
  void* p = std::realloc(ptr, nsize);
  if (p) used = used - osize + nsize;
  return p;
}

int Panic(lua_State* L) {
  // Every call the engine makes into Lua runs protected: reaching this is an
  // engine fault. Say so where the author looks before the process ends.
  const char* m = lua_tostring(L, -1);
  KavoLog(std::string("Core error: Lua panic: ") + (m ? m : "unknown error"));
  std::fprintf(stderr, "Lua panic: %s\n", m ? m : "unknown error");
  std::abort();
}
}  // namespace

namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The watchdog checks the clock every this many instructions; once a call
// ran out of time, at every instruction until it has returned, so that a
// script's own pcall cannot keep it alive.
constexpr int kWatchdogInterval = 10000;

void WatchdogHook(lua_State* L, lua_Debug* ar) {
  void* ud = nullptr;
  lua_getallocf(L, &ud);
  auto* state = static_cast<TKavo_Lua::TStateData*>(ud);
  if (state->depth == 0 || state->timeout <= 0) return;
  if (!state->expired) {
    if (SteadySeconds() - state->started <= state->timeout) return;
    state->expired = true;
    lua_sethook(L, WatchdogHook, LUA_MASKCOUNT, 1);
  }
  lua_getinfo(L, "Sln", ar);
  char seconds[32];
  std::snprintf(seconds, sizeof(seconds), "%g", state->timeout);
  luaL_error(L, "Script timeout: %s (%s, line %d) ran longer than %s s", ar->name ? ar->name : "the main chunk",
             ar->short_src, ar->currentline, seconds);
}

}  // namespace

void TKavo_Lua::SetScriptTimeout(double seconds) {
  state_.timeout = seconds > 0 ? seconds : 0.0;
  if (state_.timeout > 0)
    lua_sethook(L_, WatchdogHook, LUA_MASKCOUNT, kWatchdogInterval);
  else
    lua_sethook(L_, nullptr, 0, 0);
}

TKavo_Lua::TScriptRun::TScriptRun(TKavo_Lua& host) : host_(host) {
  TStateData& s = host_.state_;
  if (s.depth++ == 0) {
    s.started = s.timeout > 0 ? SteadySeconds() : 0.0;
    s.expired = false;
  }
}

TKavo_Lua::TScriptRun::~TScriptRun() {
  TStateData& s = host_.state_;
  if (--s.depth == 0 && s.expired) {
    s.expired = false;
    lua_sethook(host_.L_, WatchdogHook, LUA_MASKCOUNT, kWatchdogInterval);
  }
}

TKavo_Lua::TKavo_Lua(TKavoContext& ctx) : ctx_(ctx) {
  L_ = lua_newstate(LimitedAlloc, &state_);
  if (L_) lua_atpanic(L_, Panic);
  if (L_ == nullptr) throw EKavoError("Unable to create the Lua state");
  // Exactly the base, math, string and table libraries.
  const luaL_Reg libs[] = {{"", luaopen_base}, {LUA_MATHLIBNAME, luaopen_math},
                           {LUA_STRLIBNAME, luaopen_string}, {LUA_TABLIBNAME, luaopen_table}};
  for (const luaL_Reg& lib : libs) {
    lua_pushcfunction(L_, lib.func);
    lua_pushstring(L_, lib.name);
    lua_call(L_, 1, 0);
  }
  lua_newtable(L_);
  lua_setfield(L_, LUA_REGISTRYINDEX, kObjectTablesKey);
}

TKavo_Lua::~TKavo_Lua() {
  if (L_) lua_close(L_);
}

std::string TKavo_Lua::GetLibraryNotice() const {
  return std::string(LUA_RELEASE) + " " + LUA_COPYRIGHT + " " + LUA_AUTHORS;
}

void TKavo_Lua::RegisterScriptClass(const TScriptClassInfo& info, const std::string& name) {
  classInfos_.push_back(std::make_unique<TKavo_ClassInfos>(TKavo_ClassInfos{name, &info}));
  TClassTableRequest r{name.data(), name.size(), classInfos_.back().get(), this};
  const int top = lua_gettop(L_);
  const int rc = lua_cpcall(L_, ProtectedRegisterClass, &r);
  std::string error = rc != 0 ? ErrorText(L_) : std::string();
  lua_settop(L_, top);
  if (rc != 0) throw EKavoError("Unable to register class " + name + " (" + error + ")");
}

const TClassBinding& TKavo_Lua::BindingOf(const TScriptClassInfo& info) {
  auto it = bindings_.find(&info);
  if (it != bindings_.end()) return *it->second;
  auto b = std::make_unique<TClassBinding>();
  b->info = &info;
  b->host = this;
  b->ctx = &ctx_;
  const auto& methods = info.ObjectMethods();
  b->methods.reserve(methods.size());  // the records stay put: closures point at them
  for (const TScriptMethod* m : methods) b->methods.push_back({m, &info, this, &ctx_});
  return *bindings_.emplace(&info, std::move(b)).first->second;
}

TKavo_ScriptClass* TKavo_Lua::CreateObject(const TScriptClassInfo& info) {
  if (!info.CanCreate()) throw EKavoError("Class " + info.DisplayName() + " cannot be created");
  const TClassBinding& binding = BindingOf(info);
  TKavo_ScriptClass* obj = info.Construct(ctx_);
  const TObjectHandle handle = obj->Handle();
  void* handleValue = reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
  void* classValue = const_cast<TClassBinding*>(&binding);
  lua_createtable(L_, 0, static_cast<int>(binding.methods.size()));
  for (const TMethodBinding& m : binding.methods) {
    lua_pushlstring(L_, m.method->name.data(), m.method->name.size());
    lua_pushlightuserdata(L_, handleValue);
    lua_pushlightuserdata(L_, const_cast<TMethodBinding*>(&m));
    lua_pushcclosure(L_, MethodClosure, 2);
    lua_rawset(L_, -3);
  }
  lua_createtable(L_, 0, 2);
  lua_pushlightuserdata(L_, handleValue);
  lua_pushlightuserdata(L_, classValue);
  lua_pushcclosure(L_, IndexClosure, 2);
  lua_setfield(L_, -2, "__index");
  lua_pushlightuserdata(L_, handleValue);
  lua_pushlightuserdata(L_, classValue);
  lua_pushcclosure(L_, NewIndexClosure, 2);
  lua_setfield(L_, -2, "__newindex");
  lua_setmetatable(L_, -2);
  // Remember the table so that engine code can hand the object to scripts.
  lua_getfield(L_, LUA_REGISTRYINDEX, kObjectTablesKey);
  lua_pushlightuserdata(L_, handleValue);
  lua_pushvalue(L_, -3);
  lua_rawset(L_, -3);
  lua_pop(L_, 1);
  return obj;
}

void TKavo_Lua::PushObjectTable(TKavo_ScriptClass* obj) {
  lua_getfield(L_, LUA_REGISTRYINDEX, kObjectTablesKey);
  lua_pushlightuserdata(L_, reinterpret_cast<void*>(static_cast<uintptr_t>(obj ? obj->Handle() : 0)));
  lua_rawget(L_, -2);
  lua_remove(L_, -2);
}

TKavo_ScriptFunctionData& TKavo_Lua::AcquireCallData() {
  if (callDepth_ == callPool_.size()) callPool_.push_back(std::make_unique<TKavo_ScriptFunctionData>());
  TKavo_ScriptFunctionData& d = *callPool_[callDepth_++];
  d.Args.clear();
  if (!d.Result.IsEmpty()) d.Result = TVariant();
  return d;
}

void TKavo_Lua::ForgetObjectTable(TObjectHandle handle) {
  const int top = lua_gettop(L_);
  lua_getfield(L_, LUA_REGISTRYINDEX, kObjectTablesKey);
  lua_pushlightuserdata(L_, reinterpret_cast<void*>(static_cast<uintptr_t>(handle)));
  lua_pushnil(L_);
  lua_rawset(L_, -3);
  lua_settop(L_, top);
}

TKavo_ScriptClass* TKavo_Lua::ObjectFromLua(int index) const {
  if (lua_type(L_, index) != LUA_TTABLE) return nullptr;
  const int top = lua_gettop(L_);
  TKavo_ScriptClass* result = nullptr;
  if (lua_getmetatable(L_, index)) {
    lua_pushliteral(L_, "__index");
    lua_rawget(L_, -2);
    if (lua_tocfunction(L_, -1) == IndexClosure && lua_getupvalue(L_, -1, 1)) {
      auto h = static_cast<TObjectHandle>(reinterpret_cast<uintptr_t>(lua_touserdata(L_, -1)));
      result = ctx_.handles.Resolve(h);
    }
  }
  lua_settop(L_, top);
  return result;
}

bool TKavo_Lua::IsObjectTable(int index) const {
  if (lua_type(L_, index) != LUA_TTABLE) return false;
  const int top = lua_gettop(L_);
  bool result = false;
  if (lua_getmetatable(L_, index)) {
    lua_pushliteral(L_, "__index");
    lua_rawget(L_, -2);
    result = lua_tocfunction(L_, -1) == IndexClosure;
  }
  lua_settop(L_, top);
  return result;
}

void TKavo_Lua::ExecuteLine(const std::string& text) {
  if (ctx_.halted) return;
  currentScriptName_ = text;
  const int top = lua_gettop(L_);
  int rc = luaL_loadstring(L_, text.c_str());
  if (rc == 0) {
    TScriptRun run(*this);
    rc = lua_pcall(L_, 0, 0, 0);
  }
  if (rc != 0) {
    const char* msg = lua_tostring(L_, -1);
    std::string line = std::string("Script Manager: Error while trying execute line ") + (msg ? msg : "");
    lua_settop(L_, top);
    KavoLog(line);
    if (ctx_.DebugMode()) ctx_.ShowFatalError(line, kErrScript);
  }
  lua_settop(L_, top);
}

void TKavo_Lua::ReportLoadError(const std::string& name, const std::string& message) {
  std::string line = "Script Manager: Error while trying to load " + name + " (" + message + ")";
  KavoLog(line);
  if (ctx_.DebugMode()) ctx_.ShowFatalError(line, kErrScript);
}

void TKavo_Lua::RunArchivedScript(const std::string& enciphered, const std::string& chunkName) {
  RunChunk(DecipherScript(enciphered), chunkName, chunkName);
}

void TKavo_Lua::RunChunk(const std::string& text, const std::string& chunkName, const std::string& nameForErrors) {
  const int top = lua_gettop(L_);
  int rc = luaL_loadbuffer(L_, text.data(), text.size(), chunkName.c_str());
  if (rc == 0) {
    TScriptRun run(*this);
    rc = lua_pcall(L_, 0, LUA_MULTRET, 0);
  }
  if (rc != 0) {
    const char* msg = lua_tostring(L_, -1);
    std::string m = msg ? msg : "";
    lua_settop(L_, top);
    ReportLoadError(nameForErrors, m);
  }
  lua_settop(L_, top);
}

void TKavo_Lua::LoadScriptFile(const std::string& fileName, bool force) {
  if (ctx_.halted) return;
  if (fileName.size() > TGameFiles::kMaxNameBytes) {
    // Longer than any file name: not looked for, not remembered.
    const std::string line = "Script Manager: Unable to find scriptfile " + Shortened(fileName, 1024);
    KavoLog(line);
    if (ctx_.DebugMode()) ctx_.ShowFatalError(line, kErrScript);
    return;
  }
  const std::string name = ToBackslashes(fileName);
  size_t cut = name.find_last_of("\\:");
  if ((cut == std::string::npos ? name : name.substr(cut + 1)).empty()) return;
  currentScriptName_ = name;
  const auto started = std::chrono::steady_clock::now();

  // While the configuration script loads no frame may run.
  std::string withoutExt = name;
  size_t dot = withoutExt.find_last_of('.');
  if (dot != std::string::npos && (cut == std::string::npos || dot > cut)) withoutExt.resize(dot);
  TCadencer* cad = ctx_.clock;
  const bool isConfig = withoutExt == "config" && cad != nullptr;
  const bool cadencerWasOn = isConfig && cad->Enabled();
  if (isConfig) cad->SetEnabled(false);

  auto& loaded = loadedScripts_;
  const bool already = std::any_of(loaded.begin(), loaded.end(),
                                   [&](const std::string& s) { return SameTextIgnoringCase(s, name); });
  if (force || !already) {
    if (!already) loaded.push_back(name);
    TKavoFileLocation loc = ctx_.files.Resolve(name);
    if (loc.ResolvedPath.empty()) {
      std::string line = "Script Manager: Unable to find scriptfile " + Shortened(name, 1024);
      KavoLog(line);
      if (ctx_.DebugMode()) ctx_.ShowFatalError(line, kErrScript);
    } else {
      KavoLog("Script Manager: Loading scriptfile " + name);
      Log().Indent();
      ctx_.files.EnterDataFolder();
      std::string bytes, error;
      bool read = false;
      try {
        read = ctx_.files.Read(loc, bytes, &error);
      } catch (const std::exception& e) {
        error = e.what();
      }
      if (!read) {
        ReportLoadError(loc.ArchiveName.empty() ? name : loc.ResolvedPath, error);
      } else if (!loc.ArchiveName.empty()) {
        RunArchivedScript(bytes, loc.ResolvedPath);
      } else {
        RunChunk(bytes, "@" + loc.ResolvedPath, name);
      }
      Log().Outdent();
      KavoLog("Script Manager: Loaded scriptfile " + name);
    }
  }
  if (isConfig) cad->SetEnabled(cadencerWasOn);
  lastLoadMs_ = std::chrono::duration<float, std::milli>(std::chrono::steady_clock::now() - started).count();
  heapSize_ = static_cast<float>(lua_gc(L_, LUA_GCCOUNT, 0)) / 100.0f;
}

void TKavo_Lua::SetGlobalValue(const TVariant& value, const std::string& name) {
  TSetGlobalRequest r{name.data(), name.size(), &value, nullptr};
  const int top = lua_gettop(L_);
  if (lua_cpcall(L_, ProtectedSetGlobal, &r) != 0) KavoLog("Script Manager: Unable to set " + name + " (" + ErrorText(L_) + ")");
  lua_settop(L_, top);
}

void TKavo_Lua::RegisterFunction(lua_CFunction fn, const std::string& name) {
  TSetGlobalRequest r{name.data(), name.size(), nullptr, fn};
  const int top = lua_gettop(L_);
  if (lua_cpcall(L_, ProtectedSetGlobal, &r) != 0) KavoLog("Script Manager: Unable to set " + name + " (" + ErrorText(L_) + ")");
  lua_settop(L_, top);
}

int TKavo_Lua::CallScriptFunction(const std::string& name, const TKavo_ScriptFunctionData& data) {
  if (ctx_.halted) return 0;
  const int top = lua_gettop(L_);
  int result = 0;
  std::string failure;
  int failureNumber = 0;
  try {
    if (!lua_checkstack(L_, static_cast<int>(data.Args.size()) + 8)) throw EKavoError("Lua stack overflow");
    TCallRequest r{name.data(), name.size(), &data, false};
    TScriptRun run(*this);
    const int rc = lua_cpcall(L_, ProtectedCallGlobal, &r);
    if (rc == 0 && !r.found) {
      lua_settop(L_, top);
      return -1;
    }
    if (rc != 0) {
      result = 1;
      std::string message = ErrorText(L_);
      lua_settop(L_, top);
      std::string line = "Warning: While calling function " + name + " (" + message + ")";
      if (ctx_.DebugMode()) ctx_.ShowFatalError(line, kErrScript);
      KavoLog(line);
    }
  } catch (const EKavoError& e) {
    failure = e.what();
    failureNumber = e.Number();
    result = 1;
  } catch (const std::exception& e) {
    failure = e.what();
    result = 1;
  }
  lua_settop(L_, top);
  if (!failure.empty()) {
    if (failureNumber == kErrScriptArgument)
      ctx_.ShowFatalError("Core error: Calling function (" + name + ") failed! Invalid typecast. " + failure,
                           kErrScriptArgument);
    else
      ctx_.ShowFatalError("Core error: Calling function (" + name + ") failed! Unknown error. " + failure,
                           kErrUnnumbered);
  }
  return result;
}

void TKavo_Lua::SynchronizeNames(const std::vector<std::string>& reserved) {
  // Collect first, then change: nothing may disturb the traversal.
  std::vector<std::pair<std::string, TObjectHandle>> engineObjects;
  std::vector<std::string> plainTables;
  const int top = lua_gettop(L_);
  lua_pushnil(L_);
  while (lua_next(L_, LUA_GLOBALSINDEX) != 0) {
    if (lua_type(L_, -2) == LUA_TSTRING && lua_type(L_, -1) == LUA_TTABLE) {
      size_t len = 0;
      const char* k = lua_tolstring(L_, -2, &len);
      std::string key(k, len);
      bool skip = key.find("VK_") != std::string::npos ||
                  std::find(reserved.begin(), reserved.end(), key) != reserved.end();
      if (!skip) {
        if (TKavo_ScriptClass* obj = ObjectFromLua(-1))
          engineObjects.emplace_back(key, obj->Handle());
        else
          plainTables.push_back(key);
      }
    }
    lua_pop(L_, 1);
  }
  lua_settop(L_, top);
  for (auto& [key, handle] : engineObjects)
    if (TKavo_ScriptClass* obj = ctx_.handles.Resolve(handle)) obj->ScriptName = key;
  for (const std::string& key : plainTables) {
    lua_pushcfunction(L_, SetScriptNameField);
    lua_pushlstring(L_, key.data(), key.size());
    lua_rawget(L_, LUA_GLOBALSINDEX);
    if (lua_type(L_, -1) != LUA_TTABLE) {
      lua_settop(L_, top);
      continue;
    }
    lua_pushlstring(L_, key.data(), key.size());
    if (lua_pcall(L_, 2, 0, 0) != 0) KavoLog(key + ".ScriptName = '" + key + "';");
    lua_settop(L_, top);
  }
}

}  // namespace kavo
