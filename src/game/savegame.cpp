#include "game/savegame.h"

#include <lua.hpp>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/cipher.h"
#include "core/log.h"
#include "core/strings.h"
#include "game/gameservices.h"
#include "game/kavogame.h"
#include "hud/kavoinventory.h"
#include "platform/files.h"
#include "scene/view.h"
#include "script/binding.h"
#include "script/context.h"
#include "script/environment.h"
#include "script/lua_host.h"
#include "world/kavoactor.h"
#include "world/kavoroom.h"

namespace kavo {

namespace {

constexpr const char* kEol = "\r\n";
constexpr int kThumbnailSize = 256;
constexpr int kThumbnailQuality = 10;
// Plain tables saved as constructors: how deep and how many values at most.
constexpr int kMaxTableDepth = 32;
constexpr size_t kMaxTableValues = 100000;

bool IsLuaIdentifier(std::string_view s) {
  static const char* const keywords[] = {"and",   "break", "do",  "else", "elseif", "end",    "false",
                                         "for",   "function", "if", "in", "local",  "nil",    "not",
                                         "or",    "repeat", "return", "then", "true", "until", "while"};
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return std::none_of(std::begin(keywords), std::end(keywords), [&](const char* k) { return s == k; });
}

std::string LocalDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%x %X", &tm);
  return buf;
}

// A plain table as a constructor of numbers, strings, booleans and such
// tables; false when it holds anything else, is cyclic, too deep or too big.
bool TableConstructor(lua_State* L, int index, int depth, size_t& values, std::vector<const void*>& open,
                      std::string& out) {
  if (depth > kMaxTableDepth) return false;
  const void* self = lua_topointer(L, index);
  if (std::find(open.begin(), open.end(), self) != open.end()) return false;
  if (lua_getmetatable(L, index)) {
    lua_pop(L, 1);
    return false;  // a table with behaviour of its own is more than data
  }
  open.push_back(self);
  out += '{';
  const int top = lua_gettop(L);
  lua_pushnil(L);
  bool ok = true;
  while (ok && lua_next(L, index) != 0) {
    if (++values > kMaxTableValues) {
      ok = false;
      break;
    }
    // The key.
    switch (lua_type(L, -2)) {
      case LUA_TNUMBER: out += "[" + SaveNumberText(lua_tonumber(L, -2)) + "]="; break;
      case LUA_TBOOLEAN: out += std::string("[") + (lua_toboolean(L, -2) ? "true" : "false") + "]="; break;
      case LUA_TSTRING: {
        size_t len = 0;
        const char* k = lua_tolstring(L, -2, &len);
        out += "[" + LuaQuote(std::string_view(k, len)) + "]=";
        break;
      }
      default: ok = false;
    }
    if (!ok) break;
    // The value.
    switch (lua_type(L, -1)) {
      case LUA_TNUMBER: out += SaveNumberText(lua_tonumber(L, -1)); break;
      case LUA_TBOOLEAN: out += lua_toboolean(L, -1) ? "true" : "false"; break;
      case LUA_TSTRING: {
        size_t len = 0;
        const char* v = lua_tolstring(L, -1, &len);
        out += LuaQuote(std::string_view(v, len));
        break;
      }
      case LUA_TTABLE: ok = TableConstructor(L, lua_gettop(L), depth + 1, values, open, out); break;
      default: ok = false;
    }
    out += ',';
    lua_pop(L, 1);
  }
  lua_settop(L, top);
  open.pop_back();
  out += '}';
  return ok;
}

// One global as the walk found it.
struct TGlobal {
  std::string name;
  int type = LUA_TNIL;
};

std::vector<TGlobal> CollectGlobals(lua_State* L) {
  std::vector<TGlobal> globals;
  const int top = lua_gettop(L);
  lua_pushnil(L);
  while (lua_next(L, LUA_GLOBALSINDEX) != 0) {
    if (lua_type(L, -2) == LUA_TSTRING) {
      size_t len = 0;
      const char* k = lua_tolstring(L, -2, &len);
      globals.push_back({std::string(k, len), lua_type(L, -1)});
    }
    lua_pop(L, 1);
  }
  lua_settop(L, top);
  return globals;
}

// Pushes the global's current value (raw: a strict-global game does not mind).
void PushGlobal(lua_State* L, const std::string& name) {
  lua_pushlstring(L, name.data(), name.size());
  lua_rawget(L, LUA_GLOBALSINDEX);
}

// A creation line as every object's record starts: "if (n == nil) then n = T.Create(); end".
bool IsCreationLine(const std::string& line) {
  return line.rfind("if (", 0) == 0 && line.find(" == nil) then ") != std::string::npos &&
         line.size() >= 14 && line.compare(line.size() - 14, 14, ".Create(); end") == 0;
}

}  // namespace

std::string SaveGameText(TKavoContext& ctx, const std::string& fileName) {
  TGameClass& game = *ctx.game;
  if (game.saveGathering) {
    KavoLog("Save game: a save is being written already; " + fileName + " is not saved");
    return {};
  }
  game.saveGathering = true;
  struct Done {
    TGameClass& g;
    ~Done() { g.saveGathering = false; }
  } done{game};

  lua_State* L = ctx.script->State();
  TKavo_Lua& host = ctx.script->Host();
  const std::unordered_set<std::string> reserved(ctx.script->ReservedNames().begin(),
                                                 ctx.script->ReservedNames().end());
  const std::vector<TGlobal> globals = CollectGlobals(L);
  const auto skipped = [&](const std::string& name) {
    return name.find("VK_") != std::string::npos || !IsLuaIdentifier(name) || reserved.count(name) != 0;
  };

  // The room line names the global that holds the current room.
  std::string roomGlobal;
  const TObjectHandle room = ctx.room ? ctx.room->currentRoom : 0;
  if (room != 0 && ctx.handles.Resolve(room) != nullptr) {
    for (const TGlobal& g : globals) {
      if (g.type != LUA_TTABLE || skipped(g.name)) continue;
      PushGlobal(L, g.name);
      TKavo_ScriptClass* o = host.ObjectFromLua(-1);
      lua_pop(L, 1);
      if (o != nullptr && o->Handle() == room) {
        roomGlobal = g.name;
        break;
      }
    }
    if (roomGlobal.empty() && IsLuaIdentifier(ctx.roomName)) roomGlobal = ctx.roomName;
  }

  std::vector<std::string> header = {
      "--Save game " + fileName + ", Date " + LocalDateTime(),
      "Game.GameLoading = 1;",
      "-- Loading current room",
      roomGlobal.empty() ? std::string("-- No room was loaded") : roomGlobal + ".Load(1);",
      "-- Creating objects in case they aren't created",
  };
  struct TCreation {
    int64_t order;
    std::string line;
  };
  std::vector<TCreation> creations;
  std::vector<std::string> body = {"-- Setting everything as they were"};
  std::vector<std::string> idLines;
  std::unordered_map<TObjectHandle, std::string> savedAs;
  // Each object's place in creation order.
  std::unordered_map<const TKavo_ScriptClass*, int64_t> createdAt;
  {
    int64_t i = 0;
    for (TKavo_ScriptClass* o : ctx.objects) createdAt.emplace(o, i++);
  }
  body.reserve(globals.size() * 32);

  for (const TGlobal& g : globals) {
    if (skipped(g.name) || ctx.halted) continue;
    const int top = lua_gettop(L);
    PushGlobal(L, g.name);
    const int type = lua_type(L, -1);
    switch (type) {
      case LUA_TBOOLEAN: body.push_back(g.name + " = " + (lua_toboolean(L, -1) ? "true" : "false") + ";"); break;
      case LUA_TNUMBER: body.push_back(g.name + " = " + SaveNumberText(lua_tonumber(L, -1)) + ";"); break;
      case LUA_TSTRING: {
        size_t len = 0;
        const char* v = lua_tolstring(L, -1, &len);
        body.push_back(g.name + " = " + LuaQuote(std::string_view(v, len)) + ";");
        break;
      }
      case LUA_TTABLE: {
        if (host.IsObjectTable(-1)) {
          TKavo_ScriptClass* obj = host.ObjectFromLua(-1);
          if (obj == nullptr) break;  // destroyed: the load makes it again when its room or scripts do
          auto seen = savedAs.find(obj->Handle());
          if (seen != savedAs.end()) {
            body.push_back(g.name + " = " + seen->second + ";");
            break;
          }
          savedAs.emplace(obj->Handle(), g.name);
          body.push_back("-- Saving " + g.name);
          // The record goes straight into the body: a class may place a line
          // among the records written before it (inventory items keep their
          // order that way). Its creation and ID lines then leave for their
          // own places.
          const size_t first = body.size();
          try {
            obj->WriteSave(g.name, body);
          } catch (const std::exception& e) {
            KavoLog("Save game: " + g.name + " could not be saved (" + std::string(e.what()) + ")");
          }
          const std::string creation = "if (" + g.name + " == nil) then " + g.name + " = " +
                                       obj->Info().ScriptClassName() + ".Create(); end";
          const std::string idPrefix = g.name + ".ID = ";
          // The Game object's loading flag and the machine's GLSL answer are not the save's to set.
          const std::string loading = g.name + ".GameLoading = ", glsl = g.name + ".GLSLSupport = ";
          const bool isGame = obj == ctx.game;
          bool created = false;
          size_t kept = first;
          for (size_t i = first; i < body.size(); ++i) {
            std::string& line = body[i];
            if (!created && line == creation) {
              created = true;
              creations.push_back({createdAt.count(obj) ? createdAt[obj] : INT64_MAX, std::move(line)});
            } else if (line.rfind(idPrefix, 0) == 0) {
              idLines.push_back(std::move(line));
            } else if (isGame && (line.rfind(loading, 0) == 0 || line.rfind(glsl, 0) == 0)) {
              continue;
            } else {
              if (kept != i) body[kept] = std::move(line);
              ++kept;
            }
          }
          body.resize(kept);
          break;
        }
        // A plain table: its own Save, else a constructor of plain values.
        lua_pushliteral(L, "Save");
        lua_rawget(L, -2);
        const bool hasSave = lua_isfunction(L, -1);
        lua_pop(L, 1);
        if (hasSave) {
          body.push_back("-- Saving " + g.name);
          std::vector<std::string>& buffer = ctx.host.SaveBuffer();
          buffer.clear();
          host.ExecuteLine(g.name + ".Save('" + g.name + "');");
          for (std::string& line : buffer) {
            if (IsCreationLine(line))
              creations.push_back({INT64_MAX, std::move(line)});
            else
              body.push_back(std::move(line));
          }
          buffer.clear();
          break;
        }
        std::string text;
        size_t values = 0;
        std::vector<const void*> open;
        if (TableConstructor(L, lua_gettop(L), 0, values, open, text))
          body.push_back(g.name + " = " + text + ";");
        else
          KavoLog("Save game: the table " + g.name + " holds values a save cannot keep; it is not saved");
        break;
      }
      default: break;  // functions, userdata, threads: nothing a save can keep
    }
    lua_settop(L, top);
  }

  body.push_back("--Saving conversations");
  body.push_back("Game.ClearConversations();");
  for (const TSpeechObject& line : ctx.services->speechQueue) {
    if (line.finished) continue;
    TActorClass* speaker = ResolveAs<TActorClass>(ctx.handles, line.speaker);
    if (speaker == nullptr || !ctx.actors.Contains(speaker)) continue;
    body.push_back("Game.AddRawConversationData(" + std::to_string(speaker->ID()) + "," + LuaQuote(line.text) + "," +
                   SaveNumberText(line.startTime) + "," + SaveNumberText(line.duration) + "," +
                   (line.blocking ? "1" : "0") + "," + LuaQuote(line.endFunction) + ");");
  }
  body.push_back("Game.SetMouseCursor(" + LuaQuote(game.currentCursorFile) + ");");
  body.push_back(std::string("Game.MouseVisible = ") + (ctx.services->cursor.visible ? "1" : "0") + ";");

  // Creation lines in the order the objects were created, so objects made
  // again get the IDs they had.
  std::stable_sort(creations.begin(), creations.end(),
                   [](const TCreation& a, const TCreation& b) { return a.order < b.order; });
  size_t total = 0;
  for (const std::string& l : header) total += l.size() + 2;
  for (const TCreation& c : creations) total += c.line.size() + 2;
  for (const std::string& l : body) total += l.size() + 2;
  for (const std::string& l : idLines) total += l.size() + 2;
  std::string text;
  text.reserve(total);
  const auto put = [&text](const std::string& l) {
    text += l;
    text += kEol;
  };
  for (const std::string& l : header) put(l);
  for (const TCreation& c : creations) put(c.line);
  for (const std::string& l : body) put(l);
  for (const std::string& l : idLines) put(l);
  return text;
}

void RunSaveGame(TGameClass& game, TKavo_ScriptFunctionData& d) {
  TKavoContext& ctx = game.Ctx;
  // 1. to 3.
  ctx.files.EnterDataFolder();
  LoadGuiScript(ctx);
  CallEvent(ctx, "", "onGeneralBeforeSave");
  if (ctx.halted) return;
  CallEvent(ctx, RoomScriptPath(ctx), "on" + ctx.roomName + "BeforeSave");
  if (ctx.halted) return;
  // 4. and 5.
  KavoLog("Trying to save a game..");
  KavoLog("Writing save game data...");
  const std::string file = HasArg(d, 0) ? StringArg(d, 0) : std::string("autosave.txt");
  // 6. The thumbnail is made now and written with the save.
  KavoLog("Taking screenshot...");
  std::vector<uint8_t> shot;
  int w = 0, h = 0;
  ctx.host.SnapshotWindowView(shot, w, h);
  std::string jpeg, jpegError;
  const bool haveJpeg = scene::EncodeJPEG(scene::Thumbnail(shot, w, h, kThumbnailSize), kThumbnailSize,
                                          kThumbnailSize, kThumbnailQuality, jpeg, &jpegError);
  if (!haveJpeg) KavoLog("Save game: no thumbnail (" + jpegError + ")");
  // 7. to 12.
  game.saveInProgress = true;
  struct ClearFlag {
    TGameClass& g;
    ~ClearFlag() { g.saveInProgress = false; }
  } clear{game};
  const std::string text = SaveGameText(ctx, file);
  if (text.empty()) return;
  // 13. The save and then its thumbnail, each whole or not at all.
  KavoLog("Writing to " + file);
  ctx.files.EnterDataFolder();
  std::string error;
  if (!Files().WriteFileAtomic(ToSlashes(file), text, &error)) {
    KavoLog("Save game: " + file + " was not written, the previous save stays (" + error + ")");
    return;
  }
  if (haveJpeg) {
    std::string thumb = ToSlashes(file);
    const size_t slash = thumb.find_last_of('/'), dot = thumb.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) thumb.resize(dot);
    thumb += ".jpg";
    if (!Files().WriteFileAtomic(thumb, jpeg, &error)) KavoLog("Save game: no thumbnail written (" + error + ")");
  }
  // 14.
  CallEvent(ctx, RoomScriptPath(ctx), "on" + ctx.roomName + "AfterSave");
  if (ctx.halted) return;
  LoadGuiScript(ctx);
  CallEvent(ctx, "", "onGeneralAfterSave");
}

void RunLoadGame(TGameClass& game, TKavo_ScriptFunctionData& d) {
  TKavoContext& ctx = game.Ctx;
  // 1. A load from within a load is ignored.
  if (game.GameLoading) return;
  const std::string file = StringArg(d, 0);
  // A save that is missing or does not compile is found before anything
  // changes.
  const TKavoFileLocation loc = ctx.files.Resolve(ToBackslashes(file));
  if (loc.ResolvedPath.empty()) {
    KavoLog("Script Manager: Unable to find scriptfile " + Shortened(file, 1024));
    return;
  }
  {
    std::string bytes, error;
    if (!ctx.files.Read(loc, bytes, &error)) {
      KavoLog("Script Manager: Error while trying to load " + file + " (" + error + ")");
      return;
    }
    if (!loc.ArchiveName.empty()) bytes = DecipherScript(bytes);
    lua_State* L = ctx.script->State();
    const int top = lua_gettop(L);
    const int rc = luaL_loadbuffer(L, bytes.data(), bytes.size(), ("@" + file).c_str());
    if (rc != 0) {
      const char* msg = lua_tostring(L, -1);
      KavoLog("Script Manager: Error while trying to load " + file + " (" + (msg ? msg : "not a script") + ")");
      lua_settop(L, top);
      return;
    }
    lua_settop(L, top);
  }

  // 2. From here every way out restarts the clock and ends the loading.
  game.GameLoading = true;
  struct Restore {
    TKavoContext& ctx;
    TGameClass* game;
    ~Restore() {
      if (ctx.clock) ctx.clock->SetEnabled(true);
      if (ctx.game) ctx.game->GameLoading = false;
      // Inventories do not lay out while a load runs: now they do.
      ctx.inventories.ForEachLive([](TInventoryClass& inv) {
        inv.LayOut();
        return true;
      });
    }
  } restore{ctx, &game};
  // 3. The running animations stop (none run before the keyframe animations arrive).
  // 4.
  LoadGuiScript(ctx);
  CallEvent(ctx, "", "onGeneralBeforeLoad");
  if (ctx.halted) return;
  CallEvent(ctx, RoomScriptPath(ctx), "on" + ctx.roomName + "BeforeLoad");
  if (ctx.halted) return;
  // 5.
  if (ctx.clock) ctx.clock->SetEnabled(false);
  // 6. Globals that hold destroyed objects are emptied, so the save's
  // creation lines make them again.
  {
    lua_State* L = ctx.script->State();
    TKavo_Lua& host = ctx.script->Host();
    std::vector<std::string> dead;
    for (const TGlobal& g : CollectGlobals(L)) {
      if (g.type != LUA_TTABLE) continue;
      PushGlobal(L, g.name);
      if (host.IsObjectTable(-1) && host.ObjectFromLua(-1) == nullptr) dead.push_back(g.name);
      lua_pop(L, 1);
    }
    for (const std::string& name : dead) {
      lua_pushlstring(L, name.data(), name.size());
      lua_pushnil(L);
      lua_rawset(L, LUA_GLOBALSINDEX);
    }
  }
  ctx.files.EnterDataFolder();
  ctx.script->LoadFile(file, true);
  if (ctx.halted) return;
  // 7. and 8.
  ctx.files.EnterDataFolder();
  LoadGuiScript(ctx);
  CallEvent(ctx, "", "onGeneralAfterLoad");
  if (ctx.halted) return;
  CallEvent(ctx, RoomScriptPath(ctx), "on" + ctx.roomName + "AfterLoad");
  if (ctx.halted) return;
  // 9. Timers due before the restored clock never fire.
  if (ctx.clock && ctx.services) {
    const double now = ctx.clock->CurrentTime();
    auto& timers = ctx.services->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const TKavoEvent& t) { return t.dueTime < now; }),
                 timers.end());
  }
  // 10. and 11. (the guard above).
}

}  // namespace kavo
