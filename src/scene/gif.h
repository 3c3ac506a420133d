// GIF pictures, decoded by the engine itself: the first image of the file,
// placed on its logical screen, as RGBA bytes top row first. The structure
// has been walked by the picture header check before this runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavo::scene {

struct GifPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes
  bool hasAlpha = false;      // a transparent colour, or screen the image leaves bare
};

// The picture's size is the logical screen grown to hold the first image.
// Pixels the image data leaves out (a file cut short) keep the first
// colour. False, with the reason, for a file without an image or a colour
// table, or larger than `sideLimit` on a side.
bool DecodeGif(std::string_view bytes, int sideLimit, GifPicture& out, std::string& error);

}  // namespace kavo::scene
