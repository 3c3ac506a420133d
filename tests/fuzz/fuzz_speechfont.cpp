// libFuzzer target for stored speech fonts (".gsf"): the input is the data
// file. A font that passes the checks must measure any text without
// overflowing and keep its sizes within bounds; a refused one must say why.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scene/bitmapfont.h"

using namespace kavo::scene;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  BitmapFontData font;
  std::string error;
  if (!ParseStoredFont(bytes, font, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  if (font.charWidth < 0 || font.charWidth > 4096 || font.charHeight < 0 || font.charHeight > 4096) __builtin_trap();
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[size_t(i)] = static_cast<char>(i);
  if (font.StringWidth(all) < -256) __builtin_trap();
  // Written back, it reads as the same font.
  BitmapFontData again;
  if (!ParseStoredFont(WriteStoredFont(font), again, error) || again.widths != font.widths) __builtin_trap();
  int W = 0, H = 0;
  ChooseGlyphPictureSize(font.widths, font.charHeight, 1, W, H);
  return 0;
}
