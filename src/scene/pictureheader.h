// What a picture file says about itself before anything is decoded: its
// format and its size. Texture loading reads this first and refuses a
// picture too large for the engine before the decoder allocates anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo::scene {

enum class PictureFormat { Png, Jpeg, Bmp, Gif, Tga, Pcx };

struct PictureHeader {
  PictureFormat format = PictureFormat::Png;
  int64_t width = 0, height = 0;
};

// Reads the format from the leading bytes (Targa, which has no signature,
// from the name's ".tga") and the stated size from the header: PNG's IHDR,
// JPEG's first frame marker, BMP's info header, GIF's screen grown to
// hold every image (whose blocks must be whole), Targa's and PCX's headers. False, with the reason, for a file that
// is none of these or whose header is cut short or malformed.
bool ReadPictureHeader(std::string_view bytes, std::string_view fileName, PictureHeader& out, std::string& error);

// The SDL_image decoder's name of a format ("PNG", "JPG", ...).
const char* DecoderType(PictureFormat format);

}  // namespace kavo::scene
