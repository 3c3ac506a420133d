#include "script/lua_utils.h"

#include <cmath>
#include <ctime>
#include <unordered_set>

#include "core/errors.h"

namespace kavo {

namespace {

TVariant Convert(lua_State* L, int index, int depth, std::unordered_set<const void*>& open) {
  switch (lua_type(L, index)) {
    case LUA_TNONE:
    case LUA_TNIL: return TVariant::Int8(1);
    case LUA_TBOOLEAN: return TVariant(lua_toboolean(L, index) != 0);
    case LUA_TNUMBER: {
      double d = lua_tonumber(L, index);
      if (std::isfinite(d) && std::fabs(d) <= 2147483647.0 && d == std::floor(d))
        return TVariant(static_cast<int64_t>(d));
      return TVariant(d);
    }
    case LUA_TSTRING: {
      size_t len = 0;
      const char* s = lua_tolstring(L, index, &len);
      return TVariant(std::string(s, len));
    }
    case LUA_TLIGHTUSERDATA:
    case LUA_TUSERDATA:
      return TVariant(static_cast<int64_t>(reinterpret_cast<intptr_t>(lua_touserdata(L, index))));
    case LUA_TTABLE: {
      const void* id = lua_topointer(L, index);
      if (depth >= kMaxTableDepth || open.count(id))
        throw EKavoError("Could not convert table: nested too deeply or contains itself");
      if (!lua_checkstack(L, 3)) throw EKavoError("Could not convert table: out of stack space");
      open.insert(id);
      if (index < 0 && index > LUA_REGISTRYINDEX) index = lua_gettop(L) + index + 1;
      std::vector<TVariant> items;
      lua_pushnil(L);
      while (lua_next(L, index) != 0) {
        try {
          items.push_back(Convert(L, -1, depth + 1, open));
        } catch (...) {
          lua_pop(L, 2);
          open.erase(id);
          throw;
        }
        lua_pop(L, 1);
      }
      open.erase(id);
      if (items.empty()) items.emplace_back();
      return TVariant::Array(std::move(items));
    }
    default: return TVariant();
  }
}

std::string DateTimeText(double days) {
  // Days since 1899-12-30, the date-time epoch of the engine's variants.
  double secs = (days - 25569.0) * 86400.0;
  if (!std::isfinite(secs)) return "";
  time_t t = static_cast<time_t>(secs);
  struct tm tmv;
  if (!localtime_r(&t, &tmv)) return "";
  char buf[64];
  std::strftime(buf, sizeof(buf), "%x %X", &tmv);
  return buf;
}

}  // namespace

TVariant LuaToVariant(lua_State* L, int index) {
  if (lua_type(L, index) == LUA_TNUMBER) {
    double d = lua_tonumber(L, index);
    if (std::isfinite(d) && std::fabs(d) <= 2147483647.0 && d == std::floor(d)) return TVariant(static_cast<int64_t>(d));
    return TVariant(d);
  }
  std::unordered_set<const void*> open;
  return Convert(L, index, 0, open);
}

void PushVariant(lua_State* L, const TVariant& v) {
  switch (v.kind()) {
    case TVariant::Kind::Empty:
    case TVariant::Kind::Null: lua_pushnil(L); break;
    case TVariant::Kind::Boolean: lua_pushnumber(L, v.AsBool() ? 1 : 0); break;
    case TVariant::Kind::String: lua_pushlstring(L, v.AsString().data(), v.AsString().size()); break;
    case TVariant::Kind::DateTime: {
      std::string s = DateTimeText(v.AsDouble());
      lua_pushlstring(L, s.data(), s.size());
      break;
    }
    case TVariant::Kind::Double: lua_pushnumber(L, v.AsDouble()); break;
    case TVariant::Kind::Array: {
      lua_createtable(L, static_cast<int>(v.AsArray().size()), 0);
      int i = 1;
      for (const TVariant& item : v.AsArray()) {
        PushVariant(L, item);
        lua_rawseti(L, -2, i++);
      }
      break;
    }
    default: lua_pushnumber(L, static_cast<double>(v.AsInt())); break;
  }
}

}  // namespace kavo
