// The Lua string literal writer: whatever bytes go in, Lua reads the same
// bytes back, and the literal never spans two lines.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <string>

#include "core/strings.h"

namespace kavo {
namespace {

// Runs "return <literal>" in a fresh Lua state and gives the string back.
std::string ReadBack(const std::string& literal) {
  lua_State* L = luaL_newstate();
  std::string chunk = "return " + literal;
  std::string out = "<error>";
  if (luaL_loadbuffer(L, chunk.data(), chunk.size(), "literal") == 0 && lua_pcall(L, 0, 1, 0) == 0) {
    size_t len = 0;
    const char* s = lua_tolstring(L, -1, &len);
    if (s) out.assign(s, len);
  }
  lua_close(L);
  return out;
}

TEST(LuaQuote, EveryByteValueReadsBack) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  // Each byte alone, each before a digit (an escape must not swallow it),
  // and all of them in one string.
  for (int c = 0; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ(ReadBack(LuaQuote(one)), one) << c;
    EXPECT_EQ(ReadBack(LuaQuote(one + "7")), one + "7") << c;
  }
  const std::string quoted = LuaQuote(all);
  EXPECT_EQ(ReadBack(quoted), all);
  EXPECT_EQ(quoted.find('\n'), std::string::npos);
  EXPECT_EQ(quoted.find('\r'), std::string::npos);
}

TEST(LuaQuote, TheTrickyTexts) {
  struct Case {
    std::string in, literal;
  } cases[] = {
      {"", "\"\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"GUI\\speechfont.gsf", "\"GUI\\\\speechfont.gsf\""},
      {"a\r\nb", "\"a\\r\\nb\""},
      {std::string("a\0b", 3), "\"a\\000b\""},
      {"]]", "\"]]\""},
      {"it's", "\"it's\""},
      {"tab\tend", "\"tab\\009end\""},
      {"\xC3\xA9t\xC3\xA9", "\"\xC3\xA9t\xC3\xA9\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LuaQuote(c.in), c.literal);
    EXPECT_EQ(ReadBack(LuaQuote(c.in)), c.in);
  }
}

}  // namespace
}  // namespace kavo
