// The key-code globals scripts see (VK_LBUTTON, VK_F1, ...): the Game class
// registers them, and scripted input reads and writes keys by these names.
#pragma once

#include <cstddef>

namespace kavo {

// The 102 key-code globals, in registration order.
struct TKeyCodeName {
  const char* name;
  int code;
};
extern const TKeyCodeName kKeyCodeNames[];
extern const size_t kKeyCodeCount;

}  // namespace kavo
