// libFuzzer target for picture decoding through the texture loader (the
// header check of pictureheader.cpp, then SDL2_image). The first input byte
// picks the file name, and with it how a Targa or PCX file is told apart;
// the rest is the picture. The side limit is kept small so that a legal but
// large picture stays far below the fuzzer's memory limit. A picture that
// loads must be as large as it says, one RGBA pixel per position.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <SDL2/SDL.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "scene/texture.h"

using namespace kavo;

namespace {
const char* const kNames[] = {"x.png", "x.jpg", "x.bmp", "x.gif", "x.tga", "x.pcx"};
constexpr int kSide = 1024;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SDL_Init(0);
  // SDL keeps its error text in a per-thread buffer made at the first error;
  // made here, it is not taken for a leak of the first input that fails.
  SDL_SetError("none yet");
  scene::SetTextureSideLimit(kSide);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* name = kNames[data[0] % (sizeof(kNames) / sizeof(kNames[0]))];
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  scene::Texture texture;
  std::string error;
  if (!texture.LoadFromBytes(bytes, name, error)) {
    if (error.find(name) == std::string::npos || !texture.Empty()) __builtin_trap();
    return 0;
  }
  const int w = texture.Width(), h = texture.Height();
  if (w <= 0 || h <= 0 || w > kSide || h > kSide) __builtin_trap();
  if (texture.Pixels().size() != size_t(w) * size_t(h) * 4) __builtin_trap();
  return 0;
}
