// The bitmap font every HUD text and speech text draws with: a picture of
// white glyphs on black, a width and a texture rectangle for each of the
// 256 character codes, a cell size and the spacing. This file holds the
// font's data and arithmetic: string widths, the layout of glyphs on the
// picture and the search for the smallest picture that holds them, and the
// stored ".gsf" form (the data beside its ".png" picture).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/texture.h"

namespace kavo::scene {

struct GlyphRect {
  float left = 0, top = 0, right = 0, bottom = 0;  // u and v; v runs upwards, 1 at the top edge
};

struct BitmapFontData {
  int32_t charWidth = 0;
  int32_t charHeight = 0;
  int32_t horizontalSpacing = 1;
  int32_t verticalSpacing = 1;
  int32_t italicCorrection = 0;
  std::array<int32_t, 256> widths{};  // 0: the character is not drawn
  std::array<GlyphRect, 256> rects{};

  // Σ widths + n × (italic correction + spacing) − spacing for n characters
  // (0 for the empty string).
  int64_t StringWidth(std::string_view text) const;
};

// A font ready to draw: its data and the glyph picture (white on black,
// black transparent).
struct BitmapFont {
  BitmapFontData data;
  Texture picture;
};

// A text's lines, broken at CR LF, CR or LF.
std::vector<std::string_view> TextLines(std::string_view text);

// One layout pass over the codes with a width, on a W × H picture: each cell
// is width + 2 wide and charHeight high, rows filled left to right. `place`
// (may be empty) is told each glyph's code and cell origin. Returns how many
// glyphs fitted before the picture ran out of rows.
int LayoutGlyphs(const std::array<int32_t, 256>& widths, int32_t charHeight, int W, int H,
                 const std::function<void(int code, int x, int y, int cellWidth)>& place = {});

// The smallest picture (heights 64 to 512 outer, widths 64 to 512 inner) on
// which all `glyphs` glyphs fit; at equal area the squarer one. False when
// none does.
bool ChooseGlyphPictureSize(const std::array<int32_t, 256>& widths, int32_t charHeight, int glyphs, int& W, int& H);

// The glyph rectangle a cell at (x, y) of width cw gets on a W × H picture.
GlyphRect CellRect(int x, int y, int cw, int32_t charHeight, int W, int H);

// The stored form: char width, char height, R, R rectangles, a width count,
// 256 widths (little-endian int32 and float32; 5,136 bytes with R = 256).
// Checked before use: R within 0..256, every field present, char sizes and
// widths within 0..4096, rectangle values finite; on failure `out` is left
// as it was and `error` says why.
bool ParseStoredFont(std::string_view bytes, BitmapFontData& out, std::string& error);
std::string WriteStoredFont(const BitmapFontData& font);

}  // namespace kavo::scene
