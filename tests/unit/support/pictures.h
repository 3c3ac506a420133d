// Pictures for tests, made in memory: no file, no shared temporary name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kavo::test {

// PNG bytes of a picture given as RGBA rows, top row first (with alpha or
// without), encoded by SDL_image into memory.
std::string EncodePng(int width, int height, const std::vector<uint8_t>& rgba, bool alpha = true);

// Puts the file layer's current directory back when the scope ends, also
// when an assertion failed half-way.
class CurrentDirGuard {
 public:
  CurrentDirGuard() : saved_(Files().CurrentDir()) {}
  ~CurrentDirGuard() { Files().SetCurrentDir(saved_); }
  CurrentDirGuard(const CurrentDirGuard&) = delete;
  CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

 private:
  std::string saved_;
};

}  // namespace kavo::test
