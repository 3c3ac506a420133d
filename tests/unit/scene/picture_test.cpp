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
         Be32(0) + std::string(120, '\0');
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
std::string GifHeader(unsigned w, unsigned h) { return "GIF89a" + Le16(w) + Le16(h) + std::string("\0\0\0,\0\0\0\0", 8) + Le16(w) + Le16(h) + std::string(16, '\0'); }
std::string TgaBytes(unsigned w, unsigned h, const std::string& pixels = "") {
  return std::string("\0\0\x02\0\0\0\0\0\0\0\0\0", 12) + Le16(w) + Le16(h) + std::string("\x18\x20", 2) + pixels;
}
std::string PcxHeader(unsigned w, unsigned h) {
  std::string s = std::string("\x0A\x05\x01\x08", 4) + Le16(0) + Le16(0) + Le16(w - 1) + Le16(h - 1);
  return s + std::string(128 - s.size() + 64, '\0');
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
      {"type.tga", std::string(18, '\0'), "Targa image type 0"},
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
