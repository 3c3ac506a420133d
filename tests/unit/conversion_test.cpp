// Values crossing between Lua and the engine: the two conversion tables and
// the property write rules.
#include <gtest/gtest.h>

#include <cmath>
#include <lua.hpp>

#include "script/lua_utils.h"
#include "script/scriptclass.h"

namespace kavo {
namespace {

struct LuaState {
  LuaState() : L(luaL_newstate()) { luaL_openlibs(L); }
  ~LuaState() { lua_close(L); }
  TVariant Eval(const std::string& expr) {
    std::string code = "return " + expr;
    EXPECT_EQ(luaL_dostring(L, code.c_str()), 0) << lua_tostring(L, -1);
    TVariant v = LuaToVariant(L, -1);
    lua_settop(L, 0);
    return v;
  }
  lua_State* L;
};

TEST(Conversion, LuaValuesToVariants) {
  LuaState s;
  using K = TVariant::Kind;
  struct Case {
    const char* lua;
    K kind;
    double number;  // for numeric kinds
  } cases[] = {
      {"nil", K::Int8, 1},           {"true", K::Boolean, -1},     {"3", K::Int64, 3},
      {"3.0", K::Int64, 3},          {"-2147483647", K::Int64, -2147483647.0},
      {"2147483648", K::Double, 2147483648.0}, {"3.5", K::Double, 3.5},
      {"0/0", K::Double, NAN},       {"1/0", K::Double, INFINITY},
  };
  for (const Case& c : cases) {
    TVariant v = s.Eval(c.lua);
    EXPECT_EQ(v.kind(), c.kind) << c.lua;
    if (!std::isnan(c.number)) {
      EXPECT_EQ(v.ToDouble(), c.number) << c.lua;
    }
  }
  TVariant str = s.Eval("'a\\0b'");
  ASSERT_TRUE(str.IsString());
  EXPECT_EQ(str.AsString(), std::string("a\0b", 3));
  TVariant empty = s.Eval("{}");
  ASSERT_TRUE(empty.IsArray());
  ASSERT_EQ(empty.AsArray().size(), 1u);
  EXPECT_TRUE(empty.AsArray()[0].IsEmpty());
  TVariant nested = s.Eval("{1, {2, 'x'}}");
  ASSERT_EQ(nested.AsArray().size(), 2u);
  EXPECT_EQ(nested.AsArray()[1].AsArray()[1].AsString(), "x");
  EXPECT_TRUE(s.Eval("print").IsEmpty());  // functions are not converted
  // Userdata keep their whole 64-bit address.
  lua_pushlightuserdata(s.L, reinterpret_cast<void*>(uintptr_t(0x123456789ABCull)));
  TVariant ud = LuaToVariant(s.L, -1);
  EXPECT_EQ(ud.kind(), K::Int64);
  EXPECT_EQ(ud.AsInt(), 0x123456789ABCll);
}

TEST(Conversion, CyclicAndDeepTablesFailAsConversions) {
  LuaState s;
  for (const char* code : {"local t = {} t.self = t return t", "return _G",
                           "local t = {} for i = 1, 100 do t = {t} end return t"}) {
    ASSERT_EQ(luaL_dostring(s.L, code), 0);
    int top = lua_gettop(s.L);
    EXPECT_THROW(LuaToVariant(s.L, -1), EKavoError) << code;
    EXPECT_EQ(lua_gettop(s.L), top) << "stack not restored for " << code;
    lua_settop(s.L, 0);
  }
}

TEST(Conversion, VariantsToLua) {
  LuaState s;
  struct Case {
    TVariant v;
    const char* expect;  // Lua expression compared with ==
  } cases[] = {
      {TVariant(), "nil"}, {TVariant::Null(), "nil"}, {TVariant(true), "1"}, {TVariant(false), "0"},
      {TVariant(int64_t(7)), "7"}, {TVariant(2.5), "2.5"}, {TVariant("hi"), "'hi'"},
  };
  for (const Case& c : cases) {
    PushVariant(s.L, c.v);
    lua_setglobal(s.L, "v");
    std::string code = std::string("return v == ") + c.expect;
    ASSERT_EQ(luaL_dostring(s.L, code.c_str()), 0);
    EXPECT_TRUE(lua_toboolean(s.L, -1)) << c.expect;
    lua_settop(s.L, 0);
  }
}

TEST(Conversion, PropertyWriteRules) {
  using P = TPropType;
  struct Case {
    TVariant in;
    P type;
    bool ok;
    TVariant out;
  } cases[] = {
      {TVariant(2.9), P::Integer, true, TVariant(int64_t(2))},
      {TVariant(-2.9), P::Integer, true, TVariant(int64_t(-2))},
      {TVariant(true), P::Integer, true, TVariant(int64_t(-1))},
      {TVariant("12"), P::Integer, true, TVariant(int64_t(12))},
      {TVariant("x"), P::Integer, false, {}},
      {TVariant(3e10), P::Integer, false, {}},
      {TVariant(NAN), P::Integer, false, {}},
      {TVariant(256.0), P::Byte, false, {}},
      {TVariant(int64_t(255)), P::Byte, true, TVariant(int64_t(255))},
      {TVariant("true"), P::Boolean, true, TVariant(true)},
      {TVariant("FALSE"), P::Boolean, true, TVariant(false)},
      {TVariant(int64_t(1)), P::Boolean, true, TVariant(true)},
      {TVariant(1.7), P::Boolean, true, TVariant(true)},
      {TVariant(int64_t(2)), P::Boolean, false, {}},
      {TVariant("yes"), P::Boolean, false, {}},
      {TVariant(false), P::Boolean, true, TVariant(false)},
      {TVariant("1.5"), P::Single, true, TVariant(1.5)},
      {TVariant(true), P::Double, true, TVariant(-1.0)},
      {TVariant(0.1), P::LongString, true, TVariant("0.1")},
      {TVariant(int64_t(42)), P::LongString, true, TVariant("42")},
      {TVariant(1e20), P::LongString, true, TVariant("1E20")},
      {TVariant(std::string(300, 'a')), P::ShortString, true, TVariant(std::string(255, 'a'))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in.ToText() + " as type " + std::to_string(int(c.type)));
    if (!c.ok) {
      EXPECT_THROW(ConvertForProperty(c.in, c.type), EKavoError);
      continue;
    }
    TVariant got = ConvertForProperty(c.in, c.type);
    EXPECT_EQ(got.ToText(), c.out.ToText());
  }
}

TEST(Conversion, EngineRoundingIsTiesToEven) {
  EXPECT_EQ(TVariant(2.5).ToRoundedInt(), 2);
  EXPECT_EQ(TVariant(3.5).ToRoundedInt(), 4);
  EXPECT_EQ(TVariant(-0.5).ToRoundedInt(), 0);
  EXPECT_THROW(TVariant(NAN).ToRoundedInt(), EKavoError);
  EXPECT_THROW(TVariant(INFINITY).ToRoundedInt(), EKavoError);
  // The rounding agrees with the C library's everywhere doubles have halves.
  for (double v : {0.5, 1.5, -1.5, -2.5, 0.49999999999999994, 2251799813685249.5, -2251799813685249.5,
                   4503599627370495.5, 4503599627370497.0, 9007199254740993.0, -0.4, 1e18, -9.1e18})
    EXPECT_EQ(RoundToInteger(v), static_cast<int64_t>(std::nearbyint(v))) << v;
}

}  // namespace
}  // namespace kavo
