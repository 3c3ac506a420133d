// Conversions between Lua values and engine variants.
#pragma once

#include <lua.hpp>

#include "script/variant.h"

namespace kavo {

// Lua value at `index` to a variant: nil (or no value) gives the 8-bit
// integer 1; booleans stay booleans; whole numbers within 32 bits give
// 64-bit integers, other numbers doubles; strings byte for byte; userdata
// its address as a 64-bit integer; tables arrays of their values in
// traversal order (an empty table gives one empty element). Functions and
// threads give an empty variant. Tables nested deeper than the limit, or
// cyclic, fail with a conversion error.
TVariant LuaToVariant(lua_State* L, int index);
// Pushes a variant: empty/null as nil, booleans as 1 or 0, strings, numbers
// through double, date-times as text, arrays as tables from index 1.
void PushVariant(lua_State* L, const TVariant& v);

constexpr int kMaxTableDepth = 16;

}  // namespace kavo
