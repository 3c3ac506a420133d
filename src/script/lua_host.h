// TKavo_Lua: owns the one Lua 5.1 state of the process. It loads script
// files (from disk or enciphered from ".kvo" archives), executes lines,
// calls global functions by name, sets globals and registers script
// classes. Every call into Lua restores the stack and runs protected; no
// C++ exception ever crosses a Lua frame.
#pragma once

#include <lua.hpp>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "script/scriptclass.h"

namespace kavo {

struct TKavoContext;

struct TKavo_ClassInfos {
  std::string name;                // the script class name ("TActor")
  const TScriptClassInfo* info;    // the engine class it creates
};

class TKavo_Lua;

// What a method closure needs besides the object's handle: one record per
// class and method, made once and shared by every object of the class.
struct TMethodBinding {
  const TScriptMethod* method;
  const TScriptClassInfo* info;  // for the messages about destroyed objects
  TKavo_Lua* host;
  TKavoContext* ctx;
};
// The same for the property closures, with the class's method records.
struct TClassBinding {
  const TScriptClassInfo* info = nullptr;
  TKavo_Lua* host = nullptr;
  TKavoContext* ctx = nullptr;
  std::vector<TMethodBinding> methods;  // in the object table's order
};

class TKavo_Lua {
 public:
  explicit TKavo_Lua(TKavoContext& ctx);
  ~TKavo_Lua();
  TKavo_Lua(const TKavo_Lua&) = delete;
  TKavo_Lua& operator=(const TKavo_Lua&) = delete;

  lua_State* GetState() const { return L_; }
  std::string GetLibraryNotice() const;
  std::string GetVersion() const { return "Lua 5.1"; }
  void RegisterScriptClass(const TScriptClassInfo& info, const std::string& name);
  void ExecuteLine(const std::string& text);
  void LoadScriptFile(const std::string& fileName, bool force);
  void SetGlobalValue(const TVariant& value, const std::string& name);
  void RegisterFunction(lua_CFunction fn, const std::string& name);
  int CallScriptFunction(const std::string& name, const TKavo_ScriptFunctionData& data);

  // Runs already deciphered script text as a chunk of the given name.
  void RunArchivedScript(const std::string& enciphered, const std::string& chunkName);

  // Sets the script name of every engine object held by a global (except
  // reserved names and names containing "VK_") to that global's name.
  void SynchronizeNames(const std::vector<std::string>& reserved);

  // The object a Lua value stands for, if it is a live engine object's table.
  TKavo_ScriptClass* ObjectFromLua(int index) const;
  // Whether the value is an engine object's table, alive or destroyed.
  bool IsObjectTable(int index) const;
  // Pushes the object table of an object (made when the object was created).
  void PushObjectTable(TKavo_ScriptClass* obj);
  // Drops the engine's reference to a destroyed object's table.
  void ForgetObjectTable(TObjectHandle handle);
  // Creates an object of a class and leaves its object table on the stack.
  TKavo_ScriptClass* CreateObject(const TScriptClassInfo& info);

  const std::string& CurrentScriptName() const { return currentScriptName_; }

  // Argument records reused by nesting depth, so that a method call does not
  // allocate once the engine is warm.
  TKavo_ScriptFunctionData& AcquireCallData();
  void ReleaseCallData() { --callDepth_; }
  TKavoContext& Context() const { return ctx_; }

  // The watchdog: one call into Lua (the outermost, with whatever it calls)
  // that runs longer than this many seconds raises a script error naming
  // the function, file and line. 0 switches it off.
  void SetScriptTimeout(double seconds);
  double ScriptTimeout() const { return state_.timeout; }

  // What the Lua state's allocator and the watchdog's hook share: the
  // allocator's user value, so the hook finds it without process-wide state.
  struct TStateData {
    size_t heapUsed = 0;
    double timeout = 0.0;  // seconds; 0: no watchdog
    int depth = 0;         // nesting of engine calls into Lua
    double started = 0.0;  // steady-clock seconds when the outermost call began
    bool expired = false;  // the outermost call ran out of time
  };
  // Marks one engine call into Lua for the watchdog (construct before the
  // call, destroy after).
  class TScriptRun {
   public:
    explicit TScriptRun(TKavo_Lua& host);
    ~TScriptRun();
    TScriptRun(const TScriptRun&) = delete;
    TScriptRun& operator=(const TScriptRun&) = delete;

   private:
    TKavo_Lua& host_;
  };
  // The loaded-script list: every script file loaded so far (load-once).
  const std::vector<std::string>& LoadedScripts() const { return loadedScripts_; }
  // How long the latest script load took (ms) and the Lua heap after it (in 100 KiB).
  float LastLoadMs() const { return lastLoadMs_; }
  float HeapSize() const { return heapSize_; }

 private:
  // Loads and runs a whole script under the watchdog; a load or run error
  // goes to ReportLoadError with `nameForErrors`. The stack stays as it was.
  void RunChunk(const std::string& text, const std::string& chunkName, const std::string& nameForErrors);
  void ReportLoadError(const std::string& name, const std::string& message);
  const TClassBinding& BindingOf(const TScriptClassInfo& info);

  TKavoContext& ctx_;
  std::vector<std::string> loadedScripts_;
  float lastLoadMs_ = 0.0f, heapSize_ = 0.0f;
  lua_State* L_ = nullptr;
  std::vector<std::unique_ptr<TKavo_ClassInfos>> classInfos_;
  std::unordered_map<const TScriptClassInfo*, std::unique_ptr<TClassBinding>> bindings_;
  std::string currentScriptName_;
  std::vector<std::unique_ptr<TKavo_ScriptFunctionData>> callPool_;
  TStateData state_;
  size_t callDepth_ = 0;
};

}  // namespace kavo
