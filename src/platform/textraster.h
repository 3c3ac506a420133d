// The system font rasteriser the speech font is built with: a TrueType or
// OpenType face opened at a point size (96 dots per inch) in a style, which
// measures text and draws it white on a black 32-bit canvas. SDL2_ttf does
// the work. Text comes as Unicode code points; the speech font maps its
// 8-bit codes through the code page before it asks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// The face a font is made from: its file, size in points and style.
struct TSourceFont {
  std::string file;
  int pointSize = 8;
  bool bold = false;
  bool italic = false;
};

// The face the engine uses when a game names none: DejaVu Sans, 8 points.
inline constexpr const char* kDefaultFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr int kDefaultFontPoints = 8;
TSourceFont DefaultSourceFont();

// Point sizes a face may be opened at.
inline constexpr int kMinFontPoints = 1;
inline constexpr int kMaxFontPoints = 1000;
// The largest font file read.
inline constexpr size_t kMaxFontFileBytes = size_t(64) << 20;

// A 32-bit picture, 4 bytes a pixel (red, green, blue, alpha), top row first.
struct TTextCanvas {
  TTextCanvas() = default;
  // Black and opaque.
  TTextCanvas(int width, int height);
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

// A rectangle of canvas pixels: left and top inside, right and bottom outside.
struct TPixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

class TTextRaster {
 public:
  TTextRaster();
  ~TTextRaster();
  TTextRaster(TTextRaster&&) noexcept;
  TTextRaster& operator=(TTextRaster&&) noexcept;

  // Opens the face (a file on disk, read through the file layer). False,
  // with the reason, when the file cannot be read, is no font or the size
  // is outside kMinFontPoints..kMaxFontPoints; the raster is then empty.
  bool Open(const TSourceFont& font, std::string& error);
  bool IsOpen() const;
  void Close();

  // The advance width of the text in pixels (0 for an empty text and for an
  // empty raster).
  int TextWidth(std::u32string_view text) const;
  // The height of a line of the face in pixels, whatever the text (0 for an
  // empty raster).
  int TextHeight(std::u32string_view text) const;
  // Draws the text in white, anti-aliased, over what the canvas holds, with
  // the top-left corner of its line box at (x, y). Nothing lands outside
  // `clip` or the canvas.
  void Draw(TTextCanvas& canvas, std::u32string_view text, int x, int y, const TPixelRect& clip) const;

 private:
  struct Face;
  std::unique_ptr<Face> face_;
};

}  // namespace kavo
