// Pictures as textures: the formats the engine decodes, and pictures whose
// headers claim more than the engine takes, refused before any decoding.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scene/pictureheader.h"
#include "scene/texture.h"
#include "support/pictures.h"

namespace kavo::scene {
namespace {

std::string Le16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Be16(unsigned v) { return {char((v >> 8) & 0xFF), char(v & 0xFF)}; }
std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

std::string PngHeader(uint32_t w, uint32_t h) {
  return std::string("\x89PNG\r\n\x1A\n", 8) + Be32(13) + "IHDR" + Be32(w) + Be32(h) + std::string("\x08\x06\0\0\0", 5) +
         Be32(0) + Be32(0) + "IEND" + Be32(0xAE426082);
}
std::string BmpBytes(int32_t w, int32_t h, const std::string& pixels = std::string(16, '\0')) {
  return "BM" + Le32(uint32_t(54 + pixels.size())) + Le32(0) + Le32(54) + Le32(40) + Le32(uint32_t(w)) + Le32(uint32_t(h)) +
         Le16(1) + Le16(24) + Le32(0) + Le32(uint32_t(pixels.size())) + Le32(2835) + Le32(2835) + Le32(0) + Le32(0) +
         pixels;
}
std::string JpegHeader(unsigned w, unsigned h) {
  // SOI, an APP0 segment, then the frame header.
  return std::string("\xFF\xD8\xFF\xE0", 4) + Be16(16) + std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14) +
         std::string("\xFF\xC0", 2) + Be16(17) + "\x08" + Be16(h) + Be16(w) + std::string("\x03\x01\x22\0\x02\x11\x01\x03\x11\x01", 10) +
         std::string(64, '\0');
}
std::string GifHeader(unsigned w, unsigned h) {
  return "GIF89a" + Le16(w) + Le16(h) + std::string("\0\0\0,\0\0\0\0", 8) + Le16(w) + Le16(h) +
         std::string("\0\x02\0;", 4);
}
std::string TgaBytes(unsigned w, unsigned h, const std::string& pixels = "") {
  return std::string("\0\0\x02\0\0\0\0\0\0\0\0\0", 12) + Le16(w) + Le16(h) + std::string("\x18\x20", 2) + pixels;
}
// One plane of `bits` bits per pixel; the line length (a signed field)
// defaults to what the width needs, rounded up to an even count.
std::string PcxHeader(unsigned w, unsigned h, unsigned bits = 1, int bytesPerLine = 0) {
  if (bytesPerLine == 0) bytesPerLine = int((w * bits + 15) / 16 * 2);
  std::string s = std::string("\x0A\x05\x01", 3) + char(bits) + Le16(0) + Le16(0) + Le16(w - 1) + Le16(h - 1);
  s += std::string(65 - s.size(), '\0') + '\x01' + Le16(unsigned(bytesPerLine) & 0xFFFF);
  return s + std::string(128 - s.size(), '\0');
}

TEST(PictureFiles, BombsAreRefusedFromTheirHeaders) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* size;
  } cases[] = {
      {"bomb.png", PngHeader(60000, 60000), "60000 by 60000"},
      {"bomb.bmp", BmpBytes(60000, -60000), "60000 by 60000"},
      {"bomb.jpg", JpegHeader(65500, 65500), "65500 by 65500"},
      {"bomb.gif", GifHeader(65535, 65535), "65535 by 65535"},
      // A small first image, then a large one: the decoder sizes a buffer
      // for every image it passes.
      {"second.gif",
       "GIF89a" + Le16(4) + Le16(3) + std::string("\0\0\0,\0\0\0\0", 8) + Le16(2) + Le16(2) +
           std::string("\0\x02\x01\0\0,\0\0\0\0", 10) + Le16(60000) + Le16(50000) + std::string("\0\x02\0;", 4),
       "60000 by 50000"},
      {"bomb.tga", TgaBytes(60000, 60000), "60000 by 60000"},
      {"bomb.pcx", PcxHeader(60000, 60000), "60000 by 60000"},
      {"wide.png", PngHeader(16385, 1), "16385 by 1"},
      {"huge.png", PngHeader(0xFFFFFFFFu, 0xFFFFFFFFu), "4294967295 by 4294967295"},
      {"flat.bmp", BmpBytes(10, 0), "10 by 0"},
  };
  for (const Case& c : cases) {
    Texture t;
    std::string error;
    EXPECT_FALSE(t.LoadFromBytes(c.bytes, c.name, error)) << c.name;
    EXPECT_NE(error.find(std::string(c.name) + ") is " + c.size + " pixels"), std::string::npos) << error;
    EXPECT_TRUE(t.Empty());
  }
}

// A whole 1x1 PNG without its closing IEND chunk (the last 12 bytes).
std::string PngWithoutEnd() {
  const std::string png = test::EncodePng(1, 1, {1, 2, 3, 4});
  return png.substr(0, png.size() - 12);
}

TEST(PictureFiles, MalformedHeadersSayWhy) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* why;
  } cases[] = {
      {"cut.png", std::string("\x89PNG\r\n\x1A\n", 8), "PNG header is cut short"},
      {"noframe.jpg", std::string("\xFF\xD8\xFF\xD9", 4), "JPEG without a frame header"},
      {"badlen.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x01", 6), "JPEG segment of length 1"},
      {"cut.bmp", "BM1234", "BMP header is cut short"},
      {"cut.gif", "GIF89a", "GIF header is cut short"},
      {"noimage.gif", "GIF89a" + Le16(4) + Le16(4) + std::string("\0\0\0;", 4), "GIF without an image"},
      // Past a broken block the decoder would read on from anywhere.
      {"cutdata.gif", "GIF89a" + Le16(4) + Le16(4) + std::string("\0\0\0,\0\0\0\0", 8) + Le16(4) + Le16(4) +
                          std::string("\0\x02\x38\x01\x02", 5),
       "GIF image data runs past the end of the file at byte 13"},
      {"junk.gif", "GIF89a" + Le16(4) + Le16(4) + std::string("\0\0\0\x07", 4), "GIF block of unknown kind 7 at byte 13"},
      {"type.tga", std::string(18, '\0'), "Targa image type 0"},
      // The decoder would size its line buffer from the negative count, or
      // read past a line too short for the width.
      {"negline.pcx", PcxHeader(10, 2, 8, -254), "PCX line of -254 bytes cannot hold 10 pixels of 8 bits"},
      {"shortline.pcx", PcxHeader(10, 2, 8, 8), "PCX line of 8 bytes cannot hold 10 pixels of 8 bits"},
      // The decoder reads on without end past an ancillary chunk cut short.
      {"longchunk.png", PngWithoutEnd() + std::string("\0\0\x5A\x20tRNS\x01\x02\x03\x04\x05\x06", 14),
       "PNG chunk tRNS of 23072 bytes runs past the end of the file"},
      // Without IEND the decoder may read on past the end for ever.
      {"noend.png", PngWithoutEnd(), "PNG file ends without its IEND chunk"},
      {"text.png", "not a picture at all", "not a PNG, JPEG, BMP, GIF, Targa or PCX picture"},
  };
  for (const Case& c : cases) {
    Texture t;
    std::string error;
    EXPECT_FALSE(t.LoadFromBytes(c.bytes, c.name, error)) << c.name;
    EXPECT_NE(error.find(std::string("Texture (") + c.name + ") couldn't be decoded: " + c.why), std::string::npos)
        << error;
  }
}

TEST(PictureFiles, TheFormatsDecodeTopRowFirst) {
  // Two pixels: red on the left, blue on the right, in every format.
  const std::string tgaRow = std::string("\0\0\xFF\xFF\0\0", 6);        // BGR BGR
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"a.png", test::EncodePng(2, 1, {255, 0, 0, 255, 0, 0, 255, 255})},
      {"a.bmp", BmpBytes(2, 1, std::string("\0\0\xFF\xFF\0\0\0\0", 8))},
      {"a.tga", TgaBytes(2, 1, tgaRow)},
      // Two-colour table (red, blue), a control and a comment extension, then
      // the image: LZW codes clear, 0, 1, end.
      {"a.gif", "GIF89a" + Le16(2) + Le16(1) + std::string("\x80\0\0\xFF\0\0\0\0\xFF", 9) +
                    std::string("!\xF9\x04\0\0\0\0\0!\xFE\x02hi\0", 14) + std::string(",\0\0\0\0", 5) +
                    Le16(2) + Le16(1) + std::string("\0\x02\x02\x44\x0A\0;", 7)},
      // Indices 0 and 1 (stored as they are, below the run marks), then the
      // 256-colour palette: red, blue.
      {"a.pcx", PcxHeader(2, 1, 8) + std::string("\0\x01\x0C\xFF\0\0\0\0\xFF", 9) + std::string(762, '\0')},
  };
  for (const Case& c : cases) {
    Texture t;
    std::string error;
    ASSERT_TRUE(t.LoadFromBytes(c.bytes, c.name, error)) << c.name << ": " << error;
    ASSERT_EQ(t.Width(), 2) << c.name;
    const std::vector<uint8_t>& px = t.Pixels();
    EXPECT_EQ((std::vector<uint8_t>(px.begin(), px.begin() + 3)), (std::vector<uint8_t>{255, 0, 0})) << c.name;
    EXPECT_EQ((std::vector<uint8_t>(px.begin() + 4, px.begin() + 7)), (std::vector<uint8_t>{0, 0, 255})) << c.name;
    EXPECT_EQ(px[3], 255) << c.name;
  }
}

TEST(PictureFiles, OnlyTheDecoderOfTheNamedFormatRuns) {
  // Each header passes the check at a small size, but SDL_image's own test
  // does not take the bytes for that format (a JPEG segment running past
  // the end, a PCX of version 4), and an SVG document follows: asked for
  // the format by name, SDL_image would try its other decoders and render
  // the document at the size it states. No NUL byte comes before it, so
  // the SVG test finds it.
  const std::string svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"300\" height=\"200\">"
      "<rect width=\"300\" height=\"200\" fill=\"red\"/></svg>";
  std::string pcx = std::string("\x0A\x04\x01\x08", 4) + Le16(0x0101) + Le16(0x0101) + Le16(0x0102) + Le16(0x0102);
  pcx += std::string(128 - pcx.size(), '\x01');
  struct Case {
    const char* name;
    std::string bytes;
    int width;  // as the header states it
  } cases[] = {
      {"svg.jpg", "\xFF\xD8\xFF\xC0" + Be16(0x0101) + "\x08" + Be16(0x0101) + Be16(0x0101) + "\x01\x01\x11\x01" + svg,
       257},
      {"svg.pcx", pcx + svg, 2},
  };
  for (const Case& c : cases) {
    Texture t;
    std::string error;
    if (t.LoadFromBytes(c.bytes, c.name, error)) {
      EXPECT_EQ(t.Width(), c.width) << c.name;
    }
  }
}

// A GIF of one image with four colours: grey levels 0, 1, 2, 3 (times 80).
// Its image data puts a clear code before every pixel, so the code width
// never grows: simple to write, and any decoder must read it.
std::string FourGreyGif(unsigned screenW, unsigned screenH, unsigned left, unsigned top, unsigned w, unsigned h,
                        bool interlaced, const std::vector<int>& indices, int transparent = -1) {
  std::string s = "GIF89a" + Le16(screenW) + Le16(screenH) + std::string("\x81\0\0", 3);
  for (int i = 0; i < 4; ++i) s += std::string(3, char(i * 80));
  if (transparent >= 0) s += std::string("!\xF9\x04\x01\0\0", 6) + char(transparent) + std::string(1, '\0');
  s += "," + Le16(left) + Le16(top) + Le16(w) + Le16(h) + char(interlaced ? 0x40 : 0) + '\x02';
  std::string data;
  uint32_t buffer = 0;
  int bits = 0;
  auto put = [&](uint32_t code) {
    buffer |= code << bits;
    for (bits += 3; bits >= 8; bits -= 8, buffer >>= 8) data += char(buffer & 0xFF);
  };
  for (int index : indices) {
    put(4);
    put(uint32_t(index));
  }
  put(5);
  if (bits > 0) data += char(buffer & 0xFF);
  for (size_t at = 0; at < data.size(); at += 255) {
    const std::string block = data.substr(at, 255);
    s += char(block.size()) + block;
  }
  return s + std::string("\0;", 2);
}

TEST(PictureFiles, GifImagesLandWhereTheFileSays) {
  struct Case {
    const char* what;
    std::string bytes;
    int width, height;
    std::vector<int> grey;  // expected grey level per pixel, -1 for transparent
  } cases[] = {
      // Stored rows of an interlaced image: 0, then 4, then 2, then 1 and 3.
      {"interlaced", FourGreyGif(1, 5, 0, 0, 1, 5, true, {0, 1, 2, 3, 0}), 1, 5, {0, 3, 2, 0, 1}},
      // The screen around an image at an offset stays bare.
      {"offset", FourGreyGif(3, 2, 1, 1, 2, 1, false, {2, 3}), 3, 2, {-1, -1, -1, -1, 2, 3}},
      // The screen grows to hold an image lying past it.
      {"grown", FourGreyGif(1, 1, 1, 0, 1, 1, false, {1}), 2, 1, {-1, 1}},
      {"transparent", FourGreyGif(2, 1, 0, 0, 2, 1, false, {1, 2}, 2), 2, 1, {1, -1}},
      // Data cut short: the pixels it leaves out take the first colour.
      {"short", FourGreyGif(3, 1, 0, 0, 3, 1, false, {3}), 3, 1, {3, 0, 0}},
  };
  for (const Case& c : cases) {
    Texture t;
    std::string error;
    ASSERT_TRUE(t.LoadFromBytes(c.bytes, "a.gif", error)) << c.what << ": " << error;
    ASSERT_EQ(t.Width(), c.width) << c.what;
    ASSERT_EQ(t.Height(), c.height) << c.what;
    const std::vector<uint8_t>& px = t.Pixels();
    for (size_t i = 0; i < c.grey.size(); ++i) {
      if (c.grey[i] < 0) {
        EXPECT_EQ(px[i * 4 + 3], 0) << c.what << " pixel " << i;
      } else {
        EXPECT_EQ(px[i * 4 + 3], 255) << c.what << " pixel " << i;
        EXPECT_EQ(px[i * 4], c.grey[i] * 80) << c.what << " pixel " << i;
      }
    }
  }
}

TEST(PictureFiles, TheSideLimitFollowsTheContextAndAlphaSurvivesModeChanges) {
  struct Restore {
    ~Restore() { SetTextureSideLimit(kMaxTextureSide); }
  } restore;
  SetTextureSideLimit(2);
  Texture t;
  std::string error;
  EXPECT_FALSE(t.LoadFromBytes(test::EncodePng(3, 1, std::vector<uint8_t>(12, 7)), "three.png", error));
  EXPECT_NE(error.find("textures may be at most 2 by 2"), std::string::npos) << error;
  SetTextureSideLimit(0);  // no answer from the context: the engine's own limit
  EXPECT_EQ(TextureSideLimit(), kMaxTextureSide);

  // The picture's own alpha comes back after a derived one.
  ASSERT_TRUE(t.LoadFromBytes(test::EncodePng(1, 1, {30, 60, 90, 40}), "a.png", error)) << error;
  t.SetAlphaMode(TextureAlphaMode::FromIntensity);
  EXPECT_EQ(t.Pixels()[3], 60);
  t.SetAlphaMode(TextureAlphaMode::Default);
  EXPECT_EQ(t.Pixels()[3], 40);
  t.SetAlphaMode(TextureAlphaMode::TopLeftTransparent);
  EXPECT_EQ(t.Pixels()[3], 0);
  t.SetAlphaMode(TextureAlphaMode::Opaque);
  EXPECT_EQ(t.Pixels()[3], 255);
}

}  // namespace
}  // namespace kavo::scene
